#include "png/Zlib.h"

#include "png/PNGErrors.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace kapto {

namespace {

static_assert(kZlibOK == Z_OK && kZlibStreamEnd == Z_STREAM_END &&
                  kZlibNeedDictionary == Z_NEED_DICT && kZlibStreamError == Z_STREAM_ERROR &&
                  kZlibMemoryError == Z_MEM_ERROR && kZlibBufferError == Z_BUF_ERROR,
              "the codec's names of zlib result codes");

// zlib counts in uInt; larger buffers are handed over in slices of this size.
constexpr size_t kMaxSlice = std::numeric_limits<uInt>::max();

[[noreturn]] void RaiseCompressionError(int code)
{
    throw EPNGZLIBError(FormatZlibMessage(TPNGMessage::CompressionError, code));
}

} // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size)
{
    uLong value = crc;
    while (size > 0) {
        const size_t slice = std::min(size, kMaxSlice);
        value = crc32(value, data, uInt(slice));
        data += slice;
        size -= slice;
    }
    return uint32_t(value);
}

uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t size)
{
    while (size > 0) {
        const size_t slice = std::min(size, kMaxSlice);
        adler = uint32_t(adler32(adler, data, uInt(slice)));
        data += slice;
        size -= slice;
    }
    return adler;
}

uint16_t ZlibHeader(int level)
{
    // RFC 1950: method 8 with a 32 KiB window, and the level class zlib itself records.
    const unsigned levelFlags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (0x78u << 8) | (levelFlags << 6);
    header += 31 - header % 31;
    return uint16_t(header);
}

std::vector<uint8_t> DeflateSegment(const uint8_t* data, size_t size, const uint8_t* dictionary,
                                    size_t dictionarySize, int level, bool last)
{
    if (level < 0 || level > 9 || size > kMaxSlice || dictionarySize > kMaxSlice) {
        RaiseCompressionError(Z_STREAM_ERROR);
    }
    z_stream stream{};
    int result = deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    if (result != Z_OK) {
        RaiseCompressionError(result);
    }
    // The stream is ended on every path below.
    struct TEnd
    {
        z_stream& Stream;
        ~TEnd() { deflateEnd(&Stream); }
    } end{stream};
    if (dictionarySize > 0) {
        result = deflateSetDictionary(&stream, dictionary, uInt(dictionarySize));
        if (result != Z_OK) {
            RaiseCompressionError(result);
        }
    }
    std::vector<uint8_t> output(deflateBound(&stream, uLong(size)) + 16);
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = uInt(size);
    stream.next_out = output.data();
    stream.avail_out = uInt(output.size());
    result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool done = last ? result == Z_STREAM_END : (result == Z_OK && stream.avail_in == 0);
    if (!done) {
        RaiseCompressionError(result == Z_OK ? Z_BUF_ERROR : result);
    }
    output.resize(output.size() - stream.avail_out);
    return output;
}

void ReopenRawDeflate(std::vector<uint8_t>& stream, size_t inflatedSize)
{
    if (stream.size() > kMaxSlice) {
        RaiseCompressionError(Z_STREAM_ERROR);
    }
    z_stream inflater{};
    int result = inflateInit2(&inflater, -15);
    if (result != Z_OK) {
        RaiseCompressionError(result);
    }
    struct TEnd
    {
        z_stream& Stream;
        ~TEnd() { inflateEnd(&Stream); }
    } end{inflater};
    // The inflated bytes are only counted; zlib keeps its own window for back-references.
    std::vector<uint8_t> scratch(size_t(1) << 16);
    inflater.next_in = stream.data();
    inflater.avail_in = uInt(stream.size());
    uint64_t produced = 0;
    uint64_t lastBlockBit = 0; // where the header of the block being inflated starts
    uint64_t endBit = 0;       // where the final block ends
    for (;;) {
        inflater.next_out = scratch.data();
        inflater.avail_out = uInt(scratch.size());
        result = inflate(&inflater, Z_BLOCK);
        produced += scratch.size() - inflater.avail_out;
        if (result == Z_STREAM_END) {
            break;
        }
        if (result != Z_OK) {
            RaiseCompressionError(result == Z_NEED_DICT ? Z_DATA_ERROR : result);
        }
        // Bit 128 of data_type: stopped at a block boundary, before the next header or, with
        // bit 64, at the end of the final block, before the padding that follows it. The low
        // 3 bits count the bits of the last byte taken that are still unused.
        if ((inflater.data_type & 128) != 0) {
            const size_t taken = stream.size() - inflater.avail_in;
            const uint64_t bit = uint64_t(taken) * 8 - unsigned(inflater.data_type & 7);
            ((inflater.data_type & 64) != 0 ? endBit : lastBlockBit) = bit;
        }
    }
    const uint64_t unusedBits = uint64_t(stream.size()) * 8 - endBit;
    if (inflater.avail_in != 0 || produced != inflatedSize || unusedBits > 7) {
        RaiseCompressionError(Z_DATA_ERROR);
    }
    // Deflate packs bits from the least significant end of each byte (RFC 1951, 3.1.1).
    stream[size_t(lastBlockBit / 8)] &= uint8_t(~(1u << (lastBlockBit % 8)));
    // The padding after the last block: zeroed, it starts the stored block's 3-bit header
    // (not final, type 0); a header that does not fit takes one more byte.
    stream.back() &= uint8_t((1u << (8 - unusedBits)) - 1u);
    if (unusedBits < 3) {
        stream.push_back(0);
    }
    // The stored block's length 0 and its complement, on the byte boundary.
    const uint8_t emptyStored[4] = {0x00, 0x00, 0xFF, 0xFF};
    stream.insert(stream.end(), emptyStored, emptyStored + 4);
}

struct TDeflateStream::TState
{
    z_stream Stream{};
    size_t InputLeft = 0; // what is not yet handed to Stream.avail_in
};

TDeflateStream::TDeflateStream(int level) : m_state(std::make_unique<TState>())
{
    if (level < 0 || level > 9) {
        RaiseCompressionError(Z_STREAM_ERROR);
    }
    const int result = deflateInit(&m_state->Stream, level);
    if (result != Z_OK) {
        // deflateInit frees what it allocated before it fails.
        m_state.reset();
        RaiseCompressionError(result);
    }
}

TDeflateStream::~TDeflateStream()
{
    if (m_state != nullptr) {
        deflateEnd(&m_state->Stream);
    }
}

void TDeflateStream::SetInput(const uint8_t* data, size_t size)
{
    const size_t slice = std::min(size, kMaxSlice);
    m_state->Stream.next_in = const_cast<Bytef*>(data);
    m_state->Stream.avail_in = uInt(slice);
    m_state->InputLeft = size - slice;
}

size_t TDeflateStream::InputLeft() const
{
    return m_state->Stream.avail_in + m_state->InputLeft;
}

size_t TDeflateStream::Deflate(uint8_t* output, size_t space, bool finish, bool& ended)
{
    z_stream& stream = m_state->Stream;
    const size_t slice = std::min(space, kMaxSlice);
    stream.next_out = output;
    stream.avail_out = uInt(slice);
    ended = false;
    if (!finish && InputLeft() == 0) {
        return 0;
    }
    for (;;) {
        if (stream.avail_in == 0 && m_state->InputLeft > 0) {
            const size_t more = std::min(m_state->InputLeft, kMaxSlice);
            stream.avail_in = uInt(more);
            m_state->InputLeft -= more;
        }
        const int result = deflate(&stream, finish ? Z_FINISH : Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            ended = true;
            break;
        }
        if (result != Z_OK) {
            RaiseCompressionError(result);
        }
        const bool inputDone = stream.avail_in == 0 && m_state->InputLeft == 0;
        if (stream.avail_out == 0 || (inputDone && !finish)) {
            break;
        }
    }
    return slice - stream.avail_out;
}

struct TInflateStream::TState
{
    z_stream Stream{};
    size_t InputLeft = 0; // what is not yet handed to Stream.avail_in
};

TInflateStream::TInflateStream() : m_state(std::make_unique<TState>())
{
    const int result = inflateInit(&m_state->Stream);
    if (result != Z_OK) {
        // inflateInit frees what it allocated before it fails.
        m_state.reset();
        throw EPNGZLIBError(FormatZlibMessage(TPNGMessage::ZlibError, result));
    }
}

TInflateStream::~TInflateStream()
{
    if (m_state != nullptr) {
        inflateEnd(&m_state->Stream);
    }
}

void TInflateStream::SetInput(const uint8_t* data, size_t size)
{
    const size_t slice = std::min(size, kMaxSlice);
    m_state->Stream.next_in = const_cast<Bytef*>(data);
    m_state->Stream.avail_in = uInt(slice);
    m_state->InputLeft = size - slice;
}

size_t TInflateStream::InputLeft() const
{
    return m_state->Stream.avail_in + m_state->InputLeft;
}

int TInflateStream::Inflate(uint8_t* output, size_t space, size_t& produced)
{
    z_stream& stream = m_state->Stream;
    if (stream.avail_in == 0 && m_state->InputLeft > 0) {
        const size_t more = std::min(m_state->InputLeft, kMaxSlice);
        stream.avail_in = uInt(more);
        m_state->InputLeft -= more;
    }
    const size_t slice = std::min(space, kMaxSlice);
    stream.next_out = output;
    stream.avail_out = uInt(slice);
    const int result = inflate(&stream, Z_NO_FLUSH);
    produced = slice - stream.avail_out;
    return result;
}

} // namespace kapto
