#pragma once
// TBitmap: the raster image every conversion passes through. Pixels live in a shared,
// copy-on-write TBitmapImage, stored as a DIB or as a device image; BMP files are read and
// written here too (BitmapFile.cpp).

#include "graphics/Canvas.h"
#include "graphics/Graphic.h"
#include "graphics/PixelMask.h"
#include "platform/Color.h"
#include "platform/DIB.h"
#include "runtime/Stream.h"

#include <cstdint>
#include <memory>

namespace kapto {

// The nine pixel formats; the ordinals are passed between the codecs.
enum TPixelFormat : int
{
    fmtDevice = 0,
    fmt1Bit = 1,
    fmt4Bit = 2,
    fmt8Bit = 3,
    fmt15Bit = 4,
    fmt16Bit = 5,
    fmt24Bit = 6,
    fmt32Bit = 7,
    fmtCustom = 8,
};

enum class TBitmapStorage
{
    Device, // a device-dependent image in the display's format
    DIB     // a device-independent bitmap with direct row access
};

enum class TTransparentMode
{
    Automatic,
    Fixed
};

// The pixel store shared between bitmaps.
struct TBitmapImage
{
    HBITMAP Handle;    // the image used for drawing: the DIB or a device image
    HBITMAP MaskImage; // monochrome transparency mask, made on demand
    HPALETTE Palette;  // the image's palette, or none
    HBITMAP DIBHandle; // the DIB, or none
    TDIBSection Description;
    std::unique_ptr<TMemoryStream> PreservedStream; // compressed BMP bytes as read
    bool CoreHeader = false; // read from a 12-byte-header BMP; written in that form again
    bool Halftone = false;   // Palette is a display halftone palette, not the image's own
};

class TBitmap;

class TBitmapCanvas : public TCanvas
{
public:
    explicit TBitmapCanvas(TBitmap& bitmap) : m_bitmap(bitmap) {}

protected:
    TPlatformImage* RequireContext() override;
    void Changing() override;
    void Changed() override;

private:
    TBitmap& m_bitmap;
};

class TBitmap : public TGraphic
{
public:
    TBitmap();
    ~TBitmap() override;

    const char* ClassName() const override { return "TBitmap"; }

    // From none (an empty image), another TBitmap (shares its pixels) or any graphic that
    // can render itself into a bitmap; anything else raises EConvertError.
    void AssignFrom(const TPersistent* source) override;
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool IsEmpty() const override;
    int32_t ReadHeight() const override;
    int32_t ReadWidth() const override;
    HPALETTE GetPalette() override;
    void SetPalette(HPALETTE palette) override;
    void ChangeHeight(int32_t value) override;
    void ChangeWidth(int32_t value) override;
    void ReadEmbedded(TStream& stream) override;
    void WriteEmbedded(TStream& stream) override;
    // Reads a BMP from the position to the end. Malformed data raises EInvalidGraphic or
    // EReadError and leaves the previous image in place.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void Changed() override;

    // Makes sure the bitmap has a platform image it alone holds, and returns it.
    virtual HBITMAP RequireHandle();
    // The platform image used for drawing, for reading only: it may be shared with other
    // bitmaps, so its pixels must not be changed through it. None for an empty bitmap.
    HBITMAP Handle();
    virtual HBITMAP RequireMaskHandle();
    virtual void SetStorageKind(TBitmapStorage storage);
    TBitmapStorage StorageKind() const;

    TPixelFormat PixelFormat() const;
    // Converts the image; fmtCustom raises EInvalidGraphic and leaves it unchanged.
    void SetPixelFormat(TPixelFormat format);

    TBitmapCanvas& Canvas();
    bool HasCanvas() const { return m_canvas != nullptr; }

    // The first byte of a row counted from the top; raises EInvalidGraphicOperation for a
    // row outside the image. The bitmap is unshared first, so the row may be written.
    uint8_t* RowAddress(int32_t row);

    // Takes the platform image as the bitmap's image (none empties it, keeping the palette).
    void AdoptHandle(HBITMAP handle);
    // Hands the platform image to the caller; the bitmap keeps description and palette.
    HBITMAP DetachHandle();
    static HPALETTE DuplicatePalette(const HPALETTE& palette);

    TColor TransparencyColor();
    void SetTransparencyColor(TColor color);
    TTransparentMode TransparentMode() const { return m_transparentMode; }
    // The pixels a keyed source left transparent, which show the bitmap's own background
    // here; none when the source had no key. Any change of the bitmap drops the set, so it
    // is given last, after the pixels and the transparency colour.
    const std::shared_ptr<const TPixelMask>& TransparentPixels() const
    {
        return m_transparentPixels;
    }
    void SetTransparentPixels(std::shared_ptr<const TPixelMask> pixels);
    bool IsMonochrome() const;

    // Makes sure no other bitmap shares the image before it changes.
    void Unshare();

    const TBitmapImage& Image() const { return *m_image; }
    const TDIBSection& Description() const { return m_image->Description; }
    // Whether another bitmap shares this bitmap's image.
    bool IsShared() const;

private:
    friend class TBitmapCanvas;

    enum class TSide
    {
        Width,
        Height
    };
    // Sets the width or the height; the old pixels stay at the top-left.
    void ChangeSide(int32_t value, TSide side);
    void Rebuild(const HBITMAP& oldImage, const HPALETTE& palette, TDIBSection description);
    void InstallImage(std::shared_ptr<TBitmapImage> image);
    void EnsureHandle();
    void EnsureDIB();
    void DerivePalette();
    void SetColorTableFromPalette();
    [[noreturn]] void RaiseOutOfResources() const;
    // Raises EOutOfResources for a width or height beyond the image limits either way.
    void RequireSideWithinLimits(int32_t value) const;

    // BMP reading and writing (BitmapFile.cpp).
    void ReadBitmapData(TStream& stream, uint64_t length);
    void WriteBitmapData(TStream& stream, bool withLengthPrefix);

    std::shared_ptr<TBitmapImage> m_image;
    std::unique_ptr<TBitmapCanvas> m_canvas;
    bool m_paletteDisabled = false;
    bool m_maskBitsValid = false;
    bool m_maskValid = false;
    TColor m_transparencyColor = clNoTransparency;
    TTransparentMode m_transparentMode = TTransparentMode::Automatic;
    std::shared_ptr<const TPixelMask> m_transparentPixels;
};

} // namespace kapto
