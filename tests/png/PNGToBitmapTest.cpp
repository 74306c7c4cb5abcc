// Drawing a PNG image onto a bitmap: the bitmap format chosen, plain and stretched copies,
// the key colour left out, and alpha blended over what the bitmap already shows.
#include "graphics/Bitmap.h"
#include "png/Chunks.h"
#include "png/PNGObject.h"
#include "runtime/Exceptions.h"
#include "support/Images.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kapto;

namespace {

// A one-row image whose pixels are given as colours (and alphas for colour type 6).
void MakeRgbRow(TPNGObject& png, const std::vector<TColor>& colors,
                const std::vector<uint8_t>& alphas = {})
{
    png.CreateImage(uint32_t(colors.size()), 1, alphas.empty() ? COLOR_RGB : COLOR_RGBALPHA, 8);
    for (size_t x = 0; x < colors.size(); ++x) {
        uint8_t* pixel = png.PixelRow(0) + 3 * x;
        pixel[0] = BlueOf(colors[x]);
        pixel[1] = GreenOf(colors[x]);
        pixel[2] = RedOf(colors[x]);
        if (!alphas.empty()) {
            png.AlphaRow(0)[x] = alphas[x];
        }
    }
}

std::vector<TColor> RowColors(TBitmap& bitmap, int32_t y)
{
    std::vector<TColor> colors;
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
        colors.push_back(bitmap.Canvas().GetPixel(x, y));
    }
    return colors;
}

constexpr TColor kSea = 0xC86400; // red 0, green 100, blue 200

} // namespace

TEST(PNGToBitmap, AlphaIsBlendedOverTheNewBitmapsWhite)
{
    TPNGObject png;
    MakeRgbRow(png, {kSea, kSea, kSea, kSea}, {255, 128, 1, 0});
    TBitmap bitmap;
    bitmap.AssignFrom(&png);
    EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit);
    ASSERT_EQ(bitmap.Width(), 4);
    // (s * a + (255 - a) * 255 + 255) shr 8 per component.
    EXPECT_EQ(RowColors(bitmap, 0), (std::vector<TColor>{kSea, RGBColor(127, 177, 227),
                                                         RGBColor(254, 254, 254), clWhite}));
    EXPECT_FALSE(bitmap.Transparent());
}

TEST(PNGToBitmap, AlphaIsBlendedOverWhatTheBitmapShows)
{
    TPNGObject png;
    MakeRgbRow(png, {clWhite, clWhite}, {0, 128});
    TBitmap bitmap;
    FillBitmap(bitmap, 3, 1, [](int, int) { return clBlack; });
    bitmap.AssignFrom(&png);
    // Resized to the image first: the cropped black stays under the transparent pixels.
    EXPECT_EQ(RowColors(bitmap, 0), (std::vector<TColor>{clBlack, RGBColor(128, 128, 128)}));
}

TEST(PNGToBitmap, BlendedDrawingStretchesAndClips)
{
    TPNGObject png;
    png.CreateImage(2, 1, COLOR_GRAYSCALEALPHA, 8);
    png.PixelRow(0)[0] = 0;
    png.PixelRow(0)[1] = 200;
    png.AlphaRow(0)[0] = 255;
    png.AlphaRow(0)[1] = 255;
    TBitmap bitmap;
    FillBitmap(bitmap, 5, 2, [](int, int) { return clWhite; });
    bitmap.Canvas().StretchDraw(TRect{1, 0, 5, 2}, &png);
    const TColor gray = RGBColor(200, 200, 200);
    for (int32_t y = 0; y < 2; ++y) {
        EXPECT_EQ(RowColors(bitmap, y),
                  (std::vector<TColor>{clWhite, clBlack, clBlack, gray, gray}))
            << y;
    }
    // A reversed rectangle is drawn as the normal one; one reaching outside is clipped.
    TBitmap reversed;
    FillBitmap(reversed, 5, 2, [](int, int) { return clWhite; });
    reversed.Canvas().StretchDraw(TRect{5, 2, 1, 0}, &png);
    EXPECT_EQ(RowColors(reversed, 1), RowColors(bitmap, 1));
    TBitmap clipped;
    FillBitmap(clipped, 2, 1, [](int, int) { return clWhite; });
    clipped.Canvas().StretchDraw(TRect{-2, -1, 2, 1}, &png);
    EXPECT_EQ(RowColors(clipped, 0), (std::vector<TColor>{gray, gray}));
}

TEST(PNGToBitmap, EmptyRectangleDrawsNothing)
{
    TPNGObject png;
    MakeRgbRow(png, {clBlack}, {255});
    TBitmap bitmap;
    FillBitmap(bitmap, 2, 2, [](int, int) { return clWhite; });
    bitmap.Canvas().StretchDraw(TRect{1, 0, 1, 2}, &png);
    bitmap.Canvas().StretchDraw(TRect{0, 1, 2, 1}, &png);
    EXPECT_EQ(RowColors(bitmap, 0), (std::vector<TColor>{clWhite, clWhite}));
    EXPECT_EQ(RowColors(bitmap, 1), (std::vector<TColor>{clWhite, clWhite}));
}

TEST(PNGToBitmap, PaletteAlphaIsBlendedPerEntry)
{
    TPNGObject png;
    png.CreateImage(3, 1, COLOR_PALETTE, 2);
    png.Header().SetColorTable({{0, 0, 255, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}});
    png.Chunks().FindChunk<TChunkPLTE>()->EntryCount = 3;
    // Indices 0, 1, 2 packed as 4-bit fields; index 2 has no alpha value and is opaque.
    png.PixelRow(0)[0] = 0x01;
    png.PixelRow(0)[1] = 0x20;
    auto* transparency = png.Chunks().AddChunkOfClass<TChunktRNS>();
    transparency->ResizePayload(2);
    transparency->AlphaValues.fill(255);
    transparency->AlphaValues[0] = 0;
    transparency->AlphaValues[1] = 128;
    transparency->SingleKey = false;
    TBitmap bitmap;
    bitmap.AssignFrom(&png);
    EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit);
    EXPECT_EQ(RowColors(bitmap, 0),
              (std::vector<TColor>{clWhite, RGBColor(127, 127, 255), RGBColor(0, 255, 0)}));
}

TEST(PNGToBitmap, KeyColourShowsTheBackgroundAndBecomesTheBitmapsTransparentColour)
{
    const TColor key = RGBColor(0x40, 0x80, 0xFF);
    TPNGObject png;
    MakeRgbRow(png, {key, kSea, key});
    png.SetTransparentKey(key);
    TBitmap bitmap;
    bitmap.AssignFrom(&png);
    EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit);
    EXPECT_EQ(RowColors(bitmap, 0), (std::vector<TColor>{clWhite, kSea, clWhite}));
    EXPECT_TRUE(bitmap.Transparent());
    EXPECT_EQ(bitmap.TransparencyColor() & 0xFFFFFF, key);
}

TEST(PNGToBitmap, IndexedPicturesKeepTheirColoursInTheirFormat)
{
    struct TCase
    {
        const char* Name;
        uint8_t ColorType;
        uint8_t BitDepth;
        TPixelFormat Format;
    };
    const TCase cases[] = {
        {"1-bit palette", COLOR_PALETTE, 1, fmt1Bit},  {"2-bit palette", COLOR_PALETTE, 2, fmt4Bit},
        {"4-bit palette", COLOR_PALETTE, 4, fmt4Bit},  {"8-bit palette", COLOR_PALETTE, 8, fmt8Bit},
        {"2-bit gray", COLOR_GRAYSCALE, 2, fmt4Bit},   {"8-bit gray", COLOR_GRAYSCALE, 8, fmt24Bit},
        {"16-bit gray", COLOR_GRAYSCALE, 16, fmt24Bit}};
    // Colours far from every standard, halftone and black-and-white colour.
    const std::vector<TRGBQuad> table = {{31, 97, 211, 0}, {173, 7, 59, 0}};
    for (const TCase& c : cases) {
        TPNGObject png;
        png.CreateImage(2, 1, c.ColorType, c.BitDepth);
        png.Header().SetColorTable(table);
        // Index 1 in the second pixel, at the top of its field.
        const uint16_t bits = png.Header().DIBBitCount();
        if (bits == 8) {
            png.PixelRow(0)[1] = 1;
        } else {
            png.PixelRow(0)[0] = uint8_t(1 << (8 - 2 * bits));
        }
        TBitmap bitmap;
        bitmap.AssignFrom(&png);
        EXPECT_EQ(bitmap.PixelFormat(), c.Format) << c.Name;
        EXPECT_EQ(RowColors(bitmap, 0),
                  (std::vector<TColor>{RGBColor(211, 97, 31), RGBColor(59, 7, 173)}))
            << c.Name;
    }
}

TEST(PNGToBitmap, PlainDrawingStretchesByNearestNeighbour)
{
    TPNGObject png;
    png.CreateImage(2, 2, COLOR_RGB, 8);
    const TColor colors[2][2] = {{clBlack, kSea}, {RGBColor(1, 2, 3), clWhite}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            png.SetPixel(x, y, colors[y][x]);
        }
    }
    TBitmap bitmap;
    FillBitmap(bitmap, 4, 4, [](int, int) { return RGBColor(9, 9, 9); });
    bitmap.Canvas().StretchDraw(TRect{0, 0, 4, 4}, &png);
    for (int32_t y = 0; y < 4; ++y) {
        const TColor* row = colors[y / 2];
        EXPECT_EQ(RowColors(bitmap, y), (std::vector<TColor>{row[0], row[0], row[1], row[1]})) << y;
    }
}

TEST(PNGToBitmap, ImagesWithoutABitmapFormatAreRefused)
{
    TPNGObject png;
    TBitmap bitmap;
    EXPECT_THROW(bitmap.AssignFrom(&png), EConvertError);
    // A header changed to a bit depth no bitmap format stands for.
    png.CreateImage(1, 1, COLOR_RGB, 8);
    png.Header().BitDepth = 3;
    try {
        bitmap.AssignFrom(&png);
        ADD_FAILURE() << "nothing raised";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.ClassName(), "Exception");
        EXPECT_EQ(error.Message(), "");
    }
}
