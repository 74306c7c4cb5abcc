// LZW decoding and interlace: fresh start, refill, codes beyond the next free code, a full
// table, end codes, short data, loops in the table, and the refused code sizes.

#include "gif/LZWDecoder.h"
#include "GIFTestLoad.h"
#include "gif/GIFSubImage.h"
#include "support/GIFTestWriter.h"

#include <gtest/gtest.h>

using namespace kapto;
using namespace giftest;

namespace {

// A 1-frame GIF whose image data holds the given codes, in sub-blocks of blockSize.
TBytes FrameWithCodes(int width, int height, int minimumCodeSize, const TBytes& codes,
                      int blockSize = 255, bool terminator = true, bool interlaced = false)
{
    TGIFBuilder gif;
    gif.Header(width, height, 7)
        .Descriptor(0, 0, width, height, interlaced)
        .ImageData(minimumCodeSize, codes, blockSize, terminator);
    return gif.Bytes();
}

TBytes Codes(const std::vector<std::pair<int, int>>& codes)
{
    TCodePacker packer;
    for (const auto& [code, bits] : codes) {
        packer.Put(code, bits);
    }
    return packer.Bytes();
}

// Decodes image data (minimum code size byte and sub-blocks) into width x height bytes
// prefilled with fill.
TBytes DecodeAlone(const TBytes& imageData, uint32_t width, uint32_t height, bool interlaced,
                   std::vector<std::string>* warnings = nullptr, uint8_t fill = 0xEE)
{
    TMemoryStream stream(imageData);
    TBytes data(size_t(width) * height, fill);
    TLZWDecoder decoder(stream, [warnings](TGIFMessage message) {
        if (warnings != nullptr) {
            warnings->push_back(GIFMessageText(message));
        }
    });
    decoder.ReadImageData(data.data(), width, height, interlaced);
    return data;
}

} // namespace

TEST(GIFLZW, RoundTripsAtAwkwardSizesAndCodeSizes)
{
    struct TCase
    {
        int width;
        int height;
        int minimumCodeSize;
        int blockSize;
    };
    const TCase cases[] = {{1, 1, 2, 255},     {3, 2, 2, 1},     {47, 33, 4, 7},
                           {200, 150, 8, 255}, {64, 64, 1, 254}, {301, 97, 11, 255}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) +
                     " m=" + std::to_string(c.minimumCodeSize));
        const int colors = c.minimumCodeSize >= 8 ? 256 : 1 << c.minimumCodeSize;
        const TBytes pixels = PatternPixels(c.width, c.height, colors);
        TBytes data{uint8_t(c.minimumCodeSize)};
        const TBytes blocks = SubBlocks(EncodeLZW(pixels, c.minimumCodeSize), c.blockSize);
        data.insert(data.end(), blocks.begin(), blocks.end());
        std::vector<std::string> warnings;
        EXPECT_EQ(DecodeAlone(data, c.width, c.height, false, &warnings), pixels);
        EXPECT_TRUE(warnings.empty());
    }
}

TEST(GIFLZW, OnePixelWithAndWithoutEndCodeAndWithoutClearCode)
{
    // Minimum code size 2: clear 4, end 5, 3-bit codes.
    const TBytes withEnd = Codes({{4, 3}, {2, 3}, {5, 3}});
    const TBytes withoutEnd = Codes({{4, 3}, {2, 3}});
    const TBytes withoutClear = Codes({{2, 3}, {5, 3}});
    for (const TBytes& codes : {withEnd, withoutEnd, withoutClear}) {
        TLoaded loaded = LoadGIF(FrameWithCodes(1, 1, 2, codes));
        ASSERT_EQ(loaded.image->Images().Count(), 1);
        EXPECT_EQ(FrameData(loaded.image->Images()[0]), TBytes{2});
    }
}

TEST(GIFLZW, DataWithoutClearCodeDecodesAsWithOne)
{
    const TBytes pixels = PatternPixels(40, 30, 16);
    TLZWOptions noClear;
    noClear.leadingClear = false;
    TBytes a{4};
    TBytes b{4};
    const TBytes blocksA = SubBlocks(EncodeLZW(pixels, 4));
    const TBytes blocksB = SubBlocks(EncodeLZW(pixels, 4, noClear));
    a.insert(a.end(), blocksA.begin(), blocksA.end());
    b.insert(b.end(), blocksB.begin(), blocksB.end());
    EXPECT_NE(blocksA, blocksB);
    EXPECT_EQ(DecodeAlone(a, 40, 30, false), pixels);
    EXPECT_EQ(DecodeAlone(b, 40, 30, false), pixels);
}

TEST(GIFLZW, InterlacedRowsLandInPassOrder)
{
    for (int height = 1; height <= 9; ++height) {
        SCOPED_TRACE("height " + std::to_string(height));
        // Each row holds its own row number, so a misplaced row shows.
        TBytes pixels;
        for (int y = 0; y < height; ++y) {
            pixels.insert(pixels.end(), 3, uint8_t(y));
        }
        TGIFBuilder gif;
        gif.Header(3, height, 3).Image(0, 0, 3, height, pixels, true, -1, 4).Trailer();
        TLoaded loaded = LoadGIF(gif.Bytes());
        EXPECT_EQ(FrameData(loaded.image->Images()[0]), pixels);
        EXPECT_TRUE(loaded.warnings.empty());
    }
    // Height 3 stores rows 0, 2, 1: the stored order read back directly.
    EXPECT_EQ(InterlaceRows({0, 1, 2}, 1, 3), (TBytes{0, 2, 1}));
}

TEST(GIFLZW, CutOffDataKeepsFillValueAndStillLoads)
{
    const TBytes pixels = PatternPixels(20, 20, 4);
    for (bool transparent : {false, true}) {
        TGIFBuilder gif;
        gif.Header(20, 20, 1);
        if (transparent) {
            gif.GraphicControl(true, 3);
        }
        gif.Image(0, 0, 20, 20, pixels);
        TBytes bytes = gif.Bytes();
        bytes.resize(bytes.size() - 40); // inside the image data
        TLoaded loaded = LoadGIF(bytes);
        const TBytes data = FrameData(loaded.image->Images()[0]);
        ASSERT_EQ(data.size(), 400u);
        size_t decoded = 0;
        while (decoded < data.size() && data[decoded] == pixels[decoded]) {
            ++decoded;
        }
        EXPECT_GT(decoded, 100u);
        EXPECT_LT(decoded, 400u);
        const uint8_t fill = transparent ? 3 : 0;
        // Past the last whole code only the fill value stands (a code of several pixels
        // may have been cut, so allow a short stretch of decoded pixels first).
        for (size_t i = decoded + 16; i < data.size(); ++i) {
            EXPECT_EQ(data[i], fill) << i;
        }
        EXPECT_EQ(loaded.warnings, std::vector<std::string>{"Premature end of data"});
    }
}

TEST(GIFLZW, DataEndingAtTerminatorWithoutEndCodeWarnsUnderRun)
{
    // 2x2 image, only one pixel's codes and the terminator.
    TLoaded loaded = LoadGIF(FrameWithCodes(2, 2, 2, Codes({{4, 3}, {1, 3}})));
    EXPECT_EQ(FrameData(loaded.image->Images()[0]), (TBytes{1, 0, 0, 0}));
    // One when decoding stops, one from the code read after the image.
    EXPECT_EQ(loaded.warnings, std::vector<std::string>(2, "Decoder bit buffer under-run"));
}

TEST(GIFLZW, CodeBeyondNextFreeCodeActsAsNextFreeCode)
{
    // Clear, 1, then 7 while the next free code is 6: decodes as 6 = "1 1".
    const TBytes codes = Codes({{4, 3}, {1, 3}, {7, 3}, {5, 3}});
    TLoaded loaded = LoadGIF(FrameWithCodes(3, 1, 2, codes));
    EXPECT_EQ(FrameData(loaded.image->Images()[0]), (TBytes{1, 1, 1}));
}

TEST(GIFLZW, FullTableKeepsTwelveBitCodesWithoutNewEntries)
{
    // Enough varied pixels to fill the table, then coding goes on without a clear code.
    const int width = 512;
    const int height = 200;
    TBytes pixels(size_t(width) * height);
    uint32_t state = 12345;
    for (uint8_t& p : pixels) {
        state = state * 1103515245u + 12345u;
        p = uint8_t((state >> 16) % 16);
    }
    TLZWOptions deferred;
    deferred.resetWhenFull = false;
    TBytes data{4};
    const TBytes blocks = SubBlocks(EncodeLZW(pixels, 4, deferred));
    data.insert(data.end(), blocks.begin(), blocks.end());
    std::vector<std::string> warnings;
    EXPECT_EQ(DecodeAlone(data, width, height, false, &warnings), pixels);
    EXPECT_TRUE(warnings.empty());
}

TEST(GIFLZW, EndCodeSkipsFollowingSubBlocksAndLeavesStreamAfterTerminator)
{
    TBytes codes = Codes({{4, 3}, {1, 3}, {2, 3}, {5, 3}});
    TBytes data{2};
    const TBytes blocks = SubBlocks(codes, 255, false);
    data.insert(data.end(), blocks.begin(), blocks.end());
    // Two more non-empty sub-blocks after the end code, then the terminator and a marker.
    const TBytes tail{3, 9, 9, 9, 2, 7, 7, 0, 0x3B};
    data.insert(data.end(), tail.begin(), tail.end());
    TMemoryStream stream(data);
    TBytes pixels(2, 0xEE);
    TLZWDecoder decoder(stream, [](TGIFMessage) {});
    decoder.ReadImageData(pixels.data(), 2, 1, false);
    EXPECT_EQ(pixels, (TBytes{1, 2}));
    EXPECT_EQ(stream.Position(), int64_t(data.size() - 1));
}

TEST(GIFLZW, EarlyEndCodeDoesNotSwallowTheNextFrame)
{
    // The first frame's data ends with an end code after three of four pixels, exactly at the
    // end of its sub-block; the extra code read after decoding must not come from the blocks
    // of the second frame.
    TGIFBuilder gif;
    gif.Header(2, 2, 1)
        .Descriptor(0, 0, 2, 2)
        .ImageData(2, Codes({{4, 3}, {3, 3}, {2, 3}, {1, 3}, {5, 4}}))
        .Image(0, 0, 2, 2, {1, 2, 3, 0})
        .Trailer();
    TLoaded loaded = LoadGIF(gif.Bytes());
    ASSERT_EQ(loaded.image->Images().Count(), 2);
    EXPECT_EQ(FrameData(loaded.image->Images()[0]), (TBytes{3, 2, 1, 0}));
    EXPECT_EQ(FrameData(loaded.image->Images()[1]), (TBytes{1, 2, 3, 0}));
    EXPECT_TRUE(loaded.warnings.empty());
    EXPECT_EQ(loaded.endPosition, int64_t(gif.Bytes().size()));
}

TEST(GIFLZW, MinimumCodeSizeBoundary)
{
    // 11 is the largest that fits the table: clear code 2048, 12-bit codes.
    const TBytes pixels = PatternPixels(30, 20, 256);
    TBytes data{11};
    const TBytes blocks = SubBlocks(EncodeLZW(pixels, 11));
    data.insert(data.end(), blocks.begin(), blocks.end());
    EXPECT_EQ(DecodeAlone(data, 30, 20, false), pixels);
    for (int size : {12, 15, 255}) {
        TBytes big = FrameWithCodes(2, 2, size, TBytes(20, 0xA5));
        EXPECT_EQ(LoadError(big), "Invalid LZW code size") << size;
    }
}

TEST(GIFLZW, EntryNamingItselfAsPrefixEndsWithCircularEntry)
{
    // m = 2: clear 4, end 5, entries from 6. Code 7 read while the next free code is 6 makes
    // 7 the old code, so the next step defines entry 7 with prefix 7; expanding 7 then loops.
    // The table reaches 8 entries there, so the last code is 4 bits wide.
    const TBytes codes = Codes({{4, 3}, {1, 3}, {7, 3}, {1, 3}, {7, 4}});
    EXPECT_EQ(LoadError(FrameWithCodes(8, 8, 2, codes)), "Circular decoder table entry");
}

TEST(GIFLZW, LongLoopEndsBeforeTheStackOverflows)
{
    // m = 8, 9-bit codes: clear 256, end 257, entries from 258. Code 300 read while the next
    // free code is 258 sets old code 300, so entry 258 = (300, x); then code 260 makes entry
    // 259 = (260, ...); codes chain 258 -> 300 and 300 is defined later as (258, ...).
    TCodePacker p;
    p.Put(256, 9);
    p.Put(1, 9);   // first code 1
    p.Put(300, 9); // beyond: entry 258 = (1, 1), old = 300
    // Now define entries up to 300 so that entry 300 gets prefix 258's chain back to 300.
    // Entry k gets prefix = previous code; use codes 259.. each beyond next free code,
    // making entry k's prefix the previous code k: entry 259 = (300, ..), entry 260 = (259,
    // ..), ..., entry 300 = (299, ..): a chain 300 -> 299 -> ... -> 259 -> 300.
    for (int code = 259; code <= 300; ++code) {
        p.Put(code, 9);
    }
    p.Put(300, 9);
    TBytes data{8};
    const TBytes blocks = SubBlocks(p.Bytes());
    data.insert(data.end(), blocks.begin(), blocks.end());
    EXPECT_THROW(
        {
            try {
                DecodeAlone(data, 100, 100, false);
            } catch (const GIFException& error) {
                EXPECT_STREQ(error.what(), "Circular decoder table entry");
                throw;
            }
        },
        GIFException);
}
