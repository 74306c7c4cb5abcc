#include "png/PNGInput.h"

#include "png/PNGErrors.h"
#include "png/PNGFormats.h"
#include "png/PNGRows.h"
#include "png/Zlib.h"
#include "runtime/Stream.h"

#include <algorithm>

namespace kapto {

bool IsStandardFormat(uint8_t colorType, uint8_t bitDepth)
{
    return PNGFormat(colorType, bitDepth).Readable;
}

namespace {

TChunkHead HeadOf(const uint8_t (&bytes)[8])
{
    TChunkHead head;
    head.Length = GetUInt32BE(bytes);
    std::copy(bytes + 4, bytes + 8, head.Type.begin());
    return head;
}

// Reads up to count bytes, as many as the stream delivers.
size_t ReadSome(TStream& stream, uint8_t* buffer, size_t count)
{
    size_t got = 0;
    while (got < count) {
        const size_t step = stream.Read(buffer + got, count - got);
        if (step == 0) {
            break;
        }
        got += step;
    }
    return got;
}

} // namespace

TChunkHead ReadChunkHead(TStream& stream)
{
    uint8_t bytes[8];
    if (ReadSome(stream, bytes, sizeof(bytes)) != sizeof(bytes)) {
        RaisePNG<EPngUnexpectedEnd>(TPNGMessage::UnexpectedEnd);
    }
    return HeadOf(bytes);
}

bool TryReadChunkHead(TStream& stream, TChunkHead& head)
{
    uint8_t bytes[8];
    const size_t got = ReadSome(stream, bytes, sizeof(bytes));
    if (got != sizeof(bytes)) {
        stream.Seek(-int64_t(got), TSeekOrigin::Current);
        return false;
    }
    head = HeadOf(bytes);
    return true;
}

void RequireChunkInStream(TStream& stream, uint32_t size)
{
    if (uint64_t(size) + 4 > stream.Remaining()) {
        RaisePNG<EPngInvalidCRC>(TPNGMessage::InvalidCRC);
    }
}

void ReadChunkData(TStream& stream, uint8_t* data, size_t count)
{
    if (ReadSome(stream, data, count) != count) {
        RaisePNG<EPngInvalidCRC>(TPNGMessage::InvalidCRC);
    }
}

void CheckChunkCRC(TStream& stream, uint32_t crc)
{
    uint8_t bytes[4];
    if (ReadSome(stream, bytes, sizeof(bytes)) != sizeof(bytes) || GetUInt32BE(bytes) != crc) {
        RaisePNG<EPngInvalidCRC>(TPNGMessage::InvalidCRC);
    }
}

uint32_t TypeCRC(const TChunkType& type)
{
    return Crc32(0, type.data(), type.size());
}

} // namespace kapto
