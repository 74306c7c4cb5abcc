#pragma once
// Overflow-checked size arithmetic and the image size limits every decoder and the bitmap
// allocator apply before memory is reserved.

#include <cstddef>
#include <cstdint>
#include <limits>

namespace kapto {

// Largest pixel buffer any image may have. A desktop converter meets photos of a few hundred
// megapixels at most; the limit keeps a tiny malformed file from claiming gigabytes.
constexpr uint64_t kMaxImageBytes = uint64_t(768) << 20;
// Largest width or height of any image.
constexpr int64_t kMaxImageSide = 1 << 20;

// a * b, or false when the product does not fit.
inline bool CheckedMul(uint64_t a, uint64_t b, uint64_t& result)
{
    if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a) {
        return false;
    }
    result = a * b;
    return true;
}

// a + b, or false when the sum does not fit.
inline bool CheckedAdd(uint64_t a, uint64_t b, uint64_t& result)
{
    if (b > std::numeric_limits<uint64_t>::max() - a) {
        return false;
    }
    result = a + b;
    return true;
}

// Bytes of one padded DIB row: ((width * bitCount + 31) and not 31) div 8.
inline uint64_t DIBStride(uint64_t width, uint64_t bitCount)
{
    return ((width * bitCount + 31) & ~uint64_t(31)) / 8;
}

// Whether an image of the given size fits the limits, and its buffer size when it does.
inline bool ImageBufferSize(int64_t width, int64_t height, unsigned bitCount, uint64_t& bytes)
{
    if (width < 0 || height < 0 || width > kMaxImageSide || height > kMaxImageSide ||
        bitCount == 0 || bitCount > 64) {
        return false;
    }
    bytes = DIBStride(uint64_t(width), bitCount) * uint64_t(height);
    return bytes <= kMaxImageBytes;
}

} // namespace kapto
