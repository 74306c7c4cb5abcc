#pragma once
// TJPEGImage: a JPEG file kept compressed in memory, decompressed through libjpeg into a
// bitmap when a picture is asked for.

#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"
#include "runtime/Stream.h"

#include <memory>

namespace kapto {

// The compressed file shared by copies of an image.
struct TJPEGData
{
    TMemoryStream Data;
    int32_t Width = 0;
    int32_t Height = 0;
    bool Gray = false;
};

enum class TJPEGPixelFormat
{
    Bits24,
    Bits8
};

enum class TJPEGPerformance
{
    BestQuality,
    BestSpeed
};

class TJPEGImage : public TGraphic
{
public:
    TJPEGImage();
    ~TJPEGImage() override;

    const char* ClassName() const override { return "TJPEGImage"; }
    // A TBitmap destination takes the decoded picture (decoding once); anything else is
    // refused with EConvertError.
    void CopyInto(TPersistent& destination) const override;
    // From another TJPEGImage (shares its data) or none (empty).
    void AssignFrom(const TPersistent* source) override;
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool IsEmpty() const override;
    int32_t ReadHeight() const override;
    int32_t ReadWidth() const override;
    // Raise EInvalidGraphicOperation "JPEG イメージのサイズは変更できません".
    void ChangeHeight(int32_t value) override;
    void ChangeWidth(int32_t value) override;
    // Keeps the stream up to the picture's end-of-image marker and reads its header; a file
    // that is not a JPEG raises EJPEG here, when no more than its first two bytes are read.
    void LoadFromStream(TStream& stream) override;
    // Writes the kept bytes unchanged.
    void SaveToStream(TStream& stream) override;

    // The decoded picture (decoding when none is cached). Raises EJPEG for fatal library
    // errors and EOutOfResources for pictures beyond the image limits.
    TBitmap& Bitmap() const;

    int OutputScale = 0; // 1/1, 1/2, 1/4, 1/8
    bool BlockSmoothing = true;
    bool GrayOutput = false;
    TJPEGPixelFormat OutputDepth;
    TJPEGPerformance DecodeSpeed = TJPEGPerformance::BestQuality;
    bool ShowProgressive = false;
    int SaveQuality = 90;
    bool SaveProgressive = false;

private:
    void Decompress() const;
    void ReadHeader();

    std::shared_ptr<TJPEGData> m_image;
    mutable std::unique_ptr<TBitmap> m_bitmap;
    mutable int32_t m_scaledWidth = 0;
    mutable int32_t m_scaledHeight = 0;
    mutable int m_scaledFor = -1;
};

} // namespace kapto
