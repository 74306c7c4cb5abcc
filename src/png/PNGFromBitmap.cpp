// A bitmap's picture as a PNG image, and the pixel and transparency operations the
// converter applies to it before it is written.

#include "platform/RasterOps.h"
#include "png/PNGErrors.h"
#include "png/PNGObject.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kapto {

namespace {

// Bits of the field that holds one index or grey sample of an indexed picture.
unsigned FieldBits(const TChunkIHDR& header)
{
    return std::min<unsigned>(header.DIBBitCount(), 8);
}

unsigned ReadField(const uint8_t* row, int32_t x, unsigned bits)
{
    const unsigned perByte = 8 / bits;
    const unsigned shift = 8 - bits - bits * (unsigned(x) % perByte);
    return (row[unsigned(x) / perByte] >> shift) & ((1u << bits) - 1);
}

void WriteField(uint8_t* row, int32_t x, unsigned bits, unsigned value)
{
    const unsigned perByte = 8 / bits;
    const unsigned shift = 8 - bits - bits * (unsigned(x) % perByte);
    const unsigned mask = ((1u << bits) - 1) << shift;
    uint8_t& byte = row[unsigned(x) / perByte];
    byte = uint8_t((byte & ~mask) | ((value << shift) & mask));
}

} // namespace

void TPNGObject::AssignBitmapHandle(const HBITMAP& handle, bool transparent, TColor key)
{
    const TDIBSection description = handle != nullptr ? DescribeImage(*handle) : TDIBSection{};
    const uint32_t width = uint32_t(std::max(description.Bm.Width, 0));
    const uint32_t height = uint32_t(std::abs(description.Bm.Height));
    const unsigned bitsPerPixel = description.Bm.BitsPixel;
    const bool indexed = bitsPerPixel < 16;

    Clear();
    auto* header = m_chunks.Add(std::make_unique<TChunkIHDR>(*this));
    header->Width = width;
    header->Height = height;
    header->BitDepth = uint8_t(indexed ? bitsPerPixel : 8);
    header->ColorType = indexed ? COLOR_PALETTE : COLOR_RGB;
    header->AllocateImage();

    if (indexed) {
        // Indices are copied as they are, with the colour table padded to 2^bits entries.
        std::vector<TRGBQuad> colors = handle->ColorTable();
        colors.resize(size_t(1) << bitsPerPixel);
        header->SetColorTable(colors);
        const size_t rowBytes = (size_t(width) * bitsPerPixel + 7) / 8;
        for (uint32_t y = 0; y < height; ++y) {
            std::memcpy(header->PixelRow(y), handle->Row(int32_t(y)), rowBytes);
        }
    } else if (bitsPerPixel == 24 && handle->Kind() == TImageKind::DIB) {
        for (uint32_t y = 0; y < height; ++y) {
            std::memcpy(header->PixelRow(y), handle->Row(int32_t(y)), size_t(width) * 3);
        }
    } else {
        // Other depths through their masks or colour table; a 32-bit pixel's fourth byte
        // carries no colour and is dropped.
        TRowReader reader(*handle);
        std::vector<TRGBQuad> row(width);
        for (uint32_t y = 0; y < height; ++y) {
            reader.Read(int32_t(y), 0, int32_t(width), row.data());
            uint8_t* out = header->PixelRow(y);
            for (uint32_t x = 0; x < width; ++x) {
                out[3 * x] = row[x].Blue;
                out[3 * x + 1] = row[x].Green;
                out[3 * x + 2] = row[x].Red;
            }
        }
    }

    TChunkPLTE* palette = nullptr;
    if (indexed) {
        palette = m_chunks.Add(std::make_unique<TChunkPLTE>(*this));
    }
    TChunktRNS* transparency = nullptr;
    if (transparent) {
        transparency = m_chunks.Add(std::make_unique<TChunktRNS>(*this));
    }
    m_chunks.Add(std::make_unique<TChunkIDAT>(*this));
    m_chunks.Add(std::make_unique<TChunkIEND>(*this));
    if (palette != nullptr) {
        palette->EntryCount = 1u << bitsPerPixel;
        std::vector<TPaletteEntry> entries;
        for (uint32_t i = 0; i < palette->EntryCount; ++i) {
            const TRGBQuad& c = header->DibInfo().Colors[i];
            entries.push_back({c.Red, c.Green, c.Blue, 0});
        }
        header->ApplyPalette(std::make_shared<const TPalette>(std::move(entries)), false);
    }
    if (transparency != nullptr) {
        transparency->SetKeyColor(key);
    }
}

void TPNGObject::AddAlphaChannel()
{
    TChunkIHDR& header = Header();
    switch (header.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_RGB:
        header.ColorType =
            header.ColorType == COLOR_GRAYSCALE ? COLOR_GRAYSCALEALPHA : COLOR_RGBALPHA;
        header.AllocateAlphaPlane();
        break;
    case COLOR_PALETTE: {
        auto* transparency = m_chunks.FindChunk<TChunktRNS>();
        if (transparency == nullptr) {
            transparency = m_chunks.AddChunkOfClass<TChunktRNS>();
        }
        transparency->ResizePayload(256);
        transparency->AlphaValues.fill(255);
        transparency->ResizePayload(1u << std::min<unsigned>(header.BitDepth, 8));
        transparency->SingleKey = false;
        break;
    }
    default:
        break;
    }
}

void TPNGObject::SetTransparentKey(TColor color)
{
    if (!HasHeader()) {
        return;
    }
    const uint8_t colorType = Header().ColorType;
    if (colorType == COLOR_GRAYSCALEALPHA || colorType == COLOR_RGBALPHA) {
        RaisePNG<EPNGCannotChangeTransparent>(TPNGMessage::CannotChangeTransparent);
    }
    if (colorType != COLOR_GRAYSCALE && colorType != COLOR_RGB && colorType != COLOR_PALETTE) {
        return;
    }
    auto* transparency = m_chunks.FindChunk<TChunktRNS>();
    if (transparency == nullptr) {
        transparency = m_chunks.AddChunkOfClass<TChunktRNS>();
    }
    transparency->SetKeyColor(ResolveColor(color));
}

void TPNGObject::RemoveTransparentKey()
{
    if (!HasHeader() ||
        (Header().ColorType != COLOR_GRAYSCALE && Header().ColorType != COLOR_RGB)) {
        return;
    }
    const int index = m_chunks.IndexOf(m_chunks.FindChunk<TChunktRNS>());
    if (index >= 0) {
        m_chunks.Delete(size_t(index));
    }
}

void TChunktRNS::SetKeyColor(TColor color)
{
    TChunkIHDR& header = HeaderChunk();
    header.SetKeyPixels(nullptr);
    AlphaValues.fill(0);
    SingleKey = true;
    switch (header.ColorType) {
    case COLOR_GRAYSCALE:
        ResizePayload(2);
        AlphaValues[1] = RedOf(color);
        break;
    case COLOR_RGB:
        ResizePayload(6);
        AlphaValues[1] = RedOf(color);
        AlphaValues[3] = GreenOf(color);
        AlphaValues[5] = BlueOf(color);
        break;
    case COLOR_PALETTE: {
        const uint32_t count = std::min<uint32_t>(header.PaletteCount(), 256);
        uint32_t k = 0;
        while (k < count) {
            const TRGBQuad& entry = header.DibInfo().Colors[k];
            if (entry.Red == RedOf(color) && entry.Green == GreenOf(color) &&
                entry.Blue == BlueOf(color)) {
                break;
            }
            ++k;
        }
        if (k == count) {
            // No entry has the colour: nothing is transparent, and the chunk never claims
            // more entries than the palette has.
            std::fill(AlphaValues.begin(), AlphaValues.begin() + count, uint8_t(255));
            ResizePayload(count);
            break;
        }
        std::fill(AlphaValues.begin(), AlphaValues.begin() + k, uint8_t(255));
        ResizePayload(k + 1);
        break;
    }
    default:
        break;
    }
}

void TPNGObject::MarkTransparentPixels(const TPixelMask& pixels)
{
    if (!HasHeader() || !Header().HasImage() || Header().ColorType != COLOR_RGB ||
        Header().BitDepth != 8 || pixels.Width() != Header().Width ||
        pixels.Height() != Header().Height) {
        return;
    }
    const uint32_t width = Header().Width;
    const uint32_t height = Header().Height;
    // The colours of the opaque pixels, one bit each of the 2^24.
    std::vector<uint64_t> taken(size_t(1) << 18);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = PixelRow(y);
        for (uint32_t x = 0; x < width; ++x) {
            if (!pixels.Contains(x, y)) {
                const uint32_t c = RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                taken[c >> 6] |= uint64_t(1) << (c & 63);
            }
        }
    }
    const auto* transparency = m_chunks.FindChunk<TChunktRNS>();
    uint32_t key = transparency != nullptr ? uint32_t(ResolveColor(TransparentKeyColor())) : 0;
    uint32_t tried = 0;
    while (tried < (1u << 24) && ((taken[key >> 6] >> (key & 63)) & 1) != 0) {
        key = (key + 1) & 0xFFFFFF;
        ++tried;
    }
    if (tried == (1u << 24)) {
        RemoveTransparentKey();
        AddAlphaChannel();
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* alpha = AlphaRow(y);
            for (uint32_t x = 0; x < width; ++x) {
                alpha[x] = pixels.Contains(x, y) ? 0 : 255;
            }
        }
        return;
    }
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = PixelRow(y);
        for (uint32_t x = 0; x < width; ++x) {
            if (pixels.Contains(x, y)) {
                row[3 * x] = BlueOf(TColor(key));
                row[3 * x + 1] = GreenOf(TColor(key));
                row[3 * x + 2] = RedOf(TColor(key));
            }
        }
    }
    SetTransparentKey(TColor(key));
}

TColor TPNGObject::GetPixel(int32_t x, int32_t y) const
{
    if (!HasHeader()) {
        return 0;
    }
    const TChunkIHDR& header = Header();
    if (x < 0 || y < 0 || uint32_t(x) >= header.Width || uint32_t(y) >= header.Height ||
        !header.HasImage()) {
        return 0;
    }
    const uint8_t* row = header.PixelRow(uint32_t(y));
    switch (header.ColorType) {
    case COLOR_PALETTE: {
        const unsigned index = ReadField(row, x, FieldBits(header));
        const auto* palette = m_chunks.FindChunk<TChunkPLTE>();
        if (palette == nullptr || index >= palette->EntryCount || index >= 256) {
            return 0;
        }
        const TRGBQuad& entry = header.DibInfo().Colors[index];
        return RGBColor(m_gammaLUT[entry.Red], m_gammaLUT[entry.Green], m_gammaLUT[entry.Blue]);
    }
    case COLOR_GRAYSCALE: {
        const unsigned bits = FieldBits(header);
        const unsigned value = ReadField(row, x, bits);
        // The sample widened to 8 bits: 0 and the largest value map to 0 and 255 at every
        // depth, 2 bits included (held in 4-bit fields).
        const unsigned depth = std::min<unsigned>(header.BitDepth, 8);
        const unsigned maximum = (1u << depth) - 1;
        const uint8_t gray = m_gammaLUT[uint8_t(std::min(value, maximum) * 255 / maximum)];
        return RGBColor(gray, gray, gray);
    }
    case COLOR_GRAYSCALEALPHA:
        return RGBColor(row[x], row[x], row[x]);
    case COLOR_RGB:
    case COLOR_RGBALPHA:
        return RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    default:
        return 0;
    }
}

void TPNGObject::SetPixel(int32_t x, int32_t y, TColor color)
{
    if (!HasHeader()) {
        return;
    }
    const TChunkIHDR& header = Header();
    if (x < 0 || y < 0 || uint32_t(x) >= header.Width || uint32_t(y) >= header.Height ||
        !header.HasImage()) {
        return;
    }
    const TColor rgb = ResolveColor(color);
    Header().SetKeyPixels(nullptr);
    uint8_t* row = header.PixelRow(uint32_t(y));
    switch (header.ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_PALETTE: {
        const HPALETTE& palette = header.PaletteHandle();
        const unsigned index = palette != nullptr ? unsigned(palette->NearestIndex(rgb)) : 0;
        WriteField(row, x, FieldBits(header), index);
        break;
    }
    case COLOR_GRAYSCALEALPHA:
        row[x] = RedOf(rgb);
        break;
    case COLOR_RGB:
    case COLOR_RGBALPHA:
        row[3 * x + 2] = RedOf(rgb);
        row[3 * x + 1] = GreenOf(rgb);
        row[3 * x] = BlueOf(rgb);
        break;
    default:
        break;
    }
}

} // namespace kapto
