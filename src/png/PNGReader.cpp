// PNG reading after ISO/IEC 15948: the signature, the chunk loop with its CRC checks, and the
// decoding of every chunk class but IDAT (PNGImageDataReader.cpp).
#include "platform/MemoryBudget.h"
#include "png/Chunks.h"
#include "png/PNGErrors.h"
#include "png/PNGInput.h"
#include "png/PNGObject.h"
#include "png/PNGRows.h"
#include "png/Zlib.h"
#include "runtime/Stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace kapto {

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// The largest width or height the codec accepts.
constexpr uint32_t kMaxSide = 65535;

bool IsType(const TChunkType& type, const char (&name)[5])
{
    return type == MakeChunkType(name);
}

// Bit 5 of the first type byte clear (an uppercase letter) marks a chunk a reader must know.
bool IsCritical(const TChunkType& type)
{
    return (type[0] & 0x20) == 0;
}

// Moves past a chunk's data and CRC without looking at them; a chunk running past the end
// leaves the stream at its end, where the next chunk head is found missing.
void SkipChunk(TStream& stream, uint32_t size)
{
    const uint64_t skip = std::min<uint64_t>(uint64_t(size) + 4, stream.Remaining());
    stream.Seek(int64_t(skip), TSeekOrigin::Current);
}

// Inflates one zlib stream into text; false when the data is not one complete stream or the
// text would exceed kMaxInflatedTextSize.
bool InflateText(const uint8_t* data, size_t size, std::string& text)
{
    TInflateStream inflate;
    inflate.SetInput(data, size);
    std::vector<uint8_t> buffer(std::min<size_t>(kMaxInflatedTextSize, 4096));
    std::string result;
    for (;;) {
        size_t produced = 0;
        const int code = inflate.Inflate(buffer.data(), buffer.size(), produced);
        if (result.size() + produced > kMaxInflatedTextSize) {
            return false;
        }
        result.append(reinterpret_cast<const char*>(buffer.data()), produced);
        if (code == kZlibStreamEnd) {
            text = std::move(result);
            return true;
        }
        if (code != kZlibOK) {
            return false;
        }
        if (produced == 0 && inflate.InputLeft() == 0) {
            return false; // the stream is cut short
        }
    }
}

// Moves past an ancillary chunk too large to keep, checking its CRC on the way; a chunk
// running past the end of the file raises EPngInvalidCRC as reading it would.
void PassOverChunk(TStream& stream, const TChunkHead& head)
{
    RequireChunkInStream(stream, head.Length);
    std::vector<uint8_t> block(65536);
    uint32_t crc = TypeCRC(head.Type);
    uint64_t left = head.Length;
    while (left > 0) {
        const size_t count = size_t(std::min<uint64_t>(left, block.size()));
        ReadChunkData(stream, block.data(), count);
        crc = Crc32(crc, block.data(), count);
        left -= count;
    }
    CheckChunkCRC(stream, crc);
}

} // namespace

void TPNGObject::LoadFromStream(TStream& stream)
{
    Clear();
    uint8_t signature[sizeof(kSignature)];
    if (stream.Read(signature, sizeof(signature)) != sizeof(signature) ||
        std::memcmp(signature, kSignature, sizeof(kSignature)) != 0) {
        RaisePNG<EPNGInvalidFileHeader>(TPNGMessage::InvalidFileHeader);
    }

    bool hasImageData = false;
    bool isFirst = true;
    for (;;) {
        const TChunkHead head = ReadChunkHead(stream);
        if (isFirst && !IsType(head.Type, "IHDR")) {
            RaisePNG<EPNGIHDRNotFirst>(TPNGMessage::IHDRNotFirst);
        }
        isFirst = false;
        const bool isEnd = IsType(head.Type, "IEND");
        // Chromaticities are not used; the image data is decoded once, from its first run of
        // IDAT chunks, so later IDAT chunks carry nothing more.
        if (IsType(head.Type, "cHRM") || (hasImageData && IsType(head.Type, "IDAT"))) {
            SkipChunk(stream, head.Length);
            continue;
        }
        if (!IsCritical(head.Type) && head.Length > kLargestKeptBlock) {
            PassOverChunk(stream, head);
            continue;
        }
        TChunk* chunk = m_chunks.Add(ChunkClassFor(*this, head.Type));
        if (&chunk->ChunkClass() == &TChunk::Class() && IsCritical(head.Type)) {
            RaisePNG<EPNGUnknownCriticalChunk>(TPNGMessage::UnknownCriticalChunk);
        }
        const bool read = chunk->ReadChunk(stream, head.Type, head.Length);
        if (&chunk->ChunkClass() == &TChunkIDAT::Class()) {
            hasImageData = true;
        }
        if (!read || isEnd) {
            break;
        }
    }
    if (!hasImageData) {
        RaisePNG<EPNGNoImageData>(TPNGMessage::NoImageData);
    }
}

bool TChunk::ReadChunk(TStream& stream, const TChunkType& type, uint32_t size)
{
    RequireChunkInStream(stream, size);
    ChargePixelMemory(size);
    ResizePayload(size);
    ReadChunkData(stream, Payload(), size);
    CheckChunkCRC(stream, Crc32(TypeCRC(type), Payload(), size));
    return true;
}

bool TChunkIHDR::ReadChunk(TStream& stream, const TChunkType& type, uint32_t size)
{
    TChunk::ReadChunk(stream, type, size);
    if (size < 13) {
        RaisePNG<EPngInvalidIHDR>(TPNGMessage::InvalidIHDR);
    }
    const uint8_t* data = Payload();
    Width = GetUInt32BE(data);
    Height = GetUInt32BE(data + 4);
    BitDepth = data[8];
    ColorType = data[9];
    CompressionMethod = data[10];
    FilterMethod = data[11];
    InterlaceMethod = data[12];
    if (Width > kMaxSide || Height > kMaxSide) {
        RaisePNG<EPNGSizeExceeds>(TPNGMessage::SizeExceeds);
    }
    if (CompressionMethod != 0) {
        RaisePNG<EPNGUnknownCompression>(TPNGMessage::UnknownCompression);
    }
    if (InterlaceMethod > 1) {
        RaisePNG<EPNGUnknownInterlace>(TPNGMessage::UnknownInterlace);
    }
    // An empty image or a pair outside the standard's table has no row layout to decode into.
    if (Width == 0 || Height == 0 || !IsStandardFormat(ColorType, BitDepth)) {
        RaisePNG<EPngInvalidIHDR>(TPNGMessage::InvalidIHDR);
    }
    Owner().SetWriteInterlace(InterlaceMethod);
    AllocateImage();
    return true;
}

bool TChunkPLTE::ReadChunk(TStream& stream, const TChunkType& type, uint32_t size)
{
    TChunk::ReadChunk(stream, type, size);
    if (size % 3 != 0 || size / 3 > 256) {
        RaisePNG<EPNGInvalidPalette>(TPNGMessage::InvalidPalette);
    }
    EntryCount = size / 3;
    const TGammaTable& gamma = Owner().GammaLUT();
    const uint8_t* data = Payload();
    std::vector<TPaletteEntry> entries(EntryCount);
    for (uint32_t i = 0; i < EntryCount; ++i) {
        entries[i] = {gamma[data[3 * i]], gamma[data[3 * i + 1]], gamma[data[3 * i + 2]], 0};
    }
    HeaderChunk().ApplyPalette(std::make_shared<const TPalette>(std::move(entries)), true);
    return true;
}

bool TChunktRNS::ReadChunk(TStream& stream, const TChunkType& type, uint32_t size)
{
    TChunk::ReadChunk(stream, type, size);
    if (size > AlphaValues.size()) {
        RaisePNG<EPNGInvalidPalette>(TPNGMessage::InvalidPalette);
    }
    AlphaValues.fill(255);
    std::copy(Payload(), Payload() + size, AlphaValues.begin());
    switch (HeaderChunk().ColorType) {
    case COLOR_GRAYSCALE:
    case COLOR_RGB:
        SingleKey = true;
        break;
    case COLOR_PALETTE: {
        // One key colour only when exactly one entry is fully transparent and all others
        // opaque; any other alpha values need blending. Entries beyond the palette (the
        // standard forbids them) describe no colour and are not looked at.
        const auto* palette = Owner().Chunks().FindChunk<TChunkPLTE>();
        const uint32_t count = palette != nullptr ? std::min(size, palette->EntryCount) : size;
        uint32_t transparent = 0;
        uint32_t opaque = 0;
        for (uint32_t i = 0; i < count; ++i) {
            transparent += AlphaValues[i] == 0 ? 1 : 0;
            opaque += AlphaValues[i] == 255 ? 1 : 0;
        }
        SingleKey = transparent == 1 && transparent + opaque == count;
        break;
    }
    default:
        SingleKey = false;
        break;
    }
    return true;
}

bool TChunkgAMA::ReadChunk(TStream& stream, const TChunkType& type, uint32_t size)
{
    TChunk::ReadChunk(stream, type, size);
    if (size != 4) {
        // A gamma value of another length is unreadable. It becomes 0, which changes nothing
        // here and which other readers ignore too, instead of a value that darkens the image.
        SetGamma(0);
        return true;
    }
    const uint32_t value = Gamma();
    if (value == 0) {
        return true;
    }
    // The file's samples are mapped to a display of gamma 2.2: g = value / 100000 * 2.2.
    const double exponent = 1.0 / (double(value) / 100000.0 * 2.2);
    TGammaTable& gamma = Owner().GammaLUT();
    TGammaTable& inverse = Owner().InverseGammaLUT();
    for (unsigned i = 0; i < 256; ++i) {
        // nearbyint rounds to nearest with ties to even in the default rounding mode.
        const double mapped = std::nearbyint(255.0 * std::pow(double(i) / 255.0, exponent));
        gamma[i] = uint8_t(std::clamp(mapped, 0.0, 255.0));
        inverse[gamma[i]] = uint8_t(i);
    }
    return true;
}

bool TChunkpHYs::ReadChunk(TStream& stream, const TChunkType& type, uint32_t size)
{
    TChunk::ReadChunk(stream, type, size);
    if (size == 9) {
        const uint8_t* data = Payload();
        PixelsPerUnitX = GetUInt32BE(data);
        PixelsPerUnitY = GetUInt32BE(data + 4);
        UnitSpecifier = data[8];
    }
    return true;
}

bool TChunktIME::ReadChunk(TStream& stream, const TChunkType& type, uint32_t size)
{
    TChunk::ReadChunk(stream, type, size);
    if (size == 7) {
        const uint8_t* data = Payload();
        Year = uint16_t(data[0] << 8 | data[1]);
        Month = data[2];
        Day = data[3];
        Hour = data[4];
        Minute = data[5];
        Second = data[6];
    }
    return true;
}

bool TChunktEXt::ReadChunk(TStream& stream, const TChunkType& type, uint32_t size)
{
    TChunk::ReadChunk(stream, type, size);
    if (size > 2) {
        const char* data = reinterpret_cast<const char*>(Payload());
        const size_t keywordLength = std::find(data, data + size, '\0') - data;
        Keyword.assign(data, keywordLength);
        if (keywordLength < size) {
            Text.assign(data + keywordLength + 1, size - keywordLength - 1);
        } else {
            Text.clear();
        }
    }
    return true;
}

bool TChunkzTXt::ReadChunk(TStream& stream, const TChunkType& type, uint32_t size)
{
    TChunktEXt::ReadChunk(stream, type, size);
    if (size > 3) {
        Text.clear();
        // Keyword, its 0, the compression method byte (taken as deflate), the zlib stream.
        const size_t start = Keyword.size() + 2;
        if (start < size) {
            std::string inflated;
            if (InflateText(Payload() + start, size - start, inflated)) {
                Text = std::move(inflated);
            }
        }
    }
    return true;
}

} // namespace kapto
