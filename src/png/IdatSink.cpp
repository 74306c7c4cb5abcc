// The serial image data sink: one zlib stream deflated as the rows come, written as IDAT
// chunks; the framing of chunks, and the choice of sink.
#include "png/ImageDataSinks.h"

#include "png/Zlib.h"
#include "runtime/Bytes.h"
#include "runtime/Stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kapto {

// Length, type, data and the CRC over type and data.
void WriteFramedChunk(TStream& stream, const TChunkType& type, const uint8_t* data, uint32_t size)
{
    uint8_t prefix[8];
    PutUInt32BE(prefix, size);
    std::memcpy(prefix + 4, type.data(), type.size());
    stream.WriteBuffer(prefix, sizeof(prefix));
    if (size > 0) {
        stream.WriteBuffer(data, size);
    }
    uint8_t crc[4];
    PutUInt32BE(crc, Crc32(Crc32(0, type.data(), type.size()), data, size));
    stream.WriteBuffer(crc, sizeof(crc));
}

void TIdatChunker::Emit(const uint8_t* data, size_t size)
{
    while (size > 0) {
        const size_t take = std::min(m_splitSize - m_chunk.size(), size);
        m_chunk.insert(m_chunk.end(), data, data + take);
        data += take;
        size -= take;
        if (m_chunk.size() == m_splitSize) {
            WriteFramedChunk(m_stream, MakeChunkType("IDAT"), m_chunk.data(),
                             uint32_t(m_chunk.size()));
            m_chunk.clear();
        }
    }
}

void TIdatChunker::Finish(uint32_t adler)
{
    uint8_t trailer[4];
    PutUInt32BE(trailer, adler);
    Emit(trailer, sizeof(trailer));
    if (!m_chunk.empty()) {
        WriteFramedChunk(m_stream, MakeChunkType("IDAT"), m_chunk.data(), uint32_t(m_chunk.size()));
        m_chunk.clear();
    }
}

namespace {

// Deflates the filtered rows as they come; only one chunk's worth of compressed data is held
// at a time.
class TIdatSink : public TImageDataSink
{
public:
    TIdatSink(TStream& stream, size_t splitSize, int level)
        : m_stream(stream), m_splitSize(splitSize), m_deflate(level)
    {}

    void Feed(const uint8_t* data, size_t size) override
    {
        m_deflate.SetInput(data, size);
        while (m_deflate.InputLeft() > 0) {
            Step(false);
        }
    }

    void Finish() override
    {
        while (!Step(true)) {
        }
        if (m_filled > 0) {
            EmitChunk();
        }
    }

private:
    // Room to grow into before the first chunk is full: a split size far above the default
    // must not reserve memory the image's compressed data never fills.
    static constexpr size_t kFirstBufferSize = size_t(1) << 20;

    bool Step(bool finish)
    {
        if (m_filled == m_splitSize) {
            EmitChunk();
        }
        if (m_filled == m_buffer.size()) {
            const size_t grown = std::max(kFirstBufferSize, m_buffer.size() * 2);
            m_buffer.resize(std::min(m_splitSize, grown));
        }
        bool ended = false;
        m_filled += m_deflate.Deflate(m_buffer.data() + m_filled, m_buffer.size() - m_filled,
                                      finish, ended);
        return ended;
    }

    void EmitChunk()
    {
        WriteFramedChunk(m_stream, MakeChunkType("IDAT"), m_buffer.data(), uint32_t(m_filled));
        m_filled = 0;
    }

    TStream& m_stream;
    size_t m_splitSize;
    TDeflateStream m_deflate;
    std::vector<uint8_t> m_buffer;
    size_t m_filled = 0;
};

} // namespace

std::unique_ptr<TImageDataSink> MakeImageDataSink(TStream& stream, size_t splitSize,
                                                  TDeflateProfile profile, int level, int threads)
{
    if (profile == TDeflateProfile::Fast) {
        return MakeFastIdatSink(stream, splitSize, threads);
    }
    if (threads > 1) {
        return MakeParallelIdatSink(stream, splitSize, level, threads);
    }
    return std::make_unique<TIdatSink>(stream, splitSize, level);
}

} // namespace kapto
