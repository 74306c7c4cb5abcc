#pragma once
// The codec's only door to zlib: owned deflate and inflate streams and the PNG CRC-32.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kapto {

// zlib result codes the codec tells apart.
constexpr int kZlibOK = 0;
constexpr int kZlibStreamEnd = 1;
constexpr int kZlibNeedDictionary = 2;
constexpr int kZlibStreamError = -2;
constexpr int kZlibMemoryError = -4;
constexpr int kZlibBufferError = -5;

// CRC-32 of the PNG standard (ISO 3309 polynomial, reflected), continued from crc over the
// bytes; start with 0.
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size);

// Adler-32 of the zlib format, continued from adler over the bytes; start with 1.
uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t size);

// The two header bytes of a zlib stream written at the level (32 KiB window, no dictionary).
uint16_t ZlibHeader(int level);

// One piece of a zlib stream's deflate data, compressed on its own: raw deflate at the level
// with a 32 KiB window, primed with the bytes before the piece as dictionary, ended on a byte
// boundary (a sync flush) so pieces can be joined, or with the final block for the last piece.
// Raises EPNGZLIBError with the compression message.
std::vector<uint8_t> DeflateSegment(const uint8_t* data, size_t size, const uint8_t* dictionary,
                                    size_t dictionarySize, int level, bool last);

// Lets more deflate data follow a complete raw deflate stream, as if it had been ended by a
// sync flush instead of a final block: the final-block bit of its last block is cleared and an
// empty stored block appended, so the piece ends on a byte boundary. Finding the last block
// means inflating the whole stream once, stopping at each block boundary, which costs a small
// fraction of compressing it. The stream must inflate to exactly inflatedSize bytes and end
// with the data; otherwise raises EPNGZLIBError with the compression message.
void ReopenRawDeflate(std::vector<uint8_t>& stream, size_t inflatedSize);

// A zlib deflate stream (windowBits 15, memLevel 8, default strategy) that owns its state.
// Every zlib failure raises EPNGZLIBError with the compression message.
class TDeflateStream
{
public:
    // Level 0..9; any other level raises.
    explicit TDeflateStream(int level);
    ~TDeflateStream();
    TDeflateStream(const TDeflateStream&) = delete;
    TDeflateStream& operator=(const TDeflateStream&) = delete;

    // Takes the next bytes to compress; they must stay valid while InputLeft() is above 0.
    void SetInput(const uint8_t* data, size_t size);
    size_t InputLeft() const;

    // Compresses pending input into [output, output + space) without flushing, or, with
    // finish, ends the stream. Returns the bytes produced; ended tells whether the whole
    // stream, trailer included, has been produced.
    size_t Deflate(uint8_t* output, size_t space, bool finish, bool& ended);

private:
    struct TState;
    std::unique_ptr<TState> m_state;
};

// A zlib inflate stream with zlib's defaults (inflateInit) that owns its state. Callers decide
// what a failed result means: image data raises, compressed text is dropped.
class TInflateStream
{
public:
    // Raises EPNGZLIBError with the decompression message when zlib cannot start.
    TInflateStream();
    ~TInflateStream();
    TInflateStream(const TInflateStream&) = delete;
    TInflateStream& operator=(const TInflateStream&) = delete;

    // Takes the next compressed bytes; they must stay valid while InputLeft() is above 0.
    void SetInput(const uint8_t* data, size_t size);
    size_t InputLeft() const;

    // Decompresses pending input into [output, output + space) without flushing; produced is
    // the number of bytes written there, never more than space. Returns zlib's result code:
    // kZlibOK, kZlibStreamEnd once the stream and its checksum are complete, or a failure.
    int Inflate(uint8_t* output, size_t space, size_t& produced);

private:
    struct TState;
    std::unique_ptr<TState> m_state;
};

} // namespace kapto
