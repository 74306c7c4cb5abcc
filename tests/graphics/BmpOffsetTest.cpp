// The file header's pixel data offset: pixels after a gap behind the colour table are read
// where the offset says, as Pillow reads them; an offset into the headers or the table, or at
// or past the end, keeps the pixels right after the table.

#include "graphics/BmpBuilder.h"
#include "support/Pillow.h"

#include <gtest/gtest.h>

#include <string>

using namespace bmptest;
using namespace kapto;

namespace {

// A 5 x 3 picture at the depth, with a gap behind its colour table.
TBmpFile Picture(uint16_t bitCount, size_t gap)
{
    TBmpFile f;
    f.Width = 5;
    f.Height = 3;
    f.BitCount = bitCount;
    if (bitCount <= 8) {
        for (uint32_t i = 0; i < (1u << bitCount); ++i) {
            f.Colors.push_back(i * 0x0F1D27 & 0xFFFFFF);
        }
    }
    f.Pixels = PackRows(f.Width, f.Height, bitCount, [bitCount](int32_t x, int32_t y) {
        return bitCount == 24 ? uint32_t(x * 0x402010 + y * 0x0A0B0C) : uint32_t(x + 5 * y) % 16;
    });
    f.GapBytes = gap;
    return f;
}

std::vector<TColor> Decoded(const std::vector<uint8_t>& bytes)
{
    TBitmap bitmap;
    LoadBytes(bitmap, bytes);
    return CanvasPixels(bitmap);
}

} // namespace

TEST(BmpOffsetTest, PixelsAreReadFromTheOffset)
{
    for (uint16_t bitCount : {4, 8, 24}) {
        for (size_t gap : {2, 16, 1024}) {
            SCOPED_TRACE(std::to_string(bitCount) + " bits, gap " + std::to_string(gap));
            const std::vector<uint8_t> file = BuildBmp(Picture(bitCount, gap));
            const std::vector<TColor> ours = Decoded(file);
            EXPECT_EQ(ours, Decoded(BuildBmp(Picture(bitCount, 0))));
            const TPillowPicture pillow = DecodeWithPillow(file, ".bmp");
            ASSERT_EQ(pillow.Error, "");
            ASSERT_EQ(pillow.Rgb.size(), ours.size() * 3);
            for (size_t i = 0; i < ours.size(); ++i) {
                EXPECT_EQ(ours[i],
                          RGBColor(pillow.Rgb[3 * i], pillow.Rgb[3 * i + 1], pillow.Rgb[3 * i + 2]))
                    << "pixel " << i;
            }
        }
    }
}

TEST(BmpOffsetTest, UntrustworthyOffsetsKeepThePixelsAfterTheTable)
{
    for (uint16_t bitCount : {4, 24}) {
        const TBmpFile plain = Picture(bitCount, 0);
        const std::vector<TColor> expected = Decoded(BuildBmp(plain));
        const uint32_t afterTable = uint32_t(BuildBmp(plain).size() - plain.Pixels.size());
        const uint32_t end = uint32_t(BuildBmp(plain).size());
        const struct
        {
            const char* name;
            uint32_t offset;
        } cases[] = {
            {"zero", 0},
            {"inside the file header", 6},
            {"inside the info header", 30},
            {"inside the colour table", afterTable - 4},
            {"at the end", end},
            {"past the end", end + 100},
            {"far past the end", 0xFFFFFFFF},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(bitCount) + " bits, offset " + c.name);
            TBmpFile f = plain;
            f.OffsetField = c.offset;
            EXPECT_EQ(Decoded(BuildBmp(f)), expected);
        }
    }
}
