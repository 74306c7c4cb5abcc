// Pixel buffers on both sides of the size from which they are mapped in huge pages: zeroed,
// writable to the last byte, and released without a trace.

#include "platform/DIB.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kapto;

TEST(PixelBuffer, EverySizeIsZeroedAndWritableToItsLastByte)
{
    constexpr size_t kMiB = size_t(1) << 20;
    for (const size_t size : {size_t(1), 2 * kMiB - 1, 2 * kMiB, 2 * kMiB + 1, 7 * kMiB + 123}) {
        SCOPED_TRACE(size);
        TPixelBuffer buffer;
        ASSERT_TRUE(buffer.Allocate(size));
        ASSERT_EQ(buffer.Size(), size);
        uint8_t* data = buffer.Data();
        EXPECT_TRUE(std::all_of(data, data + size, [](uint8_t b) { return b == 0; }));
        data[size - 1] = 0xA5;
        EXPECT_EQ(data[size - 1], 0xA5);
    }
}
