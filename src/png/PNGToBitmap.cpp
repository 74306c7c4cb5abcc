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

// The part of a target rectangle that a picture is drawn into, scaled by nearest neighbour:
// the target rows and columns inside both, and the source column of each.
struct TDrawArea
{
    int32_t Left = 0;
    int32_t Right = 0;
    int32_t Top = 0;
    int32_t Bottom = 0;
    std::vector<uint32_t> Columns; // source column of target column Left + i
    TRect Rect;
    bool Stretched = false;
    double Fy = 1;
    uint32_t SourceHeight = 0;

    // The source row of target row y.
    uint32_t SourceRow(int32_t y) const { return Index(int64_t(y) - Rect.Top, Fy, SourceHeight); }

    uint32_t Index(int64_t i, double factor, uint32_t size) const
    {
        const int64_t s = Stretched ? int64_t(double(i) / factor) : i;
        return uint32_t(std::clamp<int64_t>(s, 0, int64_t(size) - 1));
    }
};

// False when nothing is to be drawn: an empty rectangle, or one wholly outside the target.
bool FindDrawArea(const TPlatformImage& target, TRect rect, uint32_t sourceWidth,
                  uint32_t sourceHeight, TDrawArea& area)
{
    if (rect.Left > rect.Right) {
        std::swap(rect.Left, rect.Right);
    }
    if (rect.Top > rect.Bottom) {
        std::swap(rect.Top, rect.Bottom);
    }
    const int64_t width = int64_t(rect.Right) - rect.Left;
    const int64_t height = int64_t(rect.Bottom) - rect.Top;
    area.Left = std::max(rect.Left, 0);
    area.Right = std::min(rect.Right, target.Width());
    area.Top = std::max(rect.Top, 0);
    area.Bottom = std::min(rect.Bottom, target.Height());
    if (width == 0 || height == 0 || area.Left >= area.Right || area.Top >= area.Bottom) {
        return false;
    }
    area.Rect = rect;
    area.Stretched = width != sourceWidth || height != sourceHeight;
    area.Fy = double(height) / sourceHeight;
    area.SourceHeight = sourceHeight;
    const double fx = double(width) / sourceWidth;
    area.Columns.resize(size_t(area.Right - area.Left));
    for (size_t i = 0; i < area.Columns.size(); ++i) {
        area.Columns[i] = area.Index(int64_t(area.Left) + int64_t(i) - rect.Left, fx, sourceWidth);
    }
    return true;
}

// The palette index of pixel x, from its own bit field, most significant bits first.
inline unsigned IndexAt(const uint8_t* pixels, uint32_t x, unsigned bitCount)
{
    const size_t bit = size_t(x) * bitCount;
    return (pixels[bit / 8] >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
}

// Blends the picture, scaled into rect by nearest neighbour, over the target's pixels: the
// alpha plane of colour types 4 and 6, or the tRNS alpha of each palette entry. Only the part
// of rect inside the target is read and written.
void DrawBlended(TPlatformImage& target, const TRect& rect, const TPNGObject& png,
                 const TChunkIHDR& header)
{
    TDrawArea area;
    if (!FindDrawArea(target, rect, header.Width, header.Height, area)) {
        return;
    }
    const size_t count = area.Columns.size();
    const uint16_t bitCount = header.DIBBitCount();
    const TRGBQuad* colors = header.DibInfo().Colors.data();
    const uint32_t colorCount = std::min<uint32_t>(header.PaletteCount(), 256);
    const auto* transparency = png.Chunks().FindChunk<TChunktRNS>();

    TRowReader reader(target);
    TRowWriter writer(target);
    std::vector<TRGBQuad> row(count);
    for (int32_t y = area.Top; y < area.Bottom; ++y) {
        const uint32_t sy = area.SourceRow(y);
        const uint8_t* pixels = header.PixelRow(sy);
        const uint8_t* alpha = header.AlphaRow(sy);
        reader.Read(y, area.Left, int32_t(count), row.data());
        for (size_t i = 0; i < count; ++i) {
            const uint32_t sx = area.Columns[i];
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
                const unsigned index = IndexAt(pixels, sx, bitCount);
                const unsigned a = transparency->AlphaValues[index];
                // An index beyond the palette has no colour of its own: black, as elsewhere.
                const TRGBQuad s = index < colorCount ? colors[index] : TRGBQuad{};
                d = {Blend(s.Blue, a, d.Blue), Blend(s.Green, a, d.Green), Blend(s.Red, a, d.Red),
                     0};
            }
        }
        writer.Write(y, area.Left, int32_t(count), row.data());
    }
}

// Which pixels of a picture with one transparent colour are transparent. The colour alone
// cannot tell: a palette may hold the transparent entry's colour again in an opaque entry, and
// a 16-bit sample is transparent only when all 16 bits equal the key. So a palette pixel is
// transparent when its index has alpha 0 in tRNS, a gray or RGB pixel when the reader found its
// samples equal to the key; a picture made here rather than read is compared by colour.
class TKeyedPixels
{
public:
    TKeyedPixels(const TPNGObject& png, const TChunkIHDR& header)
        : m_header(header), m_transparency(png.Chunks().FindChunk<TChunktRNS>()),
          m_keyPixels(header.KeyPixels()), m_key(ResolveColor(png.TransparentKeyColor()))
    {}

    // Pixel x of row y, whose colour is given.
    bool IsTransparent(uint32_t x, uint32_t y, const TRGBQuad& color) const
    {
        if (m_header.ColorType == COLOR_PALETTE) {
            const unsigned index = IndexAt(m_header.PixelRow(y), x, m_header.DIBBitCount());
            return m_transparency != nullptr && m_transparency->AlphaValues[index] == 0;
        }
        if (m_keyPixels != nullptr && m_keyPixels->Width() == m_header.Width &&
            m_keyPixels->Height() == m_header.Height) {
            return m_keyPixels->Contains(x, y);
        }
        return RGBColor(color.Red, color.Green, color.Blue) == m_key;
    }

private:
    const TChunkIHDR& m_header;
    const TChunktRNS* m_transparency;
    const TPixelMask* m_keyPixels;
    TColor m_key;
};

// Copies the picture, scaled into rect by nearest neighbour, onto the target, leaving the
// target's pixels where the picture's are transparent.
void DrawKeyed(TPlatformImage& target, const TRect& rect, const TPNGObject& png,
               const TChunkIHDR& header)
{
    TDrawArea area;
    if (!FindDrawArea(target, rect, header.Width, header.Height, area)) {
        return;
    }
    const TKeyedPixels keyed(png, header);
    const TPlatformImage& image = *header.ImageHandle();
    TRowReader source(image);
    TRowReader reader(target);
    TRowWriter writer(target);
    const size_t count = area.Columns.size();
    std::vector<TRGBQuad> sourceRow(header.Width);
    std::vector<TRGBQuad> row(count);
    for (int32_t y = area.Top; y < area.Bottom; ++y) {
        const uint32_t sy = area.SourceRow(y);
        source.Read(int32_t(sy), 0, image.Width(), sourceRow.data());
        reader.Read(y, area.Left, int32_t(count), row.data());
        for (size_t i = 0; i < count; ++i) {
            const uint32_t sx = area.Columns[i];
            const TRGBQuad& s = sourceRow[sx];
            if (!keyed.IsTransparent(sx, sy, s)) {
                row[i] = {s.Blue, s.Green, s.Red, 0};
            }
        }
        writer.Write(y, area.Left, int32_t(count), row.data());
    }
}

// The transparent pixels of a keyed picture.
std::shared_ptr<const TPixelMask> TransparentPixels(const TPNGObject& png, const TChunkIHDR& header)
{
    const TKeyedPixels keyed(png, header);
    const TPlatformImage& image = *header.ImageHandle();
    TRowReader source(image);
    std::vector<TRGBQuad> row(header.Width);
    auto pixels = std::make_shared<TPixelMask>(header.Width, header.Height);
    for (uint32_t y = 0; y < header.Height; ++y) {
        source.Read(int32_t(y), 0, image.Width(), row.data());
        for (uint32_t x = 0; x < header.Width; ++x) {
            if (keyed.IsTransparent(x, y, row[x])) {
                pixels->Add(x, y);
            }
        }
    }
    return pixels;
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
        // Transparent pixels leave the canvas as it is, as drawing through a mask does.
        DrawKeyed(canvas.Target(), rect, *this, header);
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
        // They show the bitmap's white, which opaque pixels may have too.
        bitmap->SetTransparentPixels(TransparentPixels(*this, header));
    }
}

} // namespace kapto
