// The bitmap in memory: its states, row layout, copy-on-write sharing, resizing, pixel
// format conversion and the default transparent colour.

#include "graphics/Bitmap.h"
#include "runtime/Exceptions.h"

#include "BmpBuilder.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kapto;
using namespace bmptest;

namespace {

// A 24-bit bitmap whose pixel (x, y) is RGB(x * 40, y * 40, 200).
void MakeGradient(TBitmap& bitmap, int32_t width, int32_t height)
{
    bitmap.SetPixelFormat(fmt24Bit);
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            bitmap.Canvas().SetPixel(x, y, RGBColor(uint8_t(x * 40), uint8_t(y * 40), 200));
        }
    }
}

// An indexed bitmap read from a file whose pixel (x, y) is colour-table entry (x + y) % n.
void LoadIndexed(TBitmap& bitmap, unsigned bitCount, const std::vector<uint32_t>& table)
{
    TBmpFile file;
    file.Width = 5;
    file.Height = 3;
    file.BitCount = uint16_t(bitCount);
    file.Colors = table;
    file.ColorsUsed = uint32_t(table.size());
    file.Pixels = PackRows(5, 3, bitCount,
                           [&](int32_t x, int32_t y) { return uint32_t(x + y) % table.size(); });
    LoadBytes(bitmap, BuildBmp(file));
}

TColor FromTable(uint32_t entry)
{
    return RGBColor(uint8_t(entry >> 16), uint8_t(entry >> 8), uint8_t(entry));
}

} // namespace

TEST(BitmapTest, NewBitmapIsEmptyDeviceImage)
{
    TBitmap bitmap;
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.PixelFormat(), fmtDevice);
}

TEST(BitmapTest, FormatBeforeSizeGivesWhiteBottomUpRows)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(fmt24Bit);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit);
    bitmap.SetWidth(3);
    EXPECT_TRUE(bitmap.Empty());
    bitmap.SetHeight(2);
    ASSERT_FALSE(bitmap.Empty());
    EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit);

    uint8_t* top = bitmap.RowAddress(0);
    uint8_t* bottom = bitmap.RowAddress(1);
    // Bottom-up: the top row is stored second, one 12-byte stride after the bottom row.
    EXPECT_EQ(top - bottom, 12);
    const uint8_t expected[12] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0};
    EXPECT_EQ(std::memcmp(top, expected, 12), 0);
    EXPECT_EQ(std::memcmp(bottom, expected, 12), 0);

    bitmap.Canvas().SetPixel(0, 0, RGBColor(1, 2, 3));
    EXPECT_EQ(top[0], 3);
    EXPECT_EQ(top[2], 1);
}

TEST(BitmapTest, SizeWithoutFormatGivesWhiteDeviceImage)
{
    TBitmap bitmap;
    bitmap.SetWidth(3);
    bitmap.SetHeight(2);
    EXPECT_FALSE(bitmap.Empty());
    EXPECT_EQ(bitmap.PixelFormat(), fmtDevice);
    for (TColor color : CanvasPixels(bitmap)) {
        EXPECT_EQ(color, clWhite);
    }
}

TEST(BitmapTest, PixelsOutsideReadInvalid)
{
    TBitmap bitmap;
    MakeGradient(bitmap, 3, 2);
    TCanvas& canvas = bitmap.Canvas();
    EXPECT_EQ(canvas.GetPixel(-1, 0), clInvalid);
    EXPECT_EQ(canvas.GetPixel(3, 0), clInvalid);
    EXPECT_EQ(canvas.GetPixel(0, 2), clInvalid);
    EXPECT_EQ(canvas.GetPixel(0, -1), clInvalid);
    EXPECT_EQ(canvas.GetPixel(2, 1), RGBColor(80, 40, 200));
    canvas.SetPixel(3, 0, clBlack); // outside: ignored
    canvas.SetPixel(-1, 1, clBlack);
    EXPECT_EQ(canvas.GetPixel(2, 0), RGBColor(80, 0, 200));
}

TEST(BitmapTest, RowIndexOutsideRaises)
{
    TBitmap bitmap;
    MakeGradient(bitmap, 3, 2);
    for (int32_t row : {-1, 2, INT32_MIN}) {
        try {
            bitmap.RowAddress(row);
            FAIL() << row;
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_EQ(e.Message(), "スキャンライン のインデックスが範囲を越えました");
        }
    }
    TBitmap empty;
    EXPECT_THROW(empty.RowAddress(0), EInvalidGraphicOperation);
}

TEST(BitmapTest, AssignedBitmapsShareUntilOneChanges)
{
    TBitmap source;
    MakeGradient(source, 4, 3);
    TBitmap copy;
    copy.AssignFrom(&source);
    EXPECT_TRUE(copy.IsShared());
    EXPECT_EQ(CanvasPixels(copy), CanvasPixels(source));

    const std::vector<TColor> before = CanvasPixels(source);
    copy.Canvas().SetPixel(1, 1, clBlack);
    EXPECT_EQ(CanvasPixels(source), before);
    EXPECT_EQ(copy.Canvas().GetPixel(1, 1), clBlack);
    EXPECT_FALSE(source.IsShared());

    // Row writes through the source after a new assignment must not reach the copy either.
    copy.AssignFrom(&source);
    source.RowAddress(0)[0] = 0x11;
    EXPECT_EQ(copy.Canvas().GetPixel(0, 0), before[0]);
    EXPECT_EQ(BlueOf(source.Canvas().GetPixel(0, 0)), 0x11);

    // Resizing and converting a shared image leave the other one alone.
    TBitmap third;
    third.AssignFrom(&copy);
    third.SetWidth(2);
    third.SetPixelFormat(fmt8Bit);
    EXPECT_EQ(copy.Width(), 4);
    EXPECT_EQ(copy.PixelFormat(), fmt24Bit);
}

TEST(BitmapTest, UnsharedBitmapWritesInPlace)
{
    TBitmap bitmap;
    MakeGradient(bitmap, 4, 3);
    const uint8_t* row = bitmap.RowAddress(2);
    bitmap.Canvas().SetPixel(0, 0, clBlack);
    EXPECT_EQ(bitmap.RowAddress(2), row);
}

TEST(BitmapTest, SettingTheSameSizeSendsNoChange)
{
    TBitmap bitmap;
    MakeGradient(bitmap, 4, 3);
    int changes = 0;
    bitmap.OnChange = [&](TPersistent&) { ++changes; };
    bitmap.SetWidth(4);
    bitmap.SetHeight(3);
    EXPECT_EQ(changes, 0);
    bitmap.SetWidth(5);
    EXPECT_EQ(changes, 1);
}

TEST(BitmapTest, ResizingKeepsTopLeftAndFillsWhite)
{
    TBitmap bitmap;
    MakeGradient(bitmap, 3, 2);
    const std::vector<TColor> old = CanvasPixels(bitmap);
    bitmap.SetWidth(5);
    bitmap.SetHeight(4);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            const TColor expected = x < 3 && y < 2 ? old[size_t(y * 3 + x)] : clWhite;
            EXPECT_EQ(bitmap.Canvas().GetPixel(x, y), expected) << x << "," << y;
        }
    }
    bitmap.SetWidth(2);
    bitmap.SetHeight(1);
    EXPECT_EQ(CanvasPixels(bitmap), (std::vector<TColor>{old[0], old[1]}));

    // A device image grows the same way.
    TBitmap device;
    device.SetWidth(2);
    device.SetHeight(2);
    device.Canvas().SetPixel(1, 1, clBlack);
    device.SetHeight(3);
    EXPECT_EQ(device.Canvas().GetPixel(1, 1), clBlack);
    EXPECT_EQ(device.Canvas().GetPixel(1, 2), clWhite);
}

TEST(BitmapTest, SizesNoImageCanHaveRaiseAndKeepTheImage)
{
    // An empty image keeps a size without allocating, so a bad one must be refused at once,
    // not when the other side is set later.
    struct TRow
    {
        const char* Name;
        TPixelFormat Format;
        bool IsHeight;
        int32_t Value;
    };
    const TRow rows[] = {
        {"device height -2^31", fmtDevice, true, INT32_MIN},
        {"24-bit height -2^31", fmt24Bit, true, INT32_MIN},
        {"24-bit height 2^20 + 1", fmt24Bit, true, (1 << 20) + 1},
        {"24-bit width 2^31 - 1", fmt24Bit, false, INT32_MAX},
        {"device width -2^20 - 1", fmtDevice, false, -(1 << 20) - 1},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TBitmap bitmap;
        bitmap.SetPixelFormat(row.Format);
        try {
            row.IsHeight ? bitmap.SetHeight(row.Value) : bitmap.SetWidth(row.Value);
            ADD_FAILURE() << "accepted";
        } catch (const EOutOfResources& e) {
            EXPECT_EQ(e.Message(), "システム リソースが足りません");
        }
        EXPECT_EQ(bitmap.Width(), 0);
        EXPECT_EQ(bitmap.Height(), 0);
        bitmap.SetPixelFormat(fmt32Bit);
        bitmap.SetWidth(2);
        bitmap.SetHeight(2);
        EXPECT_EQ(bitmap.Canvas().GetPixel(1, 1), clWhite);
    }
}

TEST(BitmapTest, IndexedImagesKeepTheirColoursAt24Bits)
{
    struct TRow
    {
        const char* Name;
        unsigned BitCount;
        std::vector<uint32_t> Table;
    };
    const TRow rows[] = {
        {"1 bit", 1, {0x123456, 0xFEDCBA}},
        {"4 bits", 4, {0x000000, 0x800000, 0x00FF00, 0x0000FF, 0xABCDEF, 0x010203}},
        {"8 bits", 8, {0x102030, 0x405060, 0x708090, 0xA0B0C0, 0xD0E0F0, 0xFFFFFF, 0x7F7F7F}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TBitmap bitmap;
        LoadIndexed(bitmap, row.BitCount, row.Table);
        bitmap.SetPixelFormat(fmt24Bit);
        EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit);
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < 5; ++x) {
                EXPECT_EQ(bitmap.Canvas().GetPixel(x, y),
                          FromTable(row.Table[size_t(x + y) % row.Table.size()]))
                    << x << "," << y;
            }
        }
    }
}

TEST(BitmapTest, TrueColourImagesTakeTheNearestIndexedColour)
{
    const TColor red = RGBColor(255, 0, 0);
    const TColor light = RGBColor(204, 204, 204);
    struct TRow
    {
        const char* Name;
        TPixelFormat Format;
        std::vector<TColor> Expected;
    };
    const TRow rows[] = {
        {"1 bit", fmt1Bit, {clBlack, clWhite, clBlack, clWhite}},
        {"4 bits", fmt4Bit, {clBlack, clWhite, red, RGBColor(192, 192, 192)}},
        {"8 bits", fmt8Bit, {clBlack, clWhite, red, light}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TBitmap bitmap;
        bitmap.SetPixelFormat(fmt24Bit);
        bitmap.SetWidth(4);
        bitmap.SetHeight(1);
        bitmap.Canvas().SetPixel(0, 0, clBlack);
        bitmap.Canvas().SetPixel(2, 0, red);
        bitmap.Canvas().SetPixel(3, 0, light);
        bitmap.SetPixelFormat(row.Format);
        EXPECT_EQ(CanvasPixels(bitmap), row.Expected);
        // The written file carries the colour table its pixels index.
        TBitmap reread;
        LoadBytes(reread, SaveBytes(bitmap));
        EXPECT_EQ(CanvasPixels(reread), row.Expected);
    }
}

TEST(BitmapTest, SixteenBitMasksClassifyTheFormat)
{
    struct TRow
    {
        const char* Name;
        uint16_t BitCount;
        uint32_t Compression;
        std::vector<uint32_t> Masks;
        TPixelFormat Expected;
    };
    const TRow rows[] = {
        {"5-5-5 default", 16, 0, {}, fmt15Bit},
        {"5-6-5", 16, 3, {0xF800, 0x07E0, 0x001F}, fmt16Bit},
        {"5-5-5 as bit fields", 16, 3, {0x7C00, 0x03E0, 0x001F}, fmtCustom},
        {"4-4-4", 16, 3, {0x0F00, 0x00F0, 0x000F}, fmtCustom},
        {"32 default", 32, 0, {}, fmt32Bit},
        {"32 bit fields", 32, 3, {0xFF0000, 0x00FF00, 0x0000FF}, fmtCustom},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TBmpFile file;
        file.BitCount = row.BitCount;
        file.Compression = row.Compression;
        file.Masks = row.Masks;
        file.Pixels = PackRows(4, 2, row.BitCount, [](int32_t, int32_t) { return 0u; });
        TBitmap bitmap;
        LoadBytes(bitmap, BuildBmp(file));
        EXPECT_EQ(bitmap.PixelFormat(), row.Expected);
    }
}

TEST(BitmapTest, CustomFormatRequestRaisesAndKeepsImage)
{
    TBitmap bitmap;
    MakeGradient(bitmap, 3, 2);
    const std::vector<TColor> before = CanvasPixels(bitmap);
    try {
        bitmap.SetPixelFormat(fmtCustom);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), "画像フォーマットが不正です");
    }
    EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit);
    EXPECT_EQ(CanvasPixels(bitmap), before);
}

TEST(BitmapTest, DefaultTransparencyColorIsBottomLeftPixel)
{
    TBitmap bitmap;
    MakeGradient(bitmap, 3, 2);
    EXPECT_EQ(bitmap.TransparencyColor(), RGBColor(0, 40, 200) | 0x02000000);
    bitmap.SetTransparencyColor(clBlack);
    EXPECT_EQ(bitmap.TransparencyColor(), 0x02000000);
    EXPECT_EQ(bitmap.TransparentMode(), TTransparentMode::Fixed);

    TBitmap monochrome;
    monochrome.SetPixelFormat(fmt1Bit);
    monochrome.SetWidth(2);
    monochrome.SetHeight(2);
    monochrome.Canvas().SetPixel(0, 1, clBlack);
    EXPECT_EQ(monochrome.TransparencyColor(), 0x02FFFFFF);

    // An empty image has no bottom-left pixel: the read falls outside the picture.
    TBitmap empty;
    EXPECT_EQ(empty.TransparencyColor(), clInvalid);
}

TEST(BitmapTest, EmptyBitmapCanvasReadsNothingAndWritesNothing)
{
    TBitmap bitmap;
    EXPECT_EQ(bitmap.Canvas().GetPixel(0, 0), clInvalid);
    bitmap.Canvas().SetPixel(0, 0, clWhite);
    EXPECT_TRUE(bitmap.Empty());
}

TEST(BitmapTest, MaskMarksTheTransparentColourAndFollowsChanges)
{
    TBitmap bitmap;
    MakeGradient(bitmap, 3, 2);
    const TColor key = RGBColor(40, 0, 200);
    bitmap.SetTransparencyColor(key);
    auto maskedPixels = [&bitmap] {
        const HBITMAP mask = bitmap.RequireMaskHandle();
        std::vector<std::pair<int32_t, int32_t>> masked;
        for (int32_t y = 0; y < mask->Height(); ++y) {
            for (int32_t x = 0; x < mask->Width(); ++x) {
                if ((mask->Row(y)[x >> 3] & (0x80 >> (x & 7))) != 0) {
                    masked.emplace_back(x, y);
                }
            }
        }
        return masked;
    };
    using TPixels = std::vector<std::pair<int32_t, int32_t>>;
    EXPECT_EQ(maskedPixels(), (TPixels{{1, 0}}));
    // A mask made before a pixel changed would miss the new key pixel.
    bitmap.Canvas().SetPixel(2, 1, key);
    EXPECT_EQ(maskedPixels(), (TPixels{{1, 0}, {2, 1}}));
}
