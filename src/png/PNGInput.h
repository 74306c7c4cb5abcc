#pragma once
// Checked reads of PNG input (ISO/IEC 15948 clause 5): chunk heads, big-endian integers and
// CRCs. Every read delivers the bytes it asks for or raises the codec's exception.

#include "png/Chunks.h"
#include "runtime/Bytes.h"

#include <cstdint>

namespace kapto {

class TStream;

struct TChunkHead
{
    uint32_t Length = 0; // data bytes
    TChunkType Type{};
};

// Whether a colour type and bit depth pair is one of ISO/IEC 15948 table 11.1, the pairs the
// reader decodes.
bool IsStandardFormat(uint8_t colorType, uint8_t bitDepth);

// Reads a chunk's length and type. Raises EPngUnexpectedEnd when the stream ends before them.
TChunkHead ReadChunkHead(TStream& stream);
// Reads a chunk's length and type when all 8 bytes are there; otherwise returns false and
// leaves the position where it was.
bool TryReadChunkHead(TStream& stream, TChunkHead& head);

// Raises EPngInvalidCRC unless the data and the CRC of a chunk of size data bytes lie within
// what remains of the stream: a chunk running past the end cannot be verified, and nothing is
// reserved for a length the file does not hold.
void RequireChunkInStream(TStream& stream, uint32_t size);

// Reads count bytes of a chunk's data; a stream ending before them raises EPngInvalidCRC, as
// the chunk cannot be verified.
void ReadChunkData(TStream& stream, uint8_t* data, size_t count);

// Reads the CRC that follows a chunk's data and raises EPngInvalidCRC unless it equals crc,
// the CRC computed over the chunk's type and data.
void CheckChunkCRC(TStream& stream, uint32_t crc);

// The CRC of a chunk's type bytes, to be continued over its data.
uint32_t TypeCRC(const TChunkType& type);

} // namespace kapto
