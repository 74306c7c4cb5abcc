#include "platform/RasterOps.h"

#include "runtime/Assert.h"
#include "runtime/Checked.h"

#include <algorithm>
#include <cstring>

namespace kapto {

namespace {

TRGBQuad QuadOf(TColor color)
{
    return {BlueOf(color), GreenOf(color), RedOf(color), 0};
}

TColor ColorOf(const TRGBQuad& quad)
{
    return RGBColor(quad.Red, quad.Green, quad.Blue);
}

uint32_t Key(const TRGBQuad& quad)
{
    return uint32_t(quad.Blue) | uint32_t(quad.Green) << 8 | uint32_t(quad.Red) << 16;
}

unsigned CountTrailingZeros(uint32_t value)
{
    unsigned n = 0;
    while (n < 32 && (value & (uint32_t(1) << n)) == 0) {
        ++n;
    }
    return n;
}

// The masks that select the channels of a 16- or 32-bit image.
void ChannelMasks(const TPlatformImage& image, uint32_t masks[3])
{
    if (image.Compression() == kCompressionBitFields) {
        std::copy(image.Masks(), image.Masks() + 3, masks);
    } else if (image.BitCount() == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else {
        std::copy(kMasks888, kMasks888 + 3, masks);
    }
}

bool SameLayout(const TPlatformImage& a, const TPlatformImage& b)
{
    if (a.BitCount() != b.BitCount()) {
        return false;
    }
    if (a.BitCount() <= 8) {
        // Indices mean the same colours only under the same colour table.
        return a.ColorTable().size() == b.ColorTable().size() &&
               std::equal(a.ColorTable().begin(), a.ColorTable().end(), b.ColorTable().begin());
    }
    uint32_t ma[3];
    uint32_t mb[3];
    ChannelMasks(a, ma);
    ChannelMasks(b, mb);
    return std::equal(ma, ma + 3, mb);
}

} // namespace

// --- TRowReader ------------------------------------------------------------------------------

TRowReader::TChannel TRowReader::MakeChannel(uint32_t mask)
{
    TChannel channel;
    if (mask != 0) {
        channel.Mask = mask;
        channel.Shift = CountTrailingZeros(mask);
        channel.Max = mask >> channel.Shift;
        // Channels of up to 16 bits (every 16-bit image) widen through a table instead of a
        // division per pixel.
        if (channel.Max <= 0xFFFF && channel.Max != 0xFF) {
            channel.Widened.resize(size_t(channel.Max) + 1);
            for (uint32_t value = 0; value <= channel.Max; ++value) {
                channel.Widened[value] =
                    uint8_t((uint64_t(value) * 255 + channel.Max / 2) / channel.Max);
            }
        }
    }
    return channel;
}

uint8_t TRowReader::Extract(const TChannel& channel, uint32_t pixel)
{
    if (channel.Max == 0) {
        return 0;
    }
    const uint32_t value = (pixel & channel.Mask) >> channel.Shift;
    if (!channel.Widened.empty()) {
        return channel.Widened[value];
    }
    if (channel.Max == 0xFF) {
        return uint8_t(value);
    }
    // Widen (or narrow) to 8 bits with rounding, so a full channel of any width reads 255.
    return uint8_t((uint64_t(value) * 255 + channel.Max / 2) / channel.Max);
}

TRowReader::TRowReader(const TPlatformImage& image) : m_image(image)
{
    const std::vector<TRGBQuad>& table = image.ColorTable();
    for (size_t i = 0; i < 256; ++i) {
        // Indices beyond the colour table read black rather than outside it.
        m_table[i] = i < table.size() ? TRGBQuad{table[i].Blue, table[i].Green, table[i].Red, 0}
                                      : TRGBQuad{};
    }
    if (image.BitCount() == 16 || image.Compression() == kCompressionBitFields) {
        uint32_t masks[3] = {0, 0, 0};
        ChannelMasks(image, masks);
        for (int i = 0; i < 3; ++i) {
            m_channels[i] = MakeChannel(masks[i]);
        }
        m_useMasks = true;
    }
}

void TRowReader::Read(int32_t y, int32_t x0, int32_t count, TRGBQuad* out) const
{
    KAPTO_ASSERT(y >= 0 && y < m_image.Height() && x0 >= 0 && count >= 0 &&
                 x0 + count <= m_image.Width());
    const uint8_t* row = m_image.Row(y);
    switch (m_image.BitCount()) {
    case 1:
        for (int32_t i = 0; i < count; ++i) {
            const int32_t x = x0 + i;
            out[i] = m_table[(row[x >> 3] >> (7 - (x & 7))) & 1];
        }
        break;
    case 4:
        for (int32_t i = 0; i < count; ++i) {
            const int32_t x = x0 + i;
            out[i] = m_table[(row[x >> 1] >> ((x & 1) != 0 ? 0 : 4)) & 0x0F];
        }
        break;
    case 8:
        for (int32_t i = 0; i < count; ++i) {
            out[i] = m_table[row[x0 + i]];
        }
        break;
    case 16:
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t* p = row + size_t(x0 + i) * 2;
            const uint32_t pixel = uint32_t(p[0]) | uint32_t(p[1]) << 8;
            out[i] = {Extract(m_channels[2], pixel), Extract(m_channels[1], pixel),
                      Extract(m_channels[0], pixel), 0};
        }
        break;
    case 24:
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t* p = row + size_t(x0 + i) * 3;
            out[i] = {p[0], p[1], p[2], 0};
        }
        break;
    case 32:
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t* p = row + size_t(x0 + i) * 4;
            if (m_useMasks) {
                const uint32_t pixel = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                       uint32_t(p[3]) << 24;
                out[i] = {Extract(m_channels[2], pixel), Extract(m_channels[1], pixel),
                          Extract(m_channels[0], pixel), 0};
            } else {
                out[i] = {p[0], p[1], p[2], 0};
            }
        }
        break;
    default:
        std::fill(out, out + count, TRGBQuad{});
        break;
    }
}

// --- TRowWriter ------------------------------------------------------------------------------

TRowWriter::TRowWriter(TPlatformImage& image) : m_image(image)
{
    if (image.BitCount() == 16 || image.BitCount() == 32) {
        uint32_t masks[3] = {0, 0, 0};
        ChannelMasks(image, masks);
        for (int i = 0; i < 3; ++i) {
            m_shifts[i] = masks[i] == 0 ? 0 : CountTrailingZeros(masks[i]);
            m_widths[i] = masks[i] == 0 ? 0 : masks[i] >> m_shifts[i];
        }
    }
}

uint32_t TRowWriter::IndexFor(const TRGBQuad& color)
{
    const uint32_t key = Key(color);
    const auto found = m_indexCache.find(key);
    if (found != m_indexCache.end()) {
        return found->second;
    }
    const std::vector<TRGBQuad>& table = m_image.ColorTable();
    uint32_t best = 0;
    int bestDistance = 1 << 30;
    const size_t limit = std::min<size_t>(table.size(), size_t(1) << m_image.BitCount());
    for (size_t i = 0; i < limit; ++i) {
        const int dr = int(table[i].Red) - color.Red;
        const int dg = int(table[i].Green) - color.Green;
        const int db = int(table[i].Blue) - color.Blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = uint32_t(i);
        }
    }
    m_indexCache.emplace(key, best);
    return best;
}

uint32_t TRowWriter::Pack(const TRGBQuad& color) const
{
    const uint8_t channels[3] = {color.Red, color.Green, color.Blue};
    uint32_t pixel = 0;
    for (int i = 0; i < 3; ++i) {
        const uint32_t max = m_widths[i];
        if (max == 0) {
            continue;
        }
        const uint32_t value =
            max == 0xFF ? channels[i] : uint32_t((uint64_t(channels[i]) * max + 127) / 255);
        pixel |= (value << m_shifts[i]);
    }
    return pixel;
}

void TRowWriter::Write(int32_t y, int32_t x0, int32_t count, const TRGBQuad* in)
{
    KAPTO_ASSERT(y >= 0 && y < m_image.Height() && x0 >= 0 && count >= 0 &&
                 x0 + count <= m_image.Width());
    uint8_t* row = m_image.Row(y);
    switch (m_image.BitCount()) {
    case 1:
        for (int32_t i = 0; i < count; ++i) {
            const int32_t x = x0 + i;
            const uint8_t bit = uint8_t(0x80 >> (x & 7));
            if (IndexFor(in[i]) & 1) {
                row[x >> 3] = uint8_t(row[x >> 3] | bit);
            } else {
                row[x >> 3] = uint8_t(row[x >> 3] & ~bit);
            }
        }
        break;
    case 4:
        for (int32_t i = 0; i < count; ++i) {
            const int32_t x = x0 + i;
            const uint32_t index = IndexFor(in[i]) & 0x0F;
            uint8_t& byte = row[x >> 1];
            byte =
                (x & 1) != 0 ? uint8_t((byte & 0xF0) | index) : uint8_t((byte & 0x0F) | index << 4);
        }
        break;
    case 8:
        for (int32_t i = 0; i < count; ++i) {
            row[x0 + i] = uint8_t(IndexFor(in[i]));
        }
        break;
    case 16:
        for (int32_t i = 0; i < count; ++i) {
            const uint32_t pixel = Pack(in[i]);
            uint8_t* p = row + size_t(x0 + i) * 2;
            p[0] = uint8_t(pixel);
            p[1] = uint8_t(pixel >> 8);
        }
        break;
    case 24:
        for (int32_t i = 0; i < count; ++i) {
            uint8_t* p = row + size_t(x0 + i) * 3;
            p[0] = in[i].Blue;
            p[1] = in[i].Green;
            p[2] = in[i].Red;
        }
        break;
    case 32:
        for (int32_t i = 0; i < count; ++i) {
            uint8_t* p = row + size_t(x0 + i) * 4;
            if (m_image.Compression() == kCompressionBitFields) {
                const uint32_t pixel = Pack(in[i]);
                p[0] = uint8_t(pixel);
                p[1] = uint8_t(pixel >> 8);
                p[2] = uint8_t(pixel >> 16);
                p[3] = uint8_t(pixel >> 24);
            } else {
                p[0] = in[i].Blue;
                p[1] = in[i].Green;
                p[2] = in[i].Red;
                p[3] = 0;
            }
        }
        break;
    default:
        break;
    }
}

// --- Bulk operations ---------------------------------------------------------------------------

namespace {

// Copies the overlapping top-left area of source onto target, converting per row.
void CopyArea(const TPlatformImage& source, TPlatformImage& target, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0) {
        return;
    }
    if (SameLayout(source, target) && (width * source.BitCount()) % 8 == 0) {
        const size_t bytes = size_t(width) * source.BitCount() / 8;
        for (int32_t y = 0; y < height; ++y) {
            std::memcpy(target.Row(y), source.Row(y), bytes);
        }
        return;
    }
    TRowReader reader(source);
    TRowWriter writer(target);
    std::vector<TRGBQuad> row(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        reader.Read(y, 0, width, row.data());
        writer.Write(y, 0, width, row.data());
    }
}

} // namespace

void ConvertImage(const TPlatformImage& source, TPlatformImage& target)
{
    KAPTO_ASSERT(source.Width() == target.Width() && source.Height() == target.Height());
    CopyArea(source, target, std::min(source.Width(), target.Width()),
             std::min(source.Height(), target.Height()));
}

void CopyImage(const TPlatformImage& source, TPlatformImage& target)
{
    CopyArea(source, target, std::min(source.Width(), target.Width()),
             std::min(source.Height(), target.Height()));
}

void FillImage(TPlatformImage& image, const TRect& rect, TColor color)
{
    const int32_t left = std::max(rect.Left, 0);
    const int32_t top = std::max(rect.Top, 0);
    const int32_t right = std::min(rect.Right, image.Width());
    const int32_t bottom = std::min(rect.Bottom, image.Height());
    if (left >= right || top >= bottom) {
        return;
    }
    std::vector<TRGBQuad> row(size_t(right - left), QuadOf(color));
    TRowWriter writer(image);
    writer.Write(top, left, right - left, row.data());
    // Every other row holds the same bytes as the first; pixels that share a byte with
    // pixels outside the rectangle (below 8 bits per pixel) are written one by one.
    const size_t bits = size_t(image.BitCount());
    const size_t first = (size_t(left) * bits + 7) / 8;
    const size_t last = (size_t(right) * bits) / 8;
    const int32_t leftWhole = int32_t(first * 8 / bits);
    const int32_t rightWhole = int32_t(last * 8 / bits);
    for (int32_t y = top + 1; y < bottom; ++y) {
        if (last > first) {
            std::memcpy(image.Row(y) + first, image.Row(top) + first, last - first);
        }
        if (leftWhole > left) {
            writer.Write(y, left, std::min(leftWhole, right) - left, row.data());
        }
        if (rightWhole < right && rightWhole >= leftWhole) {
            writer.Write(y, rightWhole, right - rightWhole, row.data());
        }
    }
}

void FillImage(TPlatformImage& image, TColor color)
{
    FillImage(image, TRect{0, 0, image.Width(), image.Height()}, color);
}

TColor ReadPixel(const TPlatformImage& image, int32_t x, int32_t y)
{
    if (x < 0 || y < 0 || x >= image.Width() || y >= image.Height()) {
        return clInvalid;
    }
    const uint8_t* row = image.Row(y);
    switch (image.BitCount()) {
    case 24: {
        const uint8_t* p = row + size_t(x) * 3;
        return RGBColor(p[2], p[1], p[0]);
    }
    case 1:
    case 4:
    case 8: {
        const unsigned bits = image.BitCount();
        const unsigned perByte = 8 / bits;
        const unsigned shift = (perByte - 1 - unsigned(x) % perByte) * bits;
        const size_t index = (row[size_t(x) / perByte] >> shift) & ((1u << bits) - 1);
        const std::vector<TRGBQuad>& table = image.ColorTable();
        return index < table.size() ? ColorOf(table[index]) : clBlack;
    }
    default: {
        TRGBQuad quad;
        TRowReader(image).Read(y, x, 1, &quad);
        return ColorOf(quad);
    }
    }
}

void WritePixel(TPlatformImage& image, int32_t x, int32_t y, TColor color)
{
    if (x < 0 || y < 0 || x >= image.Width() || y >= image.Height()) {
        return;
    }
    const TRGBQuad quad = QuadOf(color);
    TRowWriter(image).Write(y, x, 1, &quad);
}

void StretchCopy(TPlatformImage& target, const TRect& targetRect, const TPlatformImage& source,
                 const TRect& sourceRect, TColor transparentColor)
{
    const int64_t targetWidth = targetRect.Width();
    const int64_t targetHeight = targetRect.Height();
    const int64_t sourceWidth = sourceRect.Width();
    const int64_t sourceHeight = sourceRect.Height();
    if (targetWidth <= 0 || targetHeight <= 0 || sourceWidth <= 0 || sourceHeight <= 0 ||
        source.Width() <= 0 || source.Height() <= 0) {
        return;
    }
    const int32_t left = std::max(targetRect.Left, 0);
    const int32_t right = std::min(targetRect.Right, target.Width());
    const int32_t top = std::max(targetRect.Top, 0);
    const int32_t bottom = std::min(targetRect.Bottom, target.Height());
    if (left >= right || top >= bottom) {
        return;
    }
    const bool keyed = transparentColor != clInvalid;
    const TRGBQuad key = QuadOf(transparentColor);
    TRowReader sourceReader(source);
    TRowReader targetReader(target);
    TRowWriter writer(target);
    std::vector<TRGBQuad> sourceRow(size_t(source.Width()));
    std::vector<TRGBQuad> out(size_t(right - left));
    std::vector<int32_t> columns(size_t(right - left));
    for (int32_t x = left; x < right; ++x) {
        const int64_t sx =
            sourceRect.Left + (int64_t(x - targetRect.Left) * sourceWidth) / targetWidth;
        columns[size_t(x - left)] = int32_t(std::clamp<int64_t>(sx, 0, source.Width() - 1));
    }
    int32_t loadedRow = -1;
    for (int32_t y = top; y < bottom; ++y) {
        const int64_t syWide =
            sourceRect.Top + (int64_t(y - targetRect.Top) * sourceHeight) / targetHeight;
        const int32_t sy = int32_t(std::clamp<int64_t>(syWide, 0, source.Height() - 1));
        if (sy != loadedRow) {
            sourceReader.Read(sy, 0, source.Width(), sourceRow.data());
            loadedRow = sy;
        }
        if (keyed) {
            targetReader.Read(y, left, right - left, out.data());
        }
        for (size_t i = 0; i < out.size(); ++i) {
            const TRGBQuad& pixel = sourceRow[size_t(columns[i])];
            if (!keyed || !(pixel == key)) {
                out[i] = pixel;
            }
        }
        writer.Write(y, left, right - left, out.data());
    }
}

// --- RLE decoding -----------------------------------------------------------------------------

HBITMAP DecodeRLE(const TBitmapInfoHeader& header, const std::vector<TRGBQuad>& colors,
                  const uint8_t* data, size_t size, int64_t* rowsUnreached)
{
    const bool isRLE8 = header.Compression == kCompressionRLE8 && header.BitCount == 8;
    const bool isRLE4 = header.Compression == kCompressionRLE4 && header.BitCount == 4;
    if (!isRLE8 && !isRLE4) {
        return nullptr;
    }
    const int64_t height = header.Height < 0 ? -int64_t(header.Height) : int64_t(header.Height);
    if (header.Width <= 0 || height <= 0 || height > kMaxImageSide) {
        return nullptr;
    }
    HBITMAP image = CreateDeviceImage(header.Width, int32_t(height), false);
    if (image == nullptr) {
        return nullptr;
    }
    TRGBQuad table[256];
    for (size_t i = 0; i < 256 && i < colors.size(); ++i) {
        table[i] = {colors[i].Blue, colors[i].Green, colors[i].Red, 0};
    }
    const int32_t width = header.Width;
    const int32_t rows = int32_t(height);
    const bool topDown = header.Height < 0;
    int64_t x = 0;
    int64_t line = 0; // lines counted in storage order: from the bottom unless top-down
    auto put = [&](uint8_t index) {
        if (x < width && line < rows) {
            const int32_t y = topDown ? int32_t(line) : rows - 1 - int32_t(line);
            uint8_t* p = image->Row(y) + size_t(x) * 4;
            p[0] = table[index].Blue;
            p[1] = table[index].Green;
            p[2] = table[index].Red;
        }
        ++x;
    };
    size_t pos = 0;
    bool ended = false; // by an end-of-bitmap code
    while (pos + 2 <= size && line < rows) {
        const uint8_t count = data[pos];
        const uint8_t value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i) {
                put(isRLE8 ? value : uint8_t((i & 1) != 0 ? value & 0x0F : value >> 4));
            }
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++line;
        } else if (value == 1) { // end of bitmap
            ended = true;
            break;
        } else if (value == 2) { // delta
            if (pos + 2 > size) {
                break;
            }
            x += data[pos];
            line += data[pos + 1];
            pos += 2;
        } else { // absolute run of `value` pixels, padded to a 16-bit boundary
            const size_t bytes = isRLE8 ? value : (size_t(value) + 1) / 2;
            if (pos + bytes > size) {
                break;
            }
            for (unsigned i = 0; i < value; ++i) {
                const uint8_t byte = data[pos + (isRLE8 ? i : i / 2)];
                put(isRLE8 ? byte : uint8_t((i & 1) != 0 ? byte & 0x0F : byte >> 4));
            }
            pos += bytes + (bytes & 1);
        }
    }
    if (rowsUnreached != nullptr) {
        // The row in hand counts as reached once its last pixel is.
        const int64_t reached = std::min<int64_t>(line + (x >= width ? 1 : 0), rows);
        *rowsUnreached = ended ? 0 : rows - reached;
    }
    return image;
}

} // namespace kapto
