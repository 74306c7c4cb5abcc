#include "png/PNGTestFile.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

uint32_t PngCrc(const uint8_t* data, size_t size)
{
    return uint32_t(crc32(0, data, uInt(size)));
}

TBytes BigEndian32(uint32_t value)
{
    return {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
}

TBytes ChunkHead(uint32_t length, const std::string& type)
{
    TBytes bytes = BigEndian32(length);
    bytes.insert(bytes.end(), type.begin(), type.end());
    return bytes;
}

TBytes ChunkWithCrc(const std::string& type, const TBytes& data, uint32_t crc)
{
    TBytes bytes = ChunkHead(uint32_t(data.size()), type);
    bytes.insert(bytes.end(), data.begin(), data.end());
    const TBytes crcBytes = BigEndian32(crc);
    bytes.insert(bytes.end(), crcBytes.begin(), crcBytes.end());
    return bytes;
}

TBytes Chunk(const std::string& type, const TBytes& data)
{
    TBytes covered(type.begin(), type.end());
    covered.insert(covered.end(), data.begin(), data.end());
    return ChunkWithCrc(type, data, PngCrc(covered.data(), covered.size()));
}

TBytes PngFile(const std::vector<TBytes>& pieces)
{
    TBytes file = {137, 80, 78, 71, 13, 10, 26, 10};
    for (const TBytes& piece : pieces) {
        file.insert(file.end(), piece.begin(), piece.end());
    }
    return file;
}

TBytes IhdrData(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType,
                uint8_t compression, uint8_t filter, uint8_t interlace)
{
    TBytes data = BigEndian32(width);
    const TBytes h = BigEndian32(height);
    data.insert(data.end(), h.begin(), h.end());
    data.insert(data.end(), {bitDepth, colorType, compression, filter, interlace});
    return data;
}

TBytes Deflate(const TBytes& raw)
{
    uLongf size = compressBound(uLong(raw.size()));
    TBytes out(size);
    if (compress2(out.data(), &size, raw.data(), uLong(raw.size()), 6) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    out.resize(size);
    return out;
}

TBytes UnfilteredRows(const std::vector<TBytes>& rows)
{
    TBytes raw;
    for (const TBytes& row : rows) {
        raw.push_back(0);
        raw.insert(raw.end(), row.begin(), row.end());
    }
    return raw;
}

TBytes SimplePng(const TBytes& ihdrData, const std::vector<TBytes>& rows,
                 const std::vector<TBytes>& chunksBeforeData)
{
    std::vector<TBytes> pieces = {Chunk("IHDR", ihdrData)};
    pieces.insert(pieces.end(), chunksBeforeData.begin(), chunksBeforeData.end());
    pieces.push_back(Chunk("IDAT", Deflate(UnfilteredRows(rows))));
    pieces.push_back(Chunk("IEND", {}));
    return PngFile(pieces);
}

void RecomputeCrcs(TBytes& file)
{
    size_t position = 8;
    while (position + 12 <= file.size()) {
        const uint64_t length = uint64_t(file[position]) << 24 |
                                uint64_t(file[position + 1]) << 16 |
                                uint64_t(file[position + 2]) << 8 | file[position + 3];
        if (length > file.size() - position - 12) {
            break;
        }
        const TBytes crc = BigEndian32(PngCrc(file.data() + position + 4, size_t(length) + 4));
        std::copy(crc.begin(), crc.end(), file.begin() + std::ptrdiff_t(position + 8 + length));
        position += 12 + size_t(length);
    }
}
