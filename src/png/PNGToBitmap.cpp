// Drawing a PNG image onto a canvas, and assigning it to a bitmap: a plain stretched copy, a
// copy that leaves out the one transparent key colour, or per-pixel alpha blended over what
// the canvas shows.
#include "graphics/Bitmap.h"
#include "platform/RasterOps.h"
#include "png/Chunks.h"
#include "png/PNGErrors.h"
#include "png/PNGObject.h"
#include "png/PNGRows.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace kapto {

namespace {

// The bitmap format an image is drawn into. Transparent pixels show the new bitmap's white,
// which an indexed bitmap of the picture's own colours would turn into the nearest of them, so
// keyed images are drawn into 24 bits like blended ones.
TPixelFormat BitmapFormat(TTransparencyKind kind, const TChunkIHDR& header)
{
    if (kind != TTransparencyKind::None) {
        return fmt24Bit;
    }
    switch (header.BitDepth) {
    case 1:
        return fmt1Bit;
    case 2:
    case 4:
        return fmt4Bit;
    case 8:
    case 16:
        if (header.ColorType == COLOR_GRAYSCALE || header.ColorType == COLOR_RGB) {
            return fmt24Bit;
        }
        if (header.ColorType == COLOR_PALETTE) {
            return fmt8Bit;
        }
        break;
    default:
        break;
    }
    throw Exception("");
}

// The colours of an indexed picture as a palette of 2^bits entries, black beyond the colour
// table, so that every pixel drawn into a bitmap of that palette keeps its exact colour.
HPALETTE PicturePalette(const TChunkIHDR& header)
{
    const size_t size = size_t(1) << header.DIBBitCount();
    const size_t count = std::min<size_t>(header.PaletteCount(), size);
    std::vector<TPaletteEntry> entries(size);
    for (size_t i = 0; i < count; ++i) {
        const TRGBQuad& color = header.DibInfo().Colors[i];
        entries[i] = {color.Red, color.Green, color.Blue, 0};
    }
    return std::make_shared<const TPalette>(std::move(entries));
}

// (s * a + (255 - a) * d + 255) shr 8: a = 0 leaves d, a = 255 gives s.
inline uint8_t Blend(unsigned source, unsigned alpha, unsigned background)
{
    return uint8_t((source * alpha + (255 - alpha) * background + 255) >> 8);
}

// Blends the picture, scaled into rect by nearest neighbour, over the target's pixels: the
// alpha plane of colour types 4 and 6, or the tRNS alpha of each palette entry. Only the part
// of rect inside the target is read and written.
void DrawBlended(TPlatformImage& target, TRect rect, const TPNGObject& png,
                 const TChunkIHDR& header)
{
    if (rect.Left > rect.Right) {
        std::swap(rect.Left, rect.Right);
    }
    if (rect.Top > rect.Bottom) {
        std::swap(rect.Top, rect.Bottom);
    }
    const int64_t width = int64_t(rect.Right) - rect.Left;
    const int64_t height = int64_t(rect.Bottom) - rect.Top;
    const int32_t left = std::max(rect.Left, 0);
    const int32_t right = std::min(rect.Right, target.Width());
    const int32_t top = std::max(rect.Top, 0);
    const int32_t bottom = std::min(rect.Bottom, target.Height());
    if (width == 0 || height == 0 || left >= right || top >= bottom) {
        return;
    }
    const uint32_t sourceWidth = header.Width;
    const uint32_t sourceHeight = header.Height;
    const bool stretched = width != sourceWidth || height != sourceHeight;
    const double fx = double(width) / sourceWidth;
    const double fy = double(height) / sourceHeight;
    const auto sourceIndex = [stretched](int64_t i, double factor, uint32_t size) {
        const int64_t s = stretched ? int64_t(double(i) / factor) : i;
        return uint32_t(std::clamp<int64_t>(s, 0, int64_t(size) - 1));
    };

    const size_t count = size_t(right - left);
    std::vector<uint32_t> columns(count);
    for (size_t i = 0; i < count; ++i) {
        columns[i] = sourceIndex(int64_t(left) + int64_t(i) - rect.Left, fx, sourceWidth);
    }
    const uint16_t bitCount = header.DIBBitCount();
    const TRGBQuad* colors = header.DibInfo().Colors.data();
    const uint32_t colorCount = std::min<uint32_t>(header.PaletteCount(), 256);
    const auto* transparency = png.Chunks().FindChunk<TChunktRNS>();

    TRowReader reader(target);
    TRowWriter writer(target);
    std::vector<TRGBQuad> row(count);
    for (int32_t y = top; y < bottom; ++y) {
        const uint32_t sy = sourceIndex(int64_t(y) - rect.Top, fy, sourceHeight);
        const uint8_t* pixels = header.PixelRow(sy);
        const uint8_t* alpha = header.AlphaRow(sy);
        reader.Read(y, left, int32_t(count), row.data());
        for (size_t i = 0; i < count; ++i) {
            const uint32_t sx = columns[i];
            TRGBQuad& d = row[i];
            if (bitCount == 24 && alpha != nullptr) {
                const uint8_t* s = pixels + size_t(sx) * 3;
                const unsigned a = alpha[sx];
                d = {Blend(s[0], a, d.Blue), Blend(s[1], a, d.Green), Blend(s[2], a, d.Red), 0};
            } else if (header.ColorType == COLOR_GRAYSCALEALPHA && alpha != nullptr) {
                const unsigned gray = pixels[sx];
                const unsigned a = alpha[sx];
                d = {Blend(gray, a, d.Blue), Blend(gray, a, d.Green), Blend(gray, a, d.Red), 0};
            } else if (header.ColorType == COLOR_PALETTE && transparency != nullptr) {
                // The index from the pixel's own bit field, most significant bits first.
                const size_t bit = size_t(sx) * bitCount;
                const unsigned index =
                    (pixels[bit / 8] >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
                const unsigned a = transparency->AlphaValues[index];
                // An index beyond the palette has no colour of its own: black, as elsewhere.
                const TRGBQuad s = index < colorCount ? colors[index] : TRGBQuad{};
                d = {Blend(s.Blue, a, d.Blue), Blend(s.Green, a, d.Green), Blend(s.Red, a, d.Red),
                     0};
            }
        }
        writer.Write(y, left, int32_t(count), row.data());
    }
}

} // namespace

void TPNGObject::Draw(TCanvas& canvas, const TRect& rect)
{
    if (IsEmpty() || !HasHeader() || !Header().HasImage()) {
        return;
    }
    const TChunkIHDR& header = Header();
    const TPlatformImage& image = *header.ImageHandle();
    const TRect whole{0, 0, image.Width(), image.Height()};
    switch (TransparencyKind()) {
    case TTransparencyKind::KeyColor:
        // Pixels of the key colour leave the canvas as it is, as drawing through a mask does.
        StretchCopy(canvas.Target(), rect, image, whole, ResolveColor(TransparentKeyColor()));
        break;
    case TTransparencyKind::Alpha:
        DrawBlended(canvas.Target(), rect, *this, header);
        break;
    case TTransparencyKind::None:
        StretchCopy(canvas.Target(), rect, image, whole);
        break;
    }
}

void TPNGObject::CopyInto(TPersistent& destination) const
{
    if (auto* png = dynamic_cast<TPNGObject*>(&destination)) {
        png->CloneFrom(*this);
        return;
    }
    auto* bitmap = dynamic_cast<TBitmap*>(&destination);
    if (bitmap == nullptr || !HasHeader() || !Header().HasImage()) {
        TGraphic::CopyInto(destination);
        return;
    }
    const TChunkIHDR& header = Header();
    const TTransparencyKind kind = TransparencyKind();
    const TPixelFormat format = BitmapFormat(kind, header);
    bitmap->SetPixelFormat(format);
    bitmap->SetWidth(int32_t(header.Width));
    bitmap->SetHeight(int32_t(header.Height));
    if (format != fmt24Bit && header.HasIndexedDib()) {
        // An indexed bitmap holds the picture's own colours; with the display's standard,
        // halftone or black and white colours every pixel would become the nearest of those.
        // Given once the bitmap has pixels, as a new 1-bit image always starts black and white.
        bitmap->SetPalette(PicturePalette(header));
    }
    bitmap->Canvas().Draw(0, 0, const_cast<TPNGObject*>(this));
    if (kind == TTransparencyKind::KeyColor) {
        bitmap->SetTransparencyColor(TransparentKeyColor());
        bitmap->SetTransparent(true);
    }
}

} // namespace kapto
