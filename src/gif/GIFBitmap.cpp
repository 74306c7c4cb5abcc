// From GIF frames to bitmaps: the first frame of an image as a TBitmap, each frame's 8-bit
// rendering with its transparency mask, the palettes they use, and drawing onto a canvas.

#include "gif/DIBWriter.h"
#include "gif/GIFErrors.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"
#include "graphics/Canvas.h"
#include "platform/RasterOps.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kapto {

namespace {

// a * b / c rounded half away from zero; c > 0.
int32_t MulDiv(int64_t a, int64_t b, int64_t c)
{
    const int64_t product = a * b;
    const int64_t rounded = product >= 0 ? (product + c / 2) / c : (product - c / 2) / c;
    return int32_t(rounded);
}

// Resets a flag when the scope ends, however it ends.
class TFlagGuard
{
public:
    explicit TFlagGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~TFlagGuard() { m_flag = false; }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
    bool& m_flag;
};

} // namespace

// ---- TGIFSubImage ----

HPALETTE TGIFSubImage::GetPalette()
{
    if (m_bitmap != nullptr) {
        HPALETTE palette = m_bitmap->GetPalette();
        if (palette != nullptr) {
            return palette;
        }
    }
    if (m_localPalette != nullptr) {
        return m_localPalette;
    }
    if (m_colorMap.Count() == 0) {
        if (Image() == nullptr) {
            RaiseGIF(TGIFMessage::NoColorTable);
        }
        return Image()->GetPalette();
    }
    m_localPalette = m_colorMap.MakePalette();
    return m_localPalette;
}

TBitmap* TGIFSubImage::Bitmap()
{
    if (m_bitmap != nullptr || Empty()) {
        return m_bitmap.get();
    }
    TGIFImage* image = Image();
    if (image != nullptr) {
        image->ReportProgress(TProgressStage::Starting, 0, TGIFMessage::Rendering);
    }
    try {
        m_bitmap = RenderFrame();
    } catch (...) {
        if (image != nullptr) {
            image->ReportProgress(TProgressStage::Ending, 0, TGIFMessage::Rendering);
        }
        throw;
    }
    if (image != nullptr) {
        image->ReportProgress(TProgressStage::Ending, 100, TGIFMessage::Rendering);
        if (image->PaletteModified()) {
            image->Changed();
        }
    }
    return m_bitmap.get();
}

std::unique_ptr<TBitmap> TGIFSubImage::RenderFrame()
{
    const int32_t width = Width();
    const int32_t height = Height();
    auto bitmap = std::make_unique<TBitmap>();
    if (uint64_t(width) * uint64_t(height) > kLargeFramePixels) {
        bitmap->SetPixelFormat(fmt1Bit);
    }
    TDIBWriter writer(*bitmap, fmt8Bit, width, height, GetPalette());

    const bool buildMask = m_needMask && m_transparent;
    m_needMask = false;
    const uint8_t transparentIndex =
        m_graphicControl != nullptr ? m_graphicControl->TransparentColorIndex() : 0;
    // Rows of the mask are padded to 16 bits, as monochrome platform bitmaps are.
    const size_t maskRowBytes = size_t((width + 15) / 16) * 2;
    std::vector<uint8_t> maskBits(buildMask ? maskRowBytes * size_t(height) : 0);
    bool hasMaskedPixel = false;

    TGIFImage* image = Image();
    const uint8_t* data = m_data.Data();
    for (int32_t row = 0; row < height; ++row) {
        if (row % 32 == 0 && image != nullptr) {
            image->ReportProgress(TProgressStage::Running, uint8_t(int64_t(row) * 100 / height),
                                  TGIFMessage::Rendering);
        }
        const uint8_t* source = data + size_t(row) * size_t(width);
        std::memcpy(writer.RowPointer(row), source, size_t(width));
        if (buildMask) {
            uint8_t* maskRow = maskBits.data() + size_t(row) * maskRowBytes;
            for (int32_t x = 0; x < width; ++x) {
                if (source[x] == transparentIndex) {
                    maskRow[x / 8] |= uint8_t(0x80 >> (x % 8));
                    hasMaskedPixel = true;
                }
            }
        }
    }
    if (hasMaskedPixel) {
        TBitmapInfoHeader header;
        header.Size = 40;
        header.Width = width;
        header.Height = -height;
        header.Planes = 1;
        header.BitCount = 1;
        m_mask = CreateDIBSection(header, {TRGBQuad{}, TRGBQuad{255, 255, 255, 0}}, nullptr);
        if (m_mask != nullptr) {
            const size_t count = std::min(maskRowBytes, m_mask->Stride());
            for (int32_t row = 0; row < height; ++row) {
                std::memcpy(m_mask->Row(row), maskBits.data() + size_t(row) * maskRowBytes, count);
            }
        }
    }
    writer.Finish();
    return bitmap;
}

TRect TGIFSubImage::FrameRect(const TRect& rect) const
{
    const int64_t screenWidth = Image()->Width();
    const int64_t screenHeight = Image()->Height();
    return TRect{rect.Left + MulDiv(Left(), rect.Width(), screenWidth),
                 rect.Top + MulDiv(Top(), rect.Height(), screenHeight),
                 rect.Left + MulDiv(int64_t(Left()) + Width(), rect.Width(), screenWidth),
                 rect.Top + MulDiv(int64_t(Top()) + Height(), rect.Height(), screenHeight)};
}

void TGIFSubImage::Draw(TCanvas& canvas, const TRect& rect, bool transparent, bool /*tile*/)
{
    // A logical screen of no size gives the frame no place to be drawn at.
    if (Empty() || Image() == nullptr || Image()->Width() <= 0 || Image()->Height() <= 0) {
        return;
    }
    if (transparent && m_transparent && m_needMask) {
        ClearRendering();
    }
    TBitmap* bitmap = Bitmap();
    if (bitmap == nullptr) {
        return;
    }
    const TRect frameRect = FrameRect(rect);
    if (transparent && m_transparent && m_mask != nullptr) {
        DrawMasked(canvas.Target(), frameRect);
        return;
    }
    bitmap->Draw(canvas, frameRect);
}

void TGIFSubImage::DrawMasked(TPlatformImage& target, const TRect& frameRect)
{
    const HBITMAP source = m_bitmap->Image().Handle;
    if (source == nullptr) {
        return;
    }
    const int64_t targetWidth = frameRect.Width();
    const int64_t targetHeight = frameRect.Height();
    const int32_t sourceWidth = source->Width();
    const int32_t sourceHeight = source->Height();
    const int32_t left = std::max(frameRect.Left, 0);
    const int32_t right = std::min(frameRect.Right, target.Width());
    const int32_t top = std::max(frameRect.Top, 0);
    const int32_t bottom = std::min(frameRect.Bottom, target.Height());
    if (targetWidth <= 0 || targetHeight <= 0 || left >= right || top >= bottom ||
        m_mask->Width() != sourceWidth || m_mask->Height() != sourceHeight) {
        return;
    }
    TRowReader sourceReader(*source);
    TRowReader targetReader(target);
    TRowWriter writer(target);
    std::vector<TRGBQuad> sourceRow(static_cast<size_t>(sourceWidth));
    std::vector<TRGBQuad> out(size_t(right - left));
    for (int32_t y = top; y < bottom; ++y) {
        const int32_t sy = int32_t(std::clamp<int64_t>(
            (int64_t(y - frameRect.Top) * sourceHeight) / targetHeight, 0, sourceHeight - 1));
        sourceReader.Read(sy, 0, sourceWidth, sourceRow.data());
        targetReader.Read(y, left, right - left, out.data());
        const uint8_t* maskRow = m_mask->Row(sy);
        for (int32_t x = left; x < right; ++x) {
            const int32_t sx = int32_t(std::clamp<int64_t>(
                (int64_t(x - frameRect.Left) * sourceWidth) / targetWidth, 0, sourceWidth - 1));
            const bool isTransparent = (maskRow[sx / 8] & (0x80 >> (sx % 8))) != 0;
            if (!isTransparent) {
                out[size_t(x - left)] = sourceRow[size_t(sx)];
            }
        }
        writer.Write(y, left, right - left, out.data());
    }
}

// ---- TGIFImage ----

HPALETTE TGIFImage::GetPalette()
{
    // The image palette falls back on the first frame's, which falls back on the image's:
    // with neither table the query comes back here.
    if (m_isQueryingPalette) {
        RaiseGIF(TGIFMessage::NoColorTable);
    }
    TFlagGuard guard(m_isQueryingPalette);
    if (m_bitmap != nullptr) {
        HPALETTE palette = m_bitmap->GetPalette();
        if (palette != nullptr) {
            return palette;
        }
    }
    if (m_globalPalette != nullptr) {
        return m_globalPalette;
    }
    if (m_header->ColorMap().Count() == 0) {
        if (m_images.Count() == 0) {
            return nullptr;
        }
        return m_images[0].GetPalette();
    }
    m_globalPalette = m_header->ColorMap().MakePalette();
    return m_globalPalette;
}

TBitmap* TGIFImage::Bitmap()
{
    if (m_images.Count() == 0) {
        return nullptr;
    }
    if (m_bitmap != nullptr) {
        return m_bitmap.get();
    }
    auto bitmap = std::make_unique<TBitmap>();
    TGIFSubImage& first = m_images[0];
    if (first.Width() == Width() && first.Height() == Height()) {
        bitmap->AssignFrom(first.Bitmap());
    } else {
        bitmap->SetPalette(TBitmap::DuplicatePalette(GetPalette()));
        bitmap->SetHeight(Height());
        bitmap->SetWidth(Width());
        if (!bitmap->Empty()) {
            first.Draw(bitmap->Canvas(), TRect{0, 0, Width(), Height()}, false, false);
        }
    }
    bitmap->OnChange = [this](TPersistent&) { Changed(); };
    m_bitmap = std::move(bitmap);
    return m_bitmap.get();
}

void TGIFImage::CopyInto(TPersistent& destination) const
{
    auto* bitmap = dynamic_cast<TBitmap*>(&destination);
    if (bitmap == nullptr) {
        TPersistent::CopyInto(destination);
        return;
    }
    // The rendering is a cache: making it does not change the image.
    bitmap->AssignFrom(const_cast<TGIFImage*>(this)->Bitmap());
}

void TGIFImage::Draw(TCanvas& canvas, const TRect& rect)
{
    if (m_isDrawing || m_images.Count() == 0) {
        return;
    }
    TFlagGuard guard(m_isDrawing);
    m_images[0].Draw(canvas, rect, (m_drawOptions & kDrawTransparent) != 0,
                     (m_drawOptions & kDrawTile) != 0);
}

} // namespace kapto
