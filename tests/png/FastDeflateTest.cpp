// The fast deflate profile: libdeflate pieces joined into one zlib stream, the same bytes for
// any number of threads, and the rows of the standard profile, checked by libpng and pngcheck.
#include "png/Deflater.h"
#include "png/PNGErrors.h"
#include "png/PNGObject.h"
#include "png/PNGOracle.h"
#include "png/SavedBytes.h"
#include "png/Zlib.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"
#include "support/LimitedStream.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kapto;

using TBytes = std::vector<uint8_t>;

namespace {

TBytes Pattern(size_t size, uint32_t seed)
{
    TBytes data(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        data[i] = uint8_t(i / 5 % 7 + (seed >> 30));
    }
    return data;
}

} // namespace

TEST(PNGFastDeflateTest, SameBytesForAnyThreadCountAndTheStandardRows)
{
    // The profile cuts the filtered data into 256 KiB segments: pictures inside one segment,
    // across several, filling exactly two (1365 x 128: 128 rows of 4096 bytes), and with rows
    // wider than a segment.
    const struct
    {
        uint32_t width;
        uint32_t height;
        uint8_t colorType;
    } cases[] = {
        {1, 1, COLOR_RGB},          {37, 5, COLOR_RGB},     {300, 300, COLOR_RGB},
        {700, 600, COLOR_RGBALPHA}, {1365, 128, COLOR_RGB}, {100000, 3, COLOR_RGB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        TPNGObject png;
        png.CreateImage(c.width, c.height, c.colorType, 8);
        for (uint32_t y = 0; y < c.height; ++y) {
            const TBytes row = Pattern(size_t(c.width) * 3, y);
            std::copy(row.begin(), row.end(), png.PixelRow(y));
            if (c.colorType == COLOR_RGBALPHA) {
                for (uint32_t x = 0; x < c.width; ++x) {
                    png.AlphaRow(y)[x] = uint8_t(x * y);
                }
            }
        }
        const TBytes standard = SavedBytes(png);
        png.SetDeflateProfile(TDeflateProfile::Fast);
        png.SetDeflateThreads(1);
        const TBytes fast = SavedBytes(png);
        for (int threads : {2, 4}) {
            png.SetDeflateThreads(threads);
            EXPECT_EQ(SavedBytes(png), fast) << threads << " threads";
        }
        EXPECT_NE(fast, standard);
        EXPECT_EQ(InflateImageData(SplitChunks(fast)), InflateImageData(SplitChunks(standard)));
        const TDecodedPng decoded = DecodeWithLibpng(fast);
        EXPECT_EQ(decoded.Error, "");
        EXPECT_EQ(decoded.Rows, DecodeWithLibpng(standard).Rows);
        EXPECT_TRUE(PngcheckAccepts(fast));
    }
}

TEST(PNGFastDeflateTest, ReopenedPiecesJoinIntoOneStream)
{
    // Pieces of 1 to 64 bytes end at each of the 8 bit positions of their last byte (the first
    // 54 sizes already do), so both ways of fitting the empty stored block are taken.
    TDeflater deflater(kFastDeflateLevel);
    const TBytes tail = Pattern(3000, 9);
    TBytes last;
    deflater.Compress(tail.data(), tail.size(), last);
    for (size_t size = 1; size <= 64; ++size) {
        SCOPED_TRACE(size);
        const TBytes data = Pattern(size, uint32_t(size));
        TBytes piece;
        deflater.Compress(data.data(), data.size(), piece);
        ReopenRawDeflate(piece, data.size());
        const uint16_t header = ZlibHeader(kFastDeflateLevel);
        TBytes stream = {uint8_t(header >> 8), uint8_t(header)};
        stream.insert(stream.end(), piece.begin(), piece.end());
        stream.insert(stream.end(), last.begin(), last.end());
        const uint32_t adler = Adler32(Adler32(1, data.data(), size), tail.data(), tail.size());
        for (int shift = 24; shift >= 0; shift -= 8) {
            stream.push_back(uint8_t(adler >> shift));
        }
        TBytes expected = data;
        expected.insert(expected.end(), tail.begin(), tail.end());
        TBytes inflated;
        EXPECT_NO_THROW(inflated = Inflate(stream));
        EXPECT_EQ(inflated, expected);
    }
}

TEST(PNGFastDeflateTest, RefusesWhatItCannotDo)
{
    TDeflater deflater(kFastDeflateLevel);
    const TBytes data = Pattern(5000, 1);
    TBytes piece;
    deflater.Compress(data.data(), data.size(), piece);
    TBytes truncated(piece.begin(), piece.end() - 2);
    TBytes trailing = piece;
    trailing.push_back(0);
    TBytes copy = piece;
    const struct
    {
        const char* name;
        TBytes* piece;
        size_t inflatedSize;
    } pieces[] = {
        {"another size", &copy, data.size() + 1},
        {"truncated", &truncated, data.size()},
        {"a byte after the end", &trailing, data.size()},
    };
    for (const auto& c : pieces) {
        EXPECT_THROW(ReopenRawDeflate(*c.piece, c.inflatedSize), EPNGZLIBError) << c.name;
    }
    // libdeflate's levels run from 1 to 12.
    EXPECT_NO_THROW(TDeflater{1});
    EXPECT_NO_THROW(TDeflater{kStrongestDeflateLevel});
    EXPECT_THROW(TDeflater{0}, EPNGZLIBError);
    EXPECT_THROW(TDeflater{kStrongestDeflateLevel + 1}, EPNGZLIBError);
}

TEST(PNGFastDeflateTest, WriteErrorsLeaveNoSegmentBehind)
{
    // A failed write while segments are still being compressed raises the write error; the
    // threads in flight are waited for, not abandoned.
    TPNGObject png;
    png.CreateImage(700, 600, COLOR_RGB, 8);
    for (uint32_t y = 0; y < 600; ++y) {
        const TBytes row = Pattern(2100, y);
        std::copy(row.begin(), row.end(), png.PixelRow(y));
    }
    png.SetDeflateProfile(TDeflateProfile::Fast);
    png.SetDeflateThreads(3);
    const size_t full = SavedBytes(png).size();
    for (size_t limit : {size_t(0), size_t(40), size_t(70000), full - 1}) {
        TLimitedStream stream(limit);
        EXPECT_THROW(png.SaveToStream(stream), EWriteError) << limit;
    }
    TLimitedStream roomy(full);
    EXPECT_NO_THROW(png.SaveToStream(roomy));
}

// Small graphics (a few flat colours, outlines, a gradient; their data within one segment)
// stay within 5 % of the standard profile's size; level 6 left some a third larger.
TEST(PNGFastDeflateTest, SmallGraphicsKeepTheStandardSize)
{
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        const uint32_t width = 8 + seed * 11 % 200;
        const uint32_t height = 8 + seed * 7 % 150;
        TPNGObject png;
        png.CreateImage(width, height, COLOR_RGB, 8);
        uint32_t random = seed;
        const auto next = [&random] { return random = random * 1103515245 + 12345; };
        const uint32_t colors[] = {0xFFFFFF, next() & 0xFFFFFF, next() & 0xFFFFFF, 0};
        const uint32_t cx = next() % width, cy = next() % height, r = 3 + next() % 40;
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = png.PixelRow(y);
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t dx = x > cx ? x - cx : cx - x, dy = y > cy ? y - cy : cy - y;
                const uint32_t d = dx * dx + dy * dy;
                uint32_t c = d < r * r ? colors[1] : (x / 16 + y / 16) % 5 == 0 ? colors[2] : 0;
                c = d >= r * r && d < (r + 2) * (r + 2) ? colors[3] : c;
                c = c == 0 ? (seed % 3 == 0 ? 0x010101 * (x * 255 / width) : colors[0]) : c;
                row[3 * x] = uint8_t(c);
                row[3 * x + 1] = uint8_t(c >> 8);
                row[3 * x + 2] = uint8_t(c >> 16);
            }
        }
        const size_t standard = SavedBytes(png).size();
        png.SetDeflateProfile(TDeflateProfile::Fast);
        const size_t fast = SavedBytes(png).size();
        EXPECT_LE(double(fast), 1.05 * double(standard))
            << "seed " << seed << ", " << width << "x" << height;
    }
}
