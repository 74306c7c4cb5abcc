// A bitmap as a PNG image, and the key, alpha and pixel operations on it.

#include "graphics/Bitmap.h"
#include "png/PNGErrors.h"
#include "png/PNGObject.h"
#include "png/PNGOracle.h"
#include "png/PNGRows.h"
#include "png/SavedBytes.h"
#include "runtime/Stream.h"
#include "support/Images.h"

#include <gtest/gtest.h>

using namespace kapto;

namespace {

std::string ChunkList(const TPNGObject& png)
{
    std::string types;
    for (const auto& chunk : png.Chunks()) {
        types += std::string(types.empty() ? "" : " ") + chunk->TypeName();
    }
    return types;
}

std::vector<TParsedChunk> Written(TPNGObject& png)
{
    return SplitChunks(SavedBytes(png));
}

} // namespace

TEST(PNGFromBitmapTest, TrueColourBitmapBecomesRgb)
{
    TBitmap bitmap;
    FillBitmap(bitmap, 5, 3, [](int x, int y) { return RGBColor(uint8_t(x), uint8_t(y), 7); });
    TPNGObject png;
    png.AssignFrom(&bitmap);
    EXPECT_EQ(png.Header().Width, 5u);
    EXPECT_EQ(png.Header().Height, 3u);
    EXPECT_EQ(png.Header().BitDepth, 8);
    EXPECT_EQ(png.Header().ColorType, COLOR_RGB);
    EXPECT_EQ(ChunkList(png), "IHDR IDAT IEND");
    // The top row in blue, green, red order.
    const uint8_t* row = png.PixelRow(0);
    EXPECT_EQ((std::vector<uint8_t>(row, row + 6)), (std::vector<uint8_t>{7, 0, 0, 7, 0, 1}));
    EXPECT_EQ(png.GetPixel(4, 2), RGBColor(4, 2, 7));
    EXPECT_EQ(png.GetPixel(5, 0), 0);
}

TEST(PNGFromBitmapTest, OtherDepthsKeepTheirColours)
{
    TBitmap source;
    FillBitmap(source, 9, 4, [](int x, int y) { return (x + y) % 3 == 0 ? clWhite : 0x0000FF; });
    for (TPixelFormat format : {fmt1Bit, fmt4Bit, fmt8Bit, fmt15Bit, fmt16Bit, fmt32Bit}) {
        TBitmap bitmap;
        bitmap.AssignFrom(&source);
        bitmap.SetPixelFormat(format);
        TPNGObject png;
        png.AssignFrom(&bitmap);
        const bool indexed = format <= fmt8Bit;
        EXPECT_EQ(png.Header().ColorType, indexed ? COLOR_PALETTE : COLOR_RGB) << format;
        EXPECT_EQ(ChunkList(png), indexed ? "IHDR PLTE IDAT IEND" : "IHDR IDAT IEND");
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 9; ++x) {
                EXPECT_EQ(png.GetPixel(x, y), bitmap.Canvas().GetPixel(x, y)) << format;
            }
        }
        TMemoryStream stream;
        png.SaveToStream(stream);
        EXPECT_EQ(DecodeWithLibpng(stream.Bytes()).Error, "");
    }
    TBitmap eight;
    eight.AssignFrom(&source);
    eight.SetPixelFormat(fmt8Bit);
    TPNGObject png;
    png.AssignFrom(&eight);
    EXPECT_EQ(png.Header().BitDepth, 8);
    EXPECT_EQ(png.Chunks().FindChunk<TChunkPLTE>()->EntryCount, 256u);
}

TEST(PNGFromBitmapTest, KeyColourAndAlphaChannel)
{
    TBitmap bitmap;
    FillBitmap(bitmap, 2, 2, [](int, int) { return clBlack; });
    TPNGObject png;
    png.AssignFrom(&bitmap);
    EXPECT_EQ(png.AlphaRow(0), nullptr);
    png.SetTransparent(true);
    EXPECT_FALSE(png.Transparent());
    png.SetTransparentKey(RGBColor(0x40, 0x80, 0xFF));
    EXPECT_TRUE(png.Transparent());
    EXPECT_EQ(ChunkList(png), "IHDR tRNS IDAT IEND");
    EXPECT_EQ(Written(png)[1].Data, (std::vector<uint8_t>{0, 0x40, 0, 0x80, 0, 0xFF}));

    png.AddAlphaChannel();
    EXPECT_EQ(png.Header().ColorType, COLOR_RGBALPHA);
    EXPECT_EQ(png.AlphaRow(1)[1], 255);
    // The key chunk stays in the list and is written.
    EXPECT_EQ(ChunkTypes(Written(png)), "IHDR tRNS IDAT IEND");
    try {
        png.SetTransparentKey(clWhite);
        FAIL();
    } catch (const EPNGCannotChangeTransparent& e) {
        EXPECT_EQ(e.Message(), "Setting bit transparency color is not allowed for png images "
                               "containing alpha value for each pixel (COLOR_RGBALPHA and "
                               "COLOR_GRAYSCALEALPHA)");
    }
    // Recolouring keeps the alpha; outside the image nothing changes.
    png.AlphaRow(0)[0] = 9;
    png.SetPixel(0, 0, clWhite);
    png.SetPixel(2, 0, 0x123456);
    EXPECT_EQ(png.GetPixel(0, 0), clWhite);
    EXPECT_EQ(png.AlphaRow(0)[0], 9);
    EXPECT_EQ(png.GetPixel(1, 0), clBlack);
}

TEST(PNGFromBitmapTest, PaletteKeysNeverOutgrowThePalette)
{
    TBitmap bitmap;
    FillBitmap(bitmap, 4, 1, [](int x, int) { return x == 2 ? clWhite : clBlack; });
    bitmap.SetPixelFormat(fmt1Bit);
    TPNGObject png;
    png.AssignFrom(&bitmap);
    ASSERT_EQ(png.Header().ColorType, COLOR_PALETTE);
    // White is entry 1: entry 0 stays opaque, entry 1 becomes transparent.
    png.SetTransparentKey(clWhite);
    EXPECT_EQ(Written(png)[2].Data, (std::vector<uint8_t>{255, 0}));
    EXPECT_EQ(png.TransparentKeyColor(), clWhite);
    // A colour the palette lacks: every entry opaque, no more values than entries.
    png.SetTransparentKey(0x00FF00);
    EXPECT_EQ(Written(png)[2].Data, (std::vector<uint8_t>{255, 255}));
    EXPECT_EQ(DecodeWithLibpng([&] {
                  TMemoryStream s;
                  png.SaveToStream(s);
                  return s.Bytes();
              }())
                  .Error,
              "");
    // An alpha channel on a palette image is a tRNS of opaque entries.
    png.AddAlphaChannel();
    EXPECT_EQ(Written(png)[2].Data, (std::vector<uint8_t>{255, 255}));
    EXPECT_EQ(png.TransparencyKind(), TTransparencyKind::Alpha);
}

TEST(PNGFromBitmapTest, OperationsWithoutAHeader)
{
    TPNGObject png;
    EXPECT_NO_THROW(png.SetTransparentKey(clBlack));
    EXPECT_THROW(png.AddAlphaChannel(), EPNGHeaderNotPresent);
    EXPECT_THROW(png.AlphaRow(0), EPNGHeaderNotPresent);
    EXPECT_EQ(png.GetPixel(0, 0), 0);
    EXPECT_NO_THROW(png.SetPixel(0, 0, clBlack));
}
