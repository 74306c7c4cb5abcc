#include "png/Deflater.h"

#include "png/PNGErrors.h"
#include "png/Zlib.h"

#include <libdeflate.h>

#include <utility>

namespace kapto {

namespace {

[[noreturn]] void RaiseCompressionError(int code)
{
    throw EPNGZLIBError(FormatZlibMessage(TPNGMessage::CompressionError, code));
}

} // namespace

TDeflater::TDeflater(int level) : m_level(level)
{
    if (level < 1 || level > kStrongestDeflateLevel) {
        RaiseCompressionError(kZlibStreamError);
    }
    m_compressor = libdeflate_alloc_compressor(level);
    if (m_compressor == nullptr) {
        RaiseCompressionError(kZlibMemoryError);
    }
}

TDeflater::~TDeflater()
{
    libdeflate_free_compressor(m_compressor);
}

TDeflater::TDeflater(TDeflater&& other) noexcept
    : m_compressor(std::exchange(other.m_compressor, nullptr)), m_level(other.m_level)
{}

TDeflater& TDeflater::operator=(TDeflater&& other) noexcept
{
    std::swap(m_compressor, other.m_compressor);
    std::swap(m_level, other.m_level);
    return *this;
}

void TDeflater::Compress(const uint8_t* data, size_t size, std::vector<uint8_t>& output)
{
    // The bound covers any input, so a result of 0 (output did not fit) is a failure.
    output.resize(libdeflate_deflate_compress_bound(m_compressor, size));
    const size_t written =
        libdeflate_deflate_compress(m_compressor, data, size, output.data(), output.size());
    if (written == 0) {
        RaiseCompressionError(kZlibBufferError);
    }
    output.resize(written);
}

} // namespace kapto
