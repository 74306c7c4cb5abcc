// The header chunk's picture: allocation for every colour type and bit depth, resizing,
// palettes and row addressing.
#include "png/Chunks.h"

#include "png/PNGErrors.h"
#include "png/PNGFormats.h"
#include "png/PNGObject.h"
#include "png/PNGRows.h"
#include "runtime/Assert.h"
#include "runtime/Checked.h"

#include <algorithm>
#include <cstring>

namespace kapto {

uint16_t PictureBitCount(uint8_t colorType, uint8_t bitDepth)
{
    return PNGFormat(colorType, bitDepth).PictureBitCount;
}

namespace {

bool HasAlphaPlane(uint8_t colorType)
{
    return colorType == COLOR_GRAYSCALEALPHA || colorType == COLOR_RGBALPHA;
}

// A zeroed buffer of count bytes, or EPNGOutMemory.
TPixelBuffer AllocateBuffer(uint64_t count)
{
    TPixelBuffer buffer;
    if (count > ImageByteLimit() || !buffer.Allocate(size_t(count))) {
        RaisePNG<EPNGOutMemory>(TPNGMessage::OutOfResources);
    }
    return buffer;
}

// An alpha plane of width x height bytes, top-down without padding, filled with one value.
TPixelBuffer AlphaPlane(uint32_t width, uint32_t height, uint8_t fill)
{
    uint64_t count = 0;
    if (!CheckedMul(width, height, count)) {
        RaisePNG<EPNGOutMemory>(TPNGMessage::OutOfResources);
    }
    TPixelBuffer plane = AllocateBuffer(count);
    if (fill != 0) {
        std::memset(plane.Data(), fill, size_t(count));
    }
    return plane;
}

std::vector<TRGBQuad> UsedColors(const TDibInfo& info)
{
    const size_t count = std::min<size_t>(info.Header.ClrUsed, info.Colors.size());
    return std::vector<TRGBQuad>(info.Colors.begin(), info.Colors.begin() + std::ptrdiff_t(count));
}

// The palette an indexed picture starts with: the halftone palette for colour type 3, else a
// gray ramp of 2^bitDepth levels (256 for 16 bits) through the gamma table; either cut or
// padded with black to tableSize entries.
HPALETTE StartPalette(uint8_t colorType, uint8_t bitDepth, const TGammaTable& gamma,
                      size_t tableSize)
{
    std::vector<TPaletteEntry> entries;
    if (colorType == COLOR_PALETTE) {
        entries = CreateHalftonePalette()->Entries();
    } else {
        const unsigned levels = bitDepth >= 8 ? 256 : 1u << bitDepth;
        for (unsigned i = 0; i < levels; ++i) {
            const uint8_t gray = gamma[(i * 255 + (levels - 1) / 2) / (levels - 1)];
            entries.push_back(TPaletteEntry{gray, gray, gray, 0});
        }
    }
    entries.resize(tableSize);
    return std::make_shared<const TPalette>(std::move(entries));
}

} // namespace

void TChunkIHDR::AllocateImage()
{
    const uint16_t bitCount = PictureBitCount(ColorType, BitDepth);
    if (bitCount == 0 || Width == 0 || Height == 0) {
        RaisePNG<EPngInvalidIHDR>(TPNGMessage::InvalidIHDR);
    }
    uint64_t pixelBytes = 0;
    if (!ImageBufferSize(int64_t(Width), int64_t(Height), bitCount, pixelBytes)) {
        RaisePNG<EPNGOutMemory>(TPNGMessage::OutOfResources);
    }

    TDibInfo info;
    info.Header.Size = 40;
    info.Header.Width = int32_t(Width);
    info.Header.Height = int32_t(Height); // positive: rows stored bottom-up
    info.Header.Planes = 1;
    info.Header.BitCount = bitCount;
    info.Header.Compression = kCompressionNone;
    const bool indexed = bitCount <= 8;
    HPALETTE palette;
    if (indexed) {
        const size_t tableSize = size_t(1) << bitCount;
        palette = StartPalette(ColorType, BitDepth, Owner().GammaLUT(), tableSize);
        const std::vector<TRGBQuad> colors = ColorTableFromPalette(*palette);
        std::copy(colors.begin(), colors.end(), info.Colors.begin());
        info.Header.ClrUsed = uint32_t(tableSize);
    }

    HBITMAP image = CreateDIBSection(info.Header, UsedColors(info), nullptr);
    if (image == nullptr) {
        RaisePNG<EPNGOutMemory>(TPNGMessage::OutOfResources);
    }
    TPixelBuffer alpha = HasAlphaPlane(ColorType) ? AlphaPlane(Width, Height, 0) : TPixelBuffer();
    TPixelBuffer lowBytes = BitDepth == 16 ? AllocateBuffer(pixelBytes) : TPixelBuffer();

    m_image = std::move(image);
    m_palette = std::move(palette);
    m_hasIndexedDib = indexed;
    m_dibInfo = info;
    m_alpha = std::move(alpha);
    m_lowBytes = std::move(lowBytes);
    m_keyPixels.reset();
    m_rowStride = uint32_t(m_image->Stride());
}

void TChunkIHDR::AllocateAlphaPlane()
{
    if (m_image == nullptr) {
        RaisePNG<EPNGHeaderNotPresent>(TPNGMessage::HeaderNotPresent);
    }
    m_alpha = AlphaPlane(uint32_t(m_image->Width()), uint32_t(m_image->Height()), 255);
}

void TChunkIHDR::ResizeImage(int32_t width, int32_t height)
{
    if (width < 1 || height < 1) {
        RaisePNG<EPNGInvalidNewSize>(TPNGMessage::InvalidNewSize);
    }
    if (m_image == nullptr) {
        RaisePNG<EPNGHeaderNotPresent>(TPNGMessage::HeaderNotPresent);
    }
    TDibInfo info = m_dibInfo;
    info.Header.Width = width;
    info.Header.Height = height;
    HBITMAP image = CreateDIBSection(info.Header, UsedColors(info), nullptr);
    if (image == nullptr) {
        RaisePNG<EPNGOutMemory>(TPNGMessage::OutOfResources);
    }
    const uint32_t oldWidth = uint32_t(m_image->Width());
    const uint32_t commonWidth = std::min(oldWidth, uint32_t(width));
    const uint32_t commonRows = std::min(uint32_t(m_image->Height()), uint32_t(height));
    const size_t commonStride = std::min(m_image->Stride(), image->Stride());

    TPixelBuffer alpha;
    if (HasAlphaPlane(ColorType)) {
        alpha = AlphaPlane(uint32_t(width), uint32_t(height), 255);
        for (uint32_t y = 0; m_alpha.Data() != nullptr && y < commonRows; ++y) {
            std::memcpy(alpha.Data() + size_t(y) * uint32_t(width),
                        m_alpha.Data() + size_t(y) * oldWidth, commonWidth);
        }
    }
    TPixelBuffer lowBytes;
    if (m_lowBytes.Data() != nullptr) {
        // The low bytes keep the layout of the pixel rows.
        lowBytes = AllocateBuffer(image->BufferSize());
    }
    for (uint32_t y = 0; y < commonRows; ++y) {
        std::memcpy(image->Row(int32_t(y)), m_image->Row(int32_t(y)), commonStride);
        if (lowBytes.Data() != nullptr) {
            const size_t newOffset = size_t(height - 1 - int32_t(y)) * image->Stride();
            const size_t oldOffset = size_t(m_image->Height() - 1 - int32_t(y)) * m_rowStride;
            std::memcpy(lowBytes.Data() + newOffset, m_lowBytes.Data() + oldOffset, commonStride);
        }
    }

    m_image = std::move(image);
    m_alpha = std::move(alpha);
    m_lowBytes = std::move(lowBytes);
    m_keyPixels.reset();
    m_dibInfo = info;
    m_rowStride = uint32_t(m_image->Stride());
    Width = uint32_t(width);
    Height = uint32_t(height);
}

void TChunkIHDR::SetColorTable(const std::vector<TRGBQuad>& colors)
{
    const size_t count = std::min(colors.size(), m_dibInfo.Colors.size());
    std::copy(colors.begin(), colors.begin() + std::ptrdiff_t(count), m_dibInfo.Colors.begin());
    m_dibInfo.Header.ClrUsed = uint32_t(count);
    if (m_image != nullptr) {
        m_image->SetColorTable(UsedColors(m_dibInfo));
    }
}

void TChunkIHDR::ApplyPalette(HPALETTE palette, bool copyEntries)
{
    if (!m_hasIndexedDib) {
        return;
    }
    if (copyEntries && palette != nullptr) {
        SetColorTable(ColorTableFromPalette(*palette));
    }
    m_palette = std::move(palette);
}

uint8_t* TChunkIHDR::PixelRow(uint32_t y) const
{
    KAPTO_ASSERT(m_image != nullptr && y < uint32_t(m_image->Height()));
    return m_image->Row(int32_t(y));
}

uint8_t* TChunkIHDR::LowByteRow(uint32_t y) const
{
    if (m_lowBytes.Data() == nullptr) {
        return nullptr;
    }
    KAPTO_ASSERT(m_image != nullptr && y < uint32_t(m_image->Height()));
    return m_lowBytes.Data() + size_t(uint32_t(m_image->Height()) - 1 - y) * m_rowStride;
}

uint8_t* TChunkIHDR::AlphaRow(uint32_t y) const
{
    if (!HasAlphaPlane(ColorType) || m_alpha.Data() == nullptr) {
        return nullptr;
    }
    KAPTO_ASSERT(m_image != nullptr && y < uint32_t(m_image->Height()));
    return m_alpha.Data() + size_t(y) * uint32_t(m_image->Width());
}

void TChunkIHDR::CopyChunk(const TChunk& source)
{
    RequireCompatible(source);
    TChunk::CopyChunk(source);
    const auto& header = static_cast<const TChunkIHDR&>(source);
    Width = header.Width;
    Height = header.Height;
    BitDepth = header.BitDepth;
    ColorType = header.ColorType;
    CompressionMethod = header.CompressionMethod;
    FilterMethod = header.FilterMethod;
    InterlaceMethod = header.InterlaceMethod;
    if (!header.HasImage()) {
        return;
    }
    AllocateImage();
    // The source picture may have been made before its fields changed; copy what both hold.
    std::memcpy(m_image->Bits(), header.m_image->Bits(),
                std::min(m_image->BufferSize(), header.m_image->BufferSize()));
    if (m_alpha.Data() != nullptr && header.m_alpha.Data() != nullptr) {
        std::memcpy(m_alpha.Data(), header.m_alpha.Data(),
                    std::min(m_alpha.Size(), header.m_alpha.Size()));
    }
    if (m_lowBytes.Data() != nullptr && header.m_lowBytes.Data() != nullptr) {
        std::memcpy(m_lowBytes.Data(), header.m_lowBytes.Data(),
                    std::min(m_lowBytes.Size(), header.m_lowBytes.Size()));
    }
    m_keyPixels = header.m_keyPixels;
    m_dibInfo.Colors = header.m_dibInfo.Colors;
    if (m_hasIndexedDib) {
        m_dibInfo.Header.ClrUsed = header.m_dibInfo.Header.ClrUsed;
        m_image->SetColorTable(UsedColors(m_dibInfo));
        m_palette = header.m_palette;
    }
}

} // namespace kapto
