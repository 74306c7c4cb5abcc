// Agreement with giflib: files giflib encodes decode to the same indices and colours here,
// and the files our test writer builds decode the same in giflib.

#include "GIFOracle.h"
#include "GIFTestLoad.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFSubImage.h"
#include "graphics/Bitmap.h"
#include "support/GIFTestWriter.h"

#include <gtest/gtest.h>

using namespace kapto;
using namespace giftest;

namespace {

TColor ColorOf(uint32_t rgb)
{
    return RGBColor(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
}

struct TSize
{
    int width;
    int height;
    int sizeCode;
};

const TSize kSizes[] = {{1, 1, 0}, {3, 2, 1}, {47, 33, 3}, {200, 120, 7}, {640, 3, 5}, {5, 300, 7}};

} // namespace

TEST(GIFOracle, GiflibEncodedFirstFrameMatchesThroughTheColorTable)
{
    for (const TSize& size : kSizes) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) +
                         (interlaced ? " interlaced" : ""));
            const TBytes pixels = PatternPixels(size.width, size.height, 2 << size.sizeCode);
            const TBytes file =
                EncodeWithGiflib(size.width, size.height, size.sizeCode,
                                 {{0, 0, size.width, size.height, pixels, interlaced}});
            ASSERT_FALSE(file.empty());
            const TOracleImage oracle = DecodeWithGiflib(file);
            ASSERT_TRUE(oracle.ok) << oracle.error;
            ASSERT_EQ(oracle.frames[0].indices, pixels);

            TLoaded loaded = LoadGIF(file);
            EXPECT_TRUE(loaded.warnings.empty());
            EXPECT_EQ(loaded.endPosition, int64_t(file.size()));
            TBitmap bitmap;
            bitmap.AssignFrom(loaded.image.get());
            bitmap.SetPixelFormat(fmt24Bit);
            for (int y = 0; y < size.height; ++y) {
                for (int x = 0; x < size.width; ++x) {
                    const uint8_t index = oracle.frames[0].indices[size_t(y * size.width + x)];
                    ASSERT_EQ(bitmap.Canvas().GetPixel(x, y), ColorOf(oracle.frames[0].rgb[index]))
                        << x << "," << y;
                }
            }
        }
    }
}

TEST(GIFOracle, GiflibEncodedAnimationDecodesEveryFrame)
{
    std::vector<TOracleInput> frames;
    frames.push_back({0, 0, 40, 30, PatternPixels(40, 30, 256), false});
    frames.push_back({5, 7, 20, 9, PatternPixels(20, 9, 7), true});
    frames.push_back({0, 0, 40, 30, TBytes(1200, 9), false});
    const TBytes file = EncodeWithGiflib(40, 30, 7, frames);
    const TOracleImage oracle = DecodeWithGiflib(file);
    ASSERT_TRUE(oracle.ok) << oracle.error;
    TLoaded loaded = LoadGIF(file);
    ASSERT_EQ(loaded.image->Images().Count(), 3);
    for (int i = 0; i < 3; ++i) {
        TGIFSubImage& frame = loaded.image->Images()[i];
        EXPECT_EQ(frame.Left(), oracle.frames[size_t(i)].left);
        EXPECT_EQ(frame.Top(), oracle.frames[size_t(i)].top);
        EXPECT_EQ(FrameData(frame), oracle.frames[size_t(i)].indices) << i;
    }
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(&loaded.image->Images()[0].Extensions()[0]);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->Loops(), 0);
}

TEST(GIFOracle, TestWriterOutputDecodesTheSameInGiflib)
{
    // Checks the writer the malformed-input tests rely on, including a full table coded on
    // without a clear code, which giflib reads as the format allows.
    for (bool resetWhenFull : {true, false}) {
        const int width = 300;
        const int height = 200;
        TBytes pixels(size_t(width) * height);
        uint32_t state = 99;
        for (uint8_t& p : pixels) {
            state = state * 1664525u + 1013904223u;
            p = uint8_t((state >> 24) % 32);
        }
        TLZWOptions options;
        options.resetWhenFull = resetWhenFull;
        TGIFBuilder gif;
        gif.Header(width, height, 4).Descriptor(0, 0, width, height);
        gif.ImageData(5, EncodeLZW(pixels, 5, options)).Trailer();
        const TOracleImage oracle = DecodeWithGiflib(gif.Bytes());
        ASSERT_TRUE(oracle.ok) << oracle.error;
        EXPECT_EQ(oracle.frames[0].indices, pixels);
        TLoaded loaded = LoadGIF(gif.Bytes());
        EXPECT_EQ(FrameData(loaded.image->Images()[0]), pixels);
    }
}
