#include "graphics/Canvas.h"

#include "graphics/Graphic.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"

namespace kapto {

TPlatformImage& TCanvas::Target()
{
    TPlatformImage* image = RequireContext();
    if (image == nullptr) {
        throw EInvalidOperation(FormatMessage(TMessage::CannotDraw));
    }
    return *image;
}

TColor TCanvas::GetPixel(int32_t x, int32_t y)
{
    // An empty image has no pixel to read: like any read outside an image.
    TPlatformImage* image = RequireContext();
    return image != nullptr ? ReadPixel(*image, x, y) : clInvalid;
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor color)
{
    Changing();
    TPlatformImage* image = RequireContext();
    if (image == nullptr) {
        return;
    }
    WritePixel(*image, x, y, ResolveColor(color));
    Changed();
}

void TCanvas::Draw(int32_t x, int32_t y, TGraphic* graphic)
{
    if (graphic == nullptr || graphic->Empty()) {
        return;
    }
    StretchDraw(TRect{x, y, x + graphic->Width(), y + graphic->Height()}, graphic);
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic)
{
    if (graphic == nullptr || graphic->Empty()) {
        return;
    }
    Changing();
    Target();
    graphic->Draw(*this, rect);
    Changed();
}

void TCanvas::FillRect(const TRect& rect)
{
    Changing();
    FillImage(Target(), rect, ResolveColor(m_brushColor));
    Changed();
}

} // namespace kapto
