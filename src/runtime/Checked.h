#pragma once
// Overflow-checked size arithmetic and the image size limits every decoder and the bitmap
// allocator apply before memory is reserved.

#include <cstddef>
#include <cstdint>
#include <limits>

namespace kapto {

// Largest pixel buffer any image may have: the memory budget of the run (half the physical
// memory, at most 4 GiB, unless the user sets another) but never below kMinImageByteLimit, so
// that a tiny malformed file cannot claim more, and a real picture that fits the budget is
// never refused for its size alone.
uint64_t ImageByteLimit();
void SetImageByteLimit(uint64_t bytes);
// What a budget of the given size allows one buffer: the budget, at least kMinImageByteLimit.
uint64_t ImageByteLimitForBudget(uint64_t budget);
// The smallest limit a budget gives: a photo of a few hundred megapixels, which converts
// alone whatever budget the run has.
constexpr uint64_t kMinImageByteLimit = uint64_t(768) << 20;
// Half the physical memory, at most 4 GiB.
uint64_t DefaultMemoryLimit();
// Raises EPictureTooLarge, which names the size, what it needs and the limit.
[[noreturn]] void RaisePictureTooLarge(int64_t width, int64_t height, uint64_t bytes);

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

// Whether an image of the given size fits the side limits, and its buffer size when it does.
// A buffer larger than ImageByteLimit raises EPictureTooLarge: the size is real, but it does
// not fit the memory the user allows.
inline bool ImageBufferSize(int64_t width, int64_t height, unsigned bitCount, uint64_t& bytes)
{
    if (width < 0 || height < 0 || width > kMaxImageSide || height > kMaxImageSide ||
        bitCount == 0 || bitCount > 64) {
        return false;
    }
    bytes = DIBStride(uint64_t(width), bitCount) * uint64_t(height);
    if (bytes > ImageByteLimit()) {
        RaisePictureTooLarge(width, height, bytes);
    }
    return true;
}

} // namespace kapto
