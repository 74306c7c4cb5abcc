#pragma once
// A drawing surface over one platform image: pixel reads and writes and drawing graphics.
// Lines, text, fonts and pens are outside this system.

#include "platform/Color.h"
#include "platform/DIB.h"
#include "platform/RasterOps.h"

#include <cstdint>

namespace kapto {

class TGraphic;

enum class TCopyMode
{
    SourceCopy,
};

class TCanvas
{
public:
    virtual ~TCanvas() = default;
    TCanvas() = default;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TColor BrushColor() const { return m_brushColor; }
    void SetBrushColor(TColor color) { m_brushColor = color; }
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor color) { m_fontColor = color; }
    TCopyMode CopyMode() const { return m_copyMode; }

    // The colour of pixel (x, y) from the top, or $FFFFFFFF outside the image.
    TColor GetPixel(int32_t x, int32_t y);
    // Sets pixel (x, y) to the nearest colour the image can hold; nothing outside.
    void SetPixel(int32_t x, int32_t y, TColor color);
    // Draws the graphic with its top-left corner at (x, y), at its own size.
    void Draw(int32_t x, int32_t y, TGraphic* graphic);
    // Draws the graphic scaled into the rectangle.
    void StretchDraw(const TRect& rect, TGraphic* graphic);
    // Fills the rectangle with the brush colour.
    void FillRect(const TRect& rect);

    // The image the canvas draws on (its drawing context); raises EInvalidOperation
    // "Canvas に対する描画ができません" when there is none.
    TPlatformImage& Target();

protected:
    // The platform image to draw on, made ready; none when the canvas cannot draw.
    virtual TPlatformImage* RequireContext() = 0;
    // Called before the image changes and after it changed.
    virtual void Changing() {}
    virtual void Changed() {}

private:
    TColor m_brushColor = clWhite;
    TColor m_fontColor = clBlack;
    TCopyMode m_copyMode = TCopyMode::SourceCopy;
};

} // namespace kapto
