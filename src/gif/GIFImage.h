#pragma once
// TGIFImage: a GIF file (87a or 89a) read into header and frames, whose first frame a bitmap
// can take. Writing, animation and colour reduction are not part of this system.

#include "gif/GIFErrors.h"
#include "gif/GIFItem.h"
#include "gif/GIFList.h"
#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kapto {

class TGIFSubImage;

using TGIFWarningEvent =
    std::function<void(TPersistent& sender, int severity, const std::string& message)>;

// Draw options: bit 1 draws transparent, bit 2 animates several frames, bit 8 tiles; bits 9
// and 10 ask for dithering on palette displays.
constexpr uint16_t kGIFDefaultDrawOptions = 0x060F;
constexpr uint16_t kDrawTransparent = 0x0002;
constexpr uint16_t kDrawAnimate = 0x0004;
constexpr uint16_t kDrawTile = 0x0100;

class TGIFImage : public TGraphic
{
public:
    TGIFImage();
    ~TGIFImage() override;

    const char* ClassName() const override { return "TGIFImage"; }

    // Called with every warning of the image, its frames, extensions and colour tables when
    // set; warnings are ignored otherwise.
    TGIFWarningEvent OnWarning;

    // Replaces the content with the GIF at the stream's position. Raises GIFException on
    // fatal problems and leaves the stream where loading began; frames read before the
    // failure stay. Lesser problems go to Warning.
    void LoadFromStream(TStream& stream) override;
    // Raises GIFException: this system reads GIF files only.
    void SaveToStream(TStream& stream) override;
    // Releases all frames, the global colour table, the screen size and the renderings.
    void Clear();

    TGIFHeader& Header() { return *m_header; }
    const TGIFHeader& Header() const { return *m_header; }
    TGIFImageList& Images() { return m_images; }
    const TGIFImageList& Images() const { return m_images; }

    uint16_t DrawOptions() const { return m_drawOptions; }
    void SetDrawOptions(uint16_t value) { m_drawOptions = value; }
    // Dithering onto a colour cube only pays on palette displays; the display this system
    // draws on is true-colour.
    bool UseDithering() const { return false; }

    bool IsEmpty() const override;
    int32_t ReadWidth() const override;
    int32_t ReadHeight() const override;
    // The logical screen size is what the file says; these change nothing.
    void ChangeWidth(int32_t value) override;
    void ChangeHeight(int32_t value) override;

    // Draws the first frame into rect (which stands for the logical screen); transparent
    // pixels leave the canvas unchanged while bit 1 of DrawOptions is set. Frames are not
    // animated.
    void Draw(TCanvas& canvas, const TRect& rect) override;
    // The palette for the image; owned by the image. Raises "No global or local color table
    // defined" when neither the global nor the first frame's table has colours.
    HPALETTE GetPalette() override;
    // A TBitmap destination takes Bitmap (an empty image for no frames); anything else
    // raises EConvertError.
    void CopyInto(TPersistent& destination) const override;
    // The first frame on a bitmap: the frame's own bitmap when it covers the logical screen,
    // else drawn at its place on a bitmap of the screen's size. None without frames. Made
    // once and owned by the image.
    TBitmap* Bitmap();

    // Calls OnWarning when it is set.
    virtual void Warning(TPersistent& sender, int severity, const std::string& message);

    // Progress of reading, after each frame.
    void ReportLoadProgress(TStream& stream);
    // Progress with one of the subsystem's progress texts.
    void ReportProgress(TProgressStage stage, uint8_t percent, TGIFMessage message);

private:
    void ClearRenderings();

    std::unique_ptr<TGIFHeader> m_header;
    TGIFImageList m_images;
    std::unique_ptr<TBitmap> m_bitmap;
    HPALETTE m_globalPalette;
    uint16_t m_drawOptions = kGIFDefaultDrawOptions;
    bool m_isQueryingPalette = false;
    bool m_isDrawing = false;
};

} // namespace kapto
