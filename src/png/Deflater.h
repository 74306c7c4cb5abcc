#pragma once
// The codec's only door to libdeflate: an owned whole-buffer compressor. It is faster than zlib
// at equal size and has stronger levels, but takes no dictionary and cannot flush mid-stream.

#include <cstddef>
#include <cstdint>
#include <vector>

struct libdeflate_compressor;

namespace kapto {

// libdeflate levels the writer uses. Fast: the quickest level whose files stay within 2 % of
// zlib's level 7. On the filtered rows of two photo-like pictures (6 and 24 megapixels), in
// 256 KiB segments, size and one core's time against zlib level 7:
//   level 4: 1.044 and 1.016 times the size, in 0.15 and 0.11 of the time;
//   level 5: 1.031 and 1.007, in 0.16 and 0.12;
//   level 6: 1.014 and 0.991, in 0.21 and 0.17;
//   level 7: 0.997 and 0.972, in 0.39 and 0.39.
constexpr int kFastDeflateLevel = 6;
// The strongest level libdeflate has (near-optimal parsing), for writing the smallest files.
constexpr int kStrongestDeflateLevel = 12;

// One libdeflate compressor at a fixed level. A compressor is used by one thread at a time;
// threads compressing side by side each own one. Failures raise EPNGZLIBError with the
// compression message and the zlib code that matches them.
class TDeflater
{
public:
    // Level 1 (fastest) to 12 (strongest); any other raises.
    explicit TDeflater(int level);
    ~TDeflater();
    TDeflater(TDeflater&& other) noexcept;
    TDeflater& operator=(TDeflater&& other) noexcept;
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    int Level() const { return m_level; }

    // All of the data as one raw deflate stream (no zlib header or checksum) ended by a final
    // block, into output, which is resized to fit; its capacity is kept, so a buffer passed
    // again is not reallocated. The same data and level give the same bytes.
    void Compress(const uint8_t* data, size_t size, std::vector<uint8_t>& output);

private:
    libdeflate_compressor* m_compressor = nullptr;
    int m_level = 0;
};

} // namespace kapto
