#pragma once
// Where the filtered rows of a PNG picture go: one zlib stream, deflated on one thread, on
// several, or by the fast profile, cut into IDAT chunks as it is produced.

#include "png/PNGObject.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kapto {

class TStream;

// Length, type, data and the CRC over type and data.
void WriteFramedChunk(TStream& stream, const TChunkType& type, const uint8_t* data, uint32_t size);

// Takes the filtered rows in order and writes the zlib stream of them as IDAT chunks of
// exactly splitSize data bytes, but the last, which holds the rest.
class TImageDataSink
{
public:
    virtual ~TImageDataSink() = default;
    virtual void Feed(const uint8_t* data, size_t size) = 0;
    virtual void Finish() = 0;
};

// Cuts a zlib stream produced in pieces into IDAT chunks of exactly splitSize data bytes as
// the pieces come; the stream's end goes into the last, shorter chunk.
class TIdatChunker
{
public:
    TIdatChunker(TStream& stream, size_t splitSize) : m_stream(stream), m_splitSize(splitSize) {}

    void Emit(const uint8_t* data, size_t size);
    // Appends the Adler-32 of the data that closes the stream and writes the last chunk.
    void Finish(uint32_t adler);

private:
    TStream& m_stream;
    size_t m_splitSize;
    std::vector<uint8_t> m_chunk;
};

// The sink for a deflate profile, level and number of threads.
std::unique_ptr<TImageDataSink> MakeImageDataSink(TStream& stream, size_t splitSize,
                                                  TDeflateProfile profile, int level, int threads);

// The zlib stream deflated on several threads (ParallelIdatSink.cpp).
std::unique_ptr<TImageDataSink> MakeParallelIdatSink(TStream& stream, size_t splitSize, int level,
                                                     int threads);
// The fast profile (FastIdatSink.cpp).
std::unique_ptr<TImageDataSink> MakeFastIdatSink(TStream& stream, size_t splitSize, int threads);

} // namespace kapto
