// From a loaded GIF to a TBitmap: the first frame alone or placed on the logical screen, the
// palettes, the missing colour table, indices beyond the table, drawing with transparency,
// and the DIB writer.

#include "GIFTestLoad.h"
#include "gif/DIBWriter.h"
#include "gif/GIFSubImage.h"
#include "graphics/Bitmap.h"
#include "support/GIFTestWriter.h"
#include "support/Raised.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace kapto;
using namespace giftest;

namespace {

// The colour the test writer puts at index i of a table.
TColor TableColor(int i)
{
    return RGBColor(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7));
}

// Every pixel of the bitmap at 24 bits compared with the expected colour function.
void ExpectPixels(TBitmap& bitmap, int width, int height,
                  const std::function<TColor(int x, int y)>& expected)
{
    ASSERT_EQ(bitmap.Width(), width);
    ASSERT_EQ(bitmap.Height(), height);
    bitmap.SetPixelFormat(fmt24Bit);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(bitmap.Canvas().GetPixel(x, y), expected(x, y)) << x << "," << y;
        }
    }
}

} // namespace

TEST(GIFBitmap, ScreenSizedFrameGivesPaletteBitmapOfItsIndices)
{
    const TBytes pixels = PatternPixels(7, 5, 16);
    TGIFBuilder gif;
    // A transparent index shows its table colour, not a background.
    gif.Header(7, 5, 3).GraphicControl(true, 4).Image(0, 0, 7, 5, pixels, false, -1, 4);
    TLoaded loaded = LoadGIF(gif.Trailer().Bytes());
    TBitmap bitmap;
    bitmap.AssignFrom(loaded.image.get());
    EXPECT_EQ(bitmap.PixelFormat(), fmt8Bit);
    EXPECT_FALSE(bitmap.Transparent());
    HPALETTE palette = bitmap.GetPalette();
    ASSERT_NE(palette, nullptr);
    for (int i = 0; i < 16; ++i) {
        const TPaletteEntry& entry = palette->Entries()[size_t(i)];
        EXPECT_EQ(RGBColor(entry.Red, entry.Green, entry.Blue), TableColor(i)) << i;
    }
    for (int y = 0; y < 5; ++y) {
        EXPECT_EQ(0, std::memcmp(bitmap.RowAddress(y), pixels.data() + 7 * y, 7)) << y;
    }
    // Indices 16 and above lie beyond the 16-entry table.
    loaded.image.reset();
    ExpectPixels(bitmap, 7, 5,
                 [&pixels](int x, int y) { return TableColor(pixels[size_t(y * 7 + x)]); });
}

TEST(GIFBitmap, IndicesBeyondTheTableAreBlack)
{
    // A 4-entry table and indices up to 7.
    TGIFBuilder gif;
    gif.Header(8, 1, 1).Image(0, 0, 8, 1, {0, 1, 2, 3, 4, 5, 6, 7}, false, -1, 3).Trailer();
    TLoaded loaded = LoadGIF(gif.Bytes());
    TBitmap bitmap;
    bitmap.AssignFrom(loaded.image.get());
    ExpectPixels(bitmap, 8, 1, [](int x, int) { return x < 4 ? TableColor(x) : clBlack; });
}

TEST(GIFBitmap, SmallerFrameIsDrawnAtItsPlaceOnTheScreen)
{
    const TBytes pixels = PatternPixels(5, 4, 4);
    TGIFBuilder gif;
    gif.Header(30, 40, 1).Image(10, 20, 5, 4, pixels).Trailer();
    TLoaded loaded = LoadGIF(gif.Bytes());
    TBitmap bitmap;
    bitmap.AssignFrom(loaded.image.get());
    ExpectPixels(bitmap, 30, 40, [&pixels](int x, int y) {
        const bool inside = x >= 10 && x < 15 && y >= 20 && y < 24;
        return inside ? TableColor(pixels[size_t((y - 20) * 5 + x - 10)]) : clWhite;
    });
}

TEST(GIFBitmap, ScreenSizedFrameAtAnOffsetIsNotShifted)
{
    const TBytes pixels = PatternPixels(6, 3, 4);
    TGIFBuilder gif;
    gif.Header(6, 3, 1).Image(2, 1, 6, 3, pixels).Trailer();
    TLoaded loaded = LoadGIF(gif.Bytes());
    TBitmap bitmap;
    bitmap.AssignFrom(loaded.image.get());
    ExpectPixels(bitmap, 6, 3,
                 [&pixels](int x, int y) { return TableColor(pixels[size_t(y * 6 + x)]); });
}

TEST(GIFBitmap, AnimationGivesFirstFrameButEveryFrameIsDecoded)
{
    TGIFBuilder gif;
    gif.Header(2, 2, 1).Image(0, 0, 2, 2, {1, 1, 1, 1}).Image(0, 0, 2, 2, {2, 2, 2, 2});
    TLoaded loaded = LoadGIF(TGIFBuilder(gif).Trailer().Bytes());
    TBitmap bitmap;
    bitmap.AssignFrom(loaded.image.get());
    ExpectPixels(bitmap, 2, 2, [](int, int) { return TableColor(1); });

    TCodePacker loop;
    for (const auto& [code, bits] :
         std::vector<std::pair<int, int>>{{4, 3}, {1, 3}, {7, 3}, {1, 3}, {7, 4}}) {
        loop.Put(code, bits);
    }
    gif.Descriptor(0, 0, 2, 2).ImageData(2, loop.Bytes()).Trailer();
    EXPECT_EQ(LoadError(gif.Bytes()), "Circular decoder table entry");
}

TEST(GIFBitmap, ColorTableSources)
{
    {
        SCOPED_TRACE("local table only");
        TGIFBuilder gif;
        gif.Header(2, 1, -1).Image(0, 0, 2, 1, {2, 3}, false, 1).Trailer();
        TLoaded loaded = LoadGIF(gif.Bytes());
        TBitmap bitmap;
        bitmap.AssignFrom(loaded.image.get());
        ExpectPixels(bitmap, 2, 1, [](int x, int) { return TableColor(x + 2); });
    }
    for (bool smallerFrame : {false, true}) {
        SCOPED_TRACE(smallerFrame ? "no table, smaller frame" : "no table");
        TGIFBuilder gif;
        gif.Header(3, 3, -1).Image(0, 0, smallerFrame ? 2 : 3, 3, TBytes(smallerFrame ? 6 : 9, 1));
        TLoaded loaded = LoadGIF(gif.Trailer().Bytes());
        TBitmap bitmap;
        bitmap.SetPixelFormat(fmt24Bit);
        bitmap.SetWidth(4);
        bitmap.SetHeight(1);
        try {
            bitmap.AssignFrom(loaded.image.get());
            ADD_FAILURE() << "no exception";
        } catch (const GIFException& error) {
            EXPECT_EQ(error.Message(), "No global or local color table defined");
        }
        EXPECT_EQ(bitmap.Width(), 4);
        // The failure is not cached as success: asking again fails again.
        EXPECT_THROW(bitmap.AssignFrom(loaded.image.get()), GIFException);
    }
}

TEST(GIFBitmap, NoFramesEmptiesTheDestination)
{
    TLoaded loaded = LoadGIF(TGIFBuilder().Header(4, 4, 1).Trailer().Bytes());
    TBitmap bitmap;
    bitmap.SetPixelFormat(fmt24Bit);
    bitmap.SetWidth(3);
    bitmap.SetHeight(3);
    bitmap.AssignFrom(loaded.image.get());
    EXPECT_TRUE(bitmap.Empty());
}

TEST(GIFBitmap, LargeFrameRendersLikeASmallOne)
{
    // 800 x 800 lies above the 500000-pixel mark that changes the bitmap's format first.
    const TBytes pixels = PatternPixels(800, 800, 256);
    TGIFBuilder gif;
    gif.Header(800, 800, 7).Image(0, 0, 800, 800, pixels, false, -1, 8).Trailer();
    TLoaded loaded = LoadGIF(gif.Bytes());
    TBitmap bitmap;
    bitmap.AssignFrom(loaded.image.get());
    EXPECT_EQ(bitmap.PixelFormat(), fmt8Bit);
    for (int y = 0; y < 800; y += 97) {
        EXPECT_EQ(0, std::memcmp(bitmap.RowAddress(y), pixels.data() + 800 * y, 800)) << y;
    }
}

TEST(GIFBitmap, OnlyBitmapsCanTakeTheImage)
{
    TLoaded loaded = LoadGIF(TGIFBuilder().Header(1, 1, 1).Trailer().Bytes());
    TGIFImage other;
    try {
        other.AssignFrom(loaded.image.get());
        ADD_FAILURE() << "no exception";
    } catch (const EConvertError& error) {
        EXPECT_EQ(error.Message(), "TGIFImage を TGIFImage に代入することはできません");
    }
}

TEST(GIFBitmap, DrawLeavesTransparentPixelsAlone)
{
    TGIFBuilder gif;
    gif.Header(4, 2, 1).GraphicControl(true, 2).Image(0, 0, 4, 2, {0, 2, 1, 2, 2, 3, 2, 0});
    TLoaded loaded = LoadGIF(gif.Trailer().Bytes());
    TBitmap canvas;
    canvas.SetPixelFormat(fmt24Bit);
    canvas.SetWidth(6);
    canvas.SetHeight(3);
    const TColor red = RGBColor(255, 0, 0);
    canvas.Canvas().SetBrushColor(red);
    canvas.Canvas().FillRect(TRect{0, 0, 6, 3});
    canvas.Canvas().Draw(1, 1, loaded.image.get());
    const uint8_t indices[] = {0, 2, 1, 2, 2, 3, 2, 0};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 5 && y >= 1 && y < 3;
            const int index = inside ? indices[(y - 1) * 4 + x - 1] : 2;
            EXPECT_EQ(canvas.Canvas().GetPixel(x, y), index == 2 ? red : TableColor(index))
                << x << "," << y;
        }
    }
    // The mask marks exactly the transparent pixels.
    const HBITMAP& mask = loaded.image->Images()[0].Mask();
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(mask->Row(0)[0], 0x50);
    EXPECT_EQ(mask->Row(1)[0], 0xA0);

    // Without the transparent option the frame covers the canvas.
    loaded.image->SetDrawOptions(kGIFDefaultDrawOptions & ~kDrawTransparent);
    canvas.Canvas().Draw(1, 1, loaded.image.get());
    EXPECT_EQ(canvas.Canvas().GetPixel(2, 1), TableColor(2));
}

TEST(GIFBitmap, RenderingReportsProgress)
{
    TGIFBuilder gif;
    gif.Header(3, 70, 1).Image(0, 0, 3, 70, PatternPixels(3, 70, 4)).Trailer();
    TLoaded loaded = LoadGIF(gif.Bytes());
    std::vector<std::string> events;
    loaded.image->OnProgress = [&events](TGraphic&, TProgressStage stage, uint8_t percent, bool,
                                         const TRect&, const std::string& message) {
        events.push_back(std::to_string(int(stage)) + " " + std::to_string(percent) + " " +
                         message);
    };
    TBitmap bitmap;
    bitmap.AssignFrom(loaded.image.get());
    EXPECT_EQ(events,
              (std::vector<std::string>{"0 0 Rendering...", "1 0 Rendering...", "1 45 Rendering...",
                                        "1 91 Rendering...", "2 100 Rendering..."}));
}

TEST(GIFBitmap, DIBWriterRefusals)
{
    TBitmap bitmap;
    const auto message = [&bitmap](TPixelFormat format, int width, int height) {
        return MessageOf<GIFException>(
            [&] { TDIBWriter writer(bitmap, format, width, height, nullptr); }, "");
    };
    EXPECT_EQ(message(fmt32Bit, 2, 2), "Unsupported PixelFormat");
    EXPECT_EQ(message(fmt1Bit, 2, 2), "Unsupported PixelFormat");
    EXPECT_EQ(message(fmt8Bit, 0, 2), "Invalid image dimensions");
    EXPECT_EQ(message(fmt24Bit, 2, 0), "Invalid image dimensions");

    TDIBWriter writer(bitmap, fmt24Bit, 3, 2, nullptr);
    EXPECT_THROW(writer.RowPointer(2), EInvalidGraphicOperation);
    EXPECT_THROW(writer.RowPointer(-1), EInvalidGraphicOperation);
    const uint8_t top[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::memcpy(writer.RowPointer(0), top, 9);
    writer.Finish();
    EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit);
    EXPECT_EQ(bitmap.Canvas().GetPixel(1, 0), RGBColor(6, 5, 4));
    EXPECT_EQ(bitmap.Canvas().GetPixel(1, 1), clBlack);
}

TEST(GIFBitmap, ScreenOfNoSizeGivesNoPlaceToDrawAt)
{
    // The frame is placed by scaling with the screen size; a screen of 0 x 0 must not divide
    // by zero.
    TGIFBuilder gif;
    gif.Header(0, 0, 1).Image(0, 0, 2, 2, {0, 1, 2, 3}).Trailer();
    TLoaded loaded = LoadGIF(gif.Bytes());
    TBitmap bitmap;
    bitmap.AssignFrom(loaded.image.get());
    EXPECT_TRUE(bitmap.Empty());
    TBitmap target;
    target.SetPixelFormat(fmt24Bit);
    target.SetWidth(3);
    target.SetHeight(3);
    loaded.image->Draw(target.Canvas(), TRect{0, 0, 3, 3});
    EXPECT_EQ(target.Canvas().GetPixel(0, 0), clWhite);
}
