// Every truncation and single-byte corruptions of valid files either load or raise a named
// exception, and what loads can be taken by a bitmap; run under the sanitizers.

#include "GIFTestLoad.h"
#include "graphics/Bitmap.h"
#include "support/GIFTestWriter.h"

#include <gtest/gtest.h>

using namespace kapto;
using namespace giftest;

namespace {

// Loads and renders; named exceptions are fine, anything else fails the test.
void LoadAndRender(const TBytes& bytes)
{
    TGIFImage image;
    try {
        TMemoryStream stream(bytes);
        image.LoadFromStream(stream);
        TBitmap bitmap;
        bitmap.AssignFrom(&image);
        if (!bitmap.Empty()) {
            bitmap.SetPixelFormat(fmt24Bit);
        }
    } catch (const Exception&) {
    }
}

// Two frames (one interlaced, one with a local table) and every extension kind read.
TBytes ValidFile()
{
    TGIFBuilder gif;
    gif.Header(9, 7, 2).Application(11, "NETSCAPE2.0", {{1, 0, 0}}).Comment({"c"});
    gif.GraphicControl(true, 3).Image(0, 0, 9, 7, PatternPixels(9, 7, 8), true, -1, 3);
    gif.Image(2, 1, 4, 3, PatternPixels(4, 3, 4), false, 1);
    return gif.Trailer().Bytes();
}

} // namespace

TEST(GIFRobustness, EveryTruncation)
{
    const TBytes file = ValidFile();
    for (size_t size = 0; size < file.size(); ++size) {
        SCOPED_TRACE(size);
        LoadAndRender(TBytes(file.begin(), file.begin() + long(size)));
    }
}

TEST(GIFRobustness, SingleByteCorruptions)
{
    const TBytes file = ValidFile();
    const uint8_t values[] = {0x00, 0x01, 0x0B, 0x21, 0x2C, 0x3B, 0x7F, 0x80, 0xF9, 0xFF};
    for (size_t offset = 0; offset < file.size(); ++offset) {
        for (uint8_t value : values) {
            TBytes corrupt = file;
            corrupt[offset] = value;
            SCOPED_TRACE(std::to_string(offset) + "=" + std::to_string(value));
            LoadAndRender(corrupt);
        }
    }
}

TEST(GIFRobustness, RandomLZWDataNeverEscapesTheTables)
{
    uint32_t state = 7;
    for (int round = 0; round < 300; ++round) {
        TBytes codes(size_t(20 + round % 200));
        for (uint8_t& b : codes) {
            state = state * 1103515245u + 12345u;
            b = uint8_t(state >> 16);
        }
        TGIFBuilder gif;
        gif.Header(33, 17, 7).Descriptor(0, 0, 33, 17, round % 2 == 1);
        gif.ImageData(round % 12, codes, 1 + round % 255).Trailer();
        LoadAndRender(gif.Bytes());
    }
}
