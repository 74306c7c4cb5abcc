// BMP reading and writing: every depth and header version, the byte layout of written
// files, malformed headers and data, run-length data, and roundtrips at awkward sizes.

#include "graphics/Bitmap.h"
#include "runtime/Exceptions.h"
#include "support/ImageLimit.h"
#include "support/TempDir.h"

#include "BmpBuilder.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kapto;
using namespace bmptest;

namespace {

const char kInvalidBitmap[] = "ビットマップイメージが不正です";
const char kReadError[] = "ストリームからの読み込みエラー";

// A 16-entry table whose entry i is RGB(16 i, 255 - 16 i, 7 i).
std::vector<uint32_t> Ramp(size_t count)
{
    std::vector<uint32_t> table;
    for (size_t i = 0; i < count; ++i) {
        table.push_back(uint32_t((i * 16 % 256) << 16 | (255 - i * 16 % 256) << 8 | (i * 7 % 256)));
    }
    return table;
}

TColor FromRGB(uint32_t rgb)
{
    return RGBColor(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
}

// The picture every depth test encodes: 5 x 3, a different colour per pixel.
uint32_t PictureRGB(int32_t x, int32_t y)
{
    return uint32_t((x * 50) << 16 | (y * 100) << 8 | (255 - x * 20 - y * 10));
}

} // namespace

TEST(BitmapFileTest, EveryDepthAndHeaderVersionDecodes)
{
    // Each row encodes the 5 x 3 picture exactly (16-bit rows use colours whose channels
    // survive 5 or 6 bits: 0 and 255 only).
    struct TRow
    {
        const char* Name;
        uint32_t HeaderSize;
        uint16_t BitCount;
        uint32_t Compression;
        std::vector<uint32_t> Masks;
        bool TopDown;
        TPixelFormat Format;
    };
    const TRow rows[] = {
        {"1 bit core", 12, 1, 0, {}, false, fmt1Bit},
        {"4 bits core", 12, 4, 0, {}, false, fmt4Bit},
        {"8 bits core", 12, 8, 0, {}, false, fmt8Bit},
        {"24 bits core", 12, 24, 0, {}, false, fmt24Bit},
        {"1 bit", 40, 1, 0, {}, false, fmt1Bit},
        {"4 bits", 40, 4, 0, {}, false, fmt4Bit},
        {"8 bits", 40, 8, 0, {}, false, fmt8Bit},
        {"8 bits top-down", 40, 8, 0, {}, true, fmt8Bit},
        {"8 bits V4", 108, 8, 0, {}, false, fmt8Bit},
        {"8 bits V5", 124, 8, 0, {}, false, fmt8Bit},
        {"16 bits 5-5-5", 40, 16, 0, {}, false, fmt15Bit},
        {"16 bits 5-6-5", 40, 16, 3, {0xF800, 0x07E0, 0x001F}, false, fmt16Bit},
        {"16 bits 5-6-5 V2", 52, 16, 3, {0xF800, 0x07E0, 0x001F}, false, fmt16Bit},
        {"16 bits 5-6-5 V4", 108, 16, 3, {0xF800, 0x07E0, 0x001F}, true, fmt16Bit},
        {"24 bits", 40, 24, 0, {}, false, fmt24Bit},
        {"24 bits top-down", 40, 24, 0, {}, true, fmt24Bit},
        {"24 bits V5", 124, 24, 0, {}, false, fmt24Bit},
        {"32 bits", 40, 32, 0, {}, false, fmt32Bit},
        {"32 bits fields", 40, 32, 3, {0xFF000000, 0x00FF0000, 0x0000FF00}, false, fmtCustom},
        {"32 bits fields V3", 56, 32, 3, {0x000000FF, 0x0000FF00, 0x00FF0000}, false, fmtCustom},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TBmpFile file;
        file.HeaderSize = row.HeaderSize;
        file.Width = 5;
        file.Height = row.TopDown ? -3 : 3;
        file.BitCount = row.BitCount;
        file.Compression = row.Compression;
        file.Masks = row.Masks;
        std::function<uint32_t(int32_t, int32_t)> rgb = PictureRGB;
        std::function<uint32_t(int32_t, int32_t)> stored;
        if (row.BitCount <= 8) {
            const size_t count = size_t(1) << row.BitCount;
            std::vector<uint32_t> table(count, 0);
            for (int32_t i = 0; i < 15; ++i) {
                table[size_t(i) % count] = PictureRGB(i % 5, i / 5);
            }
            file.Colors = table;
            rgb = [table, count](int32_t x, int32_t y) { return table[size_t(y * 5 + x) % count]; };
            stored = [count](int32_t x, int32_t y) { return uint32_t(y * 5 + x) % count; };
        } else if (row.BitCount == 16) {
            rgb = [](int32_t x, int32_t y) {
                const int32_t i = y * 5 + x;
                return uint32_t(((i & 1) ? 0xFF0000 : 0) | ((i & 2) ? 0xFF00 : 0) |
                                ((i & 4) ? 0xFF : 0));
            };
            const bool six = row.Compression == 3;
            stored = [rgb, six](int32_t x, int32_t y) {
                const uint32_t c = rgb(x, y);
                const uint32_t r = (c >> 16) ? 31 : 0, g = ((c >> 8) & 0xFF) ? (six ? 63 : 31) : 0,
                               b = (c & 0xFF) ? 31 : 0;
                return six ? (r << 11 | g << 5 | b) : (r << 10 | g << 5 | b);
            };
        } else if (!row.Masks.empty()) {
            const std::vector<uint32_t> masks = row.Masks;
            stored = [masks](int32_t x, int32_t y) {
                const uint32_t c = PictureRGB(x, y);
                auto place = [](uint32_t value, uint32_t mask) {
                    unsigned shift = 0;
                    while ((mask >> shift & 1) == 0) {
                        ++shift;
                    }
                    return value << shift;
                };
                return place(c >> 16, masks[0]) | place((c >> 8) & 0xFF, masks[1]) |
                       place(c & 0xFF, masks[2]);
            };
        } else {
            stored = [](int32_t x, int32_t y) { return PictureRGB(x, y); };
        }
        file.Pixels = PackRows(5, 3, row.BitCount, stored, row.TopDown);
        TBitmap bitmap;
        LoadBytes(bitmap, BuildBmp(file));
        ASSERT_EQ(bitmap.Width(), 5);
        ASSERT_EQ(bitmap.Height(), 3);
        EXPECT_EQ(bitmap.PixelFormat(), row.Format);
        EXPECT_EQ(bitmap.Image().CoreHeader, row.HeaderSize == 12);
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < 5; ++x) {
                EXPECT_EQ(bitmap.Canvas().GetPixel(x, y), FromRGB(rgb(x, y))) << x << "," << y;
            }
        }
    }
}

TEST(BitmapFileTest, EmptyStreamLoadsEmptyBitmap)
{
    TBitmap bitmap;
    bitmap.SetWidth(2);
    bitmap.SetHeight(2);
    LoadBytes(bitmap, {});
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_TRUE(SaveBytes(bitmap).empty());

    TTempDir folder;
    WriteFileBytes(folder.Path("empty.bmp"), {});
    bitmap.LoadFile(folder.Path("empty.bmp"));
    EXPECT_TRUE(bitmap.Empty());
}

TEST(BitmapFileTest, Converted24BitOutputLayout)
{
    // A 3 x 2 picture made in memory is written as 54 + 2 * 12 bytes.
    TBitmap bitmap;
    bitmap.SetPixelFormat(fmt24Bit);
    bitmap.SetWidth(3);
    bitmap.SetHeight(2);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            bitmap.Canvas().SetPixel(x, y, FromRGB(PictureRGB(x, y)));
        }
    }
    TBmpFile expected;
    expected.Width = 3;
    expected.Height = 2;
    expected.Pixels = PackRows(3, 2, 24, PictureRGB);
    const std::vector<uint8_t> bytes = SaveBytes(bitmap);
    EXPECT_EQ(bytes, BuildBmp(expected));
    EXPECT_EQ(bytes.size(), 54u + 24u);
}

TEST(BitmapFileTest, PaletteSourceIsWrittenWithItsColourTable)
{
    // An 8-bit file with a 6-entry table, converted to 24 bits: the palette follows the
    // 40-byte header, colours used 6, pixel offset 54 + 24.
    TBmpFile source;
    source.Width = 5;
    source.Height = 3;
    source.BitCount = 8;
    source.Colors = Ramp(6);
    source.ColorsUsed = 6;
    source.XPelsPerMeter = 2835;
    source.YPelsPerMeter = 2835;
    source.Pixels = PackRows(5, 3, 8, [](int32_t x, int32_t y) { return uint32_t(x + y) % 6; });
    TBitmap bitmap;
    LoadBytes(bitmap, BuildBmp(source));
    bitmap.SetPixelFormat(fmt24Bit);

    TBmpFile expected;
    expected.Width = 5;
    expected.Height = 3;
    expected.Colors = Ramp(6);
    expected.ColorsUsed = 6;
    const std::vector<uint32_t> table = Ramp(6);
    expected.Pixels =
        PackRows(5, 3, 24, [&](int32_t x, int32_t y) { return table[size_t(x + y) % 6]; });
    const std::vector<uint8_t> bytes = SaveBytes(bitmap);
    EXPECT_EQ(bytes, BuildBmp(expected));
    EXPECT_EQ(Get32(bytes, 10), 54u + 4 * 6);
}

TEST(BitmapFileTest, CoreHeaderSourceIsWrittenWithCoreHeader)
{
    TBmpFile source;
    source.HeaderSize = 12;
    source.Width = 5;
    source.Height = 3;
    source.BitCount = 8;
    source.Colors = Ramp(256);
    source.Pixels = PackRows(5, 3, 8, [](int32_t x, int32_t y) { return uint32_t(x * 3 + y); });
    TBitmap bitmap;
    LoadBytes(bitmap, BuildBmp(source));
    // Unchanged: the same 8-bit core file.
    EXPECT_EQ(SaveBytes(bitmap), BuildBmp(source));

    bitmap.SetPixelFormat(fmt24Bit);
    TBmpFile expected;
    expected.HeaderSize = 12;
    expected.Width = 5;
    expected.Height = 3;
    const std::vector<uint32_t> table = Ramp(256);
    expected.Pixels =
        PackRows(5, 3, 24, [&](int32_t x, int32_t y) { return table[size_t(x * 3 + y)]; });
    const std::vector<uint8_t> bytes = SaveBytes(bitmap);
    EXPECT_EQ(bytes, BuildBmp(expected));
    EXPECT_EQ(bytes.size(), 26u + 3 * 16);

    // Grown past what 16 bits hold, it falls back to the info header.
    bitmap.SetWidth(70000);
    const std::vector<uint8_t> wide = SaveBytes(bitmap);
    EXPECT_EQ(Get32(wide, 14), 40u);
    EXPECT_EQ(Get32(wide, 18), 70000u);

    // Colour masks have no place in a core header either: 5-6-5 keeps its masks.
    TBitmap masked;
    LoadBytes(masked, BuildBmp(source));
    masked.SetPixelFormat(fmt16Bit);
    const std::vector<uint8_t> sixteen = SaveBytes(masked);
    EXPECT_EQ(Get32(sixteen, 14), 40u);
    EXPECT_EQ(Get32(sixteen, 54), 0xF800u);
    TBitmap reread;
    LoadBytes(reread, sixteen);
    EXPECT_EQ(reread.PixelFormat(), fmt16Bit);
}

TEST(BitmapFileTest, UnconvertedFilesAreWrittenBackAsRead)
{
    // Files whose every field is what the writer produces come back byte for byte.
    struct TRow
    {
        const char* Name;
        TBmpFile File;
    };
    std::vector<TRow> rows;
    {
        TBmpFile f;
        f.Width = 5;
        f.Height = -3;
        f.XPelsPerMeter = 3780;
        f.YPelsPerMeter = 1890;
        f.Pixels = PackRows(5, 3, 24, PictureRGB, true);
        rows.push_back({"24 bits top-down", f});
    }
    {
        TBmpFile f;
        f.Width = 5;
        f.Height = 3;
        f.Colors = Ramp(7);
        f.ColorsUsed = 7;
        f.ColorsImportant = 3;
        f.Pixels = PackRows(5, 3, 24, PictureRGB);
        rows.push_back({"24 bits with a 7-entry table", f});
    }
    {
        TBmpFile f;
        f.Width = 47;
        f.Height = 3;
        f.BitCount = 16;
        f.Compression = 3;
        f.Masks = {0xF800, 0x07E0, 0x001F};
        f.Pixels = PackRows(47, 3, 16, [](int32_t x, int32_t y) { return uint32_t(x * 977 + y); });
        rows.push_back({"16 bits 5-6-5", f});
    }
    {
        TBmpFile f;
        f.Width = 33;
        f.Height = 2;
        f.BitCount = 4;
        f.Colors = Ramp(16);
        f.ColorsUsed = 16;
        f.Pixels = PackRows(33, 2, 4, [](int32_t x, int32_t y) { return uint32_t(x + y) % 16; });
        rows.push_back({"4 bits", f});
    }
    {
        TBmpFile f;
        f.Width = 9;
        f.Height = 2;
        f.BitCount = 1;
        f.Colors = {0x102030, 0xF0E0D0};
        f.ColorsUsed = 2;
        f.Pixels = PackRows(9, 2, 1, [](int32_t x, int32_t y) { return uint32_t(x + y) % 2; });
        rows.push_back({"1 bit", f});
    }
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TBitmap bitmap;
        const std::vector<uint8_t> bytes = BuildBmp(row.File);
        LoadBytes(bitmap, bytes);
        EXPECT_EQ(SaveBytes(bitmap), bytes);
        // And a 24-bit source stays as it is when the converter asks for 24 bits.
        bitmap.SetPixelFormat(fmt24Bit);
        if (row.File.BitCount == 24) {
            EXPECT_EQ(SaveBytes(bitmap), bytes);
        }
    }
}

namespace {

// RLE8 data for a 4 x 3 image: row 0 (bottom) = 1 1 2 2, row 1 = absolute 3 4 5, then end.
std::vector<uint8_t> Rle8Data()
{
    return {2, 1, 2, 2, 0, 0, 0, 3, 3, 4, 5, 0, 0, 0, 0, 1};
}

TBmpFile Rle8File(std::vector<uint8_t> data, int32_t height = 3)
{
    TBmpFile f;
    f.Width = 4;
    f.Height = height;
    f.BitCount = 8;
    f.Compression = 1;
    f.Colors = Ramp(6);
    f.ColorsUsed = 6;
    f.Pixels = std::move(data);
    return f;
}

} // namespace

TEST(BitmapFileTest, RunLengthDataDecodesAndIsKeptAsRead)
{
    const std::vector<uint8_t> bytes = BuildBmp(Rle8File(Rle8Data()));
    TBitmap bitmap;
    LoadBytes(bitmap, bytes);
    EXPECT_EQ(bitmap.PixelFormat(), fmtDevice);
    const std::vector<uint32_t> table = Ramp(6);
    const std::vector<TColor> expected = {
        clBlack,           clBlack,           clBlack,           clBlack,
        FromRGB(table[3]), FromRGB(table[4]), FromRGB(table[5]), clBlack,
        FromRGB(table[1]), FromRGB(table[1]), FromRGB(table[2]), FromRGB(table[2]),
    };
    EXPECT_EQ(CanvasPixels(bitmap), expected);
    // Unchanged, the compressed bytes go out again behind a new file header.
    EXPECT_EQ(SaveBytes(bitmap), bytes);

    // Once changed, the image is written as pixels, not as the old data.
    bitmap.SetPixelFormat(fmt24Bit);
    const std::vector<uint8_t> converted = SaveBytes(bitmap);
    EXPECT_EQ(Get32(converted, 30), 0u);
    TBitmap reread;
    LoadBytes(reread, converted);
    EXPECT_EQ(CanvasPixels(reread), expected);

    // A top-down RLE image is decoded top-down.
    TBitmap topDown;
    LoadBytes(topDown, BuildBmp(Rle8File(Rle8Data(), -3)));
    std::vector<TColor> flipped(expected.begin() + 8, expected.end());
    flipped.insert(flipped.end(), expected.begin() + 4, expected.begin() + 8);
    flipped.insert(flipped.end(), expected.begin(), expected.begin() + 4);
    EXPECT_EQ(CanvasPixels(topDown), flipped);
}

TEST(BitmapFileTest, RunLengthDataNeverWritesOutsideTheImage)
{
    const std::vector<uint32_t> table = Ramp(6);
    const TColor one = FromRGB(table[1]);
    const TColor two = FromRGB(table[2]);
    struct TRow
    {
        const char* Name;
        std::vector<uint8_t> Data;
        std::vector<TColor> Expected; // 4 x 3, from the top
    };
    const TColor k = clBlack;
    const TRow rows[] = {
        {"run past the row end does not wrap",
         {255, 1, 0, 0, 2, 2},
         {k, k, k, k, two, two, k, k, one, one, one, one}},
        {"absolute run past the row end",
         {0, 6, 1, 1, 1, 1, 2, 2, 0, 0, 1, 2},
         {k, k, k, k, two, k, k, k, one, one, one, one}},
        {"delta past the bottom",
         {1, 1, 0, 2, 1, 200, 4, 2},
         {k, k, k, k, k, k, k, k, one, k, k, k}},
        {"delta past the right edge",
         {0, 2, 250, 0, 3, 2, 0, 0, 1, 1},
         {k, k, k, k, one, k, k, k, k, k, k, k}},
        {"more lines than the image",
         {1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 2, 0, 0, 4, 2},
         {one, k, k, k, one, k, k, k, one, k, k, k}},
        {"absolute run cut off by the end of data",
         {1, 2, 0, 200, 1, 1},
         {k, k, k, k, k, k, k, k, two, k, k, k}},
        {"delta cut off by the end of data",
         {1, 2, 0, 2, 1},
         {k, k, k, k, k, k, k, k, two, k, k, k}},
        {"odd trailing byte", {1, 2, 0}, {k, k, k, k, k, k, k, k, two, k, k, k}},
        {"no data", {}, {k, k, k, k, k, k, k, k, k, k, k, k}},
        {"index beyond the table reads black",
         {2, 9, 1, 5},
         {k, k, k, k, k, k, k, k, k, k, FromRGB(table[5]), k}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TBitmap bitmap;
        LoadBytes(bitmap, BuildBmp(Rle8File(row.Data)));
        EXPECT_EQ(CanvasPixels(bitmap), row.Expected);
    }

    // RLE4: runs alternate two indices; the run past the row stops at the edge.
    TBmpFile f = Rle8File({7, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1});
    f.BitCount = 4;
    f.Compression = 2;
    TBitmap rle4;
    LoadBytes(rle4, BuildBmp(f));
    const TColor three = FromRGB(table[3]);
    const TColor four = FromRGB(table[4]);
    const TColor five = FromRGB(table[5]);
    EXPECT_EQ(CanvasPixels(rle4),
              (std::vector<TColor>{k, k, k, k, three, four, five, k, one, two, one, two}));
}

TEST(BitmapFileTest, TruncatedPixelsLoadWithTheRestZero)
{
    TBmpFile f;
    f.Width = 2;
    f.Height = 2;
    f.Pixels = {0x10, 0x20, 0x30, 0x40, 0x50};
    f.SizeImage = 16;
    TBitmap bitmap;
    LoadBytes(bitmap, BuildBmp(f));
    EXPECT_EQ(CanvasPixels(bitmap),
              (std::vector<TColor>{clBlack, clBlack, RGBColor(0x30, 0x20, 0x10),
                                   RGBColor(0, 0x50, 0x40)}));
    // Pixels beyond the image size field are not read either.
    f.Pixels = PackRows(2, 2, 24, [](int32_t, int32_t) { return 0xFFFFFFu; });
    f.SizeImage = 8;
    LoadBytes(bitmap, BuildBmp(f));
    EXPECT_EQ(CanvasPixels(bitmap), (std::vector<TColor>{clBlack, clBlack, clWhite, clWhite}));
}

TEST(BitmapFileTest, MalformedFilesRaiseAndKeepThePreviousImage)
{
    const TImageByteLimitScope limit(kMinImageByteLimit);
    struct TRow
    {
        const char* Name;
        std::function<void(TBmpFile&)> Defect;
        std::function<void(std::vector<uint8_t>&)> Damage; // applied to the built bytes
        bool IsReadError;
    };
    auto none = [](std::vector<uint8_t>&) {};
    auto keep = [](TBmpFile&) {};
    const TRow rows[] = {
        {"13 bytes", keep, [](std::vector<uint8_t>& b) { b.resize(13); }, true},
        {"ends inside the info header", keep, [](std::vector<uint8_t>& b) { b.resize(40); }, true},
        {"ends inside the size field", keep, [](std::vector<uint8_t>& b) { b.resize(16); }, true},
        {"type BA", [](TBmpFile& f) { f.Type[1] = 'A'; }, none, false},
        {"planes 0", [](TBmpFile& f) { f.Planes = 0; }, none, false},
        {"planes 2", [](TBmpFile& f) { f.Planes = 2; }, none, false},
        {"core planes 2",
         [](TBmpFile& f) {
             f.HeaderSize = 12;
             f.Planes = 2;
         },
         none, false},
        {"header size 0", [](TBmpFile& f) { f.SizeField = 0; }, none, false},
        {"header size 11", [](TBmpFile& f) { f.SizeField = 11; }, none, false},
        {"header size 13", [](TBmpFile& f) { f.SizeField = 13; }, none, false},
        {"header size 39", [](TBmpFile& f) { f.SizeField = 39; }, none, false},
        {"header longer than the file", [](TBmpFile& f) { f.SizeField = 0x7FFFFFFF; }, none, true},
        {"header size 4 GiB", [](TBmpFile& f) { f.SizeField = 0xFFFFFFFF; }, none, true},
        {"colours used 257",
         [](TBmpFile& f) {
             f.BitCount = 8;
             f.ColorsUsed = 257;
             f.Colors = Ramp(257);
         },
         none, false},
        {"colours used 4 G", [](TBmpFile& f) { f.ColorsUsed = 0xFFFFFFFF; }, none, false},
        {"colour table cut short",
         [](TBmpFile& f) {
             f.BitCount = 8;
             f.Pixels.clear();
         },
         none, true},
        {"width 0", [](TBmpFile& f) { f.Width = 0; }, none, false},
        {"width -1", [](TBmpFile& f) { f.Width = -1; }, none, false},
        {"core width 0",
         [](TBmpFile& f) {
             f.HeaderSize = 12;
             f.Width = 0;
         },
         none, false},
        {"height 0", [](TBmpFile& f) { f.Height = 0; }, none, false},
        {"height -2^31", [](TBmpFile& f) { f.Height = INT32_MIN; }, none, false},
        {"width 2^20 + 1", [](TBmpFile& f) { f.Width = (1 << 20) + 1; }, none, false},
        {"height 2^20 + 1", [](TBmpFile& f) { f.Height = -((1 << 20) + 1); }, none, false},
        {"2^20 x 2^20 pixels",
         [](TBmpFile& f) {
             f.Width = 1 << 20;
             f.Height = 1 << 20;
         },
         none, false},
        {"768 MiB + 1 row",
         [](TBmpFile& f) {
             f.BitCount = 8;
             f.Colors = Ramp(256);
             f.Width = 32768;
             f.Height = 24577;
         },
         none, false},
        {"RLE8 of 2^20 x 2^10 device pixels",
         [](TBmpFile& f) {
             f.BitCount = 8;
             f.Compression = 1;
             f.Width = 1 << 20;
             f.Height = 1 << 10;
             f.Colors = Ramp(256);
         },
         none, false},
        {"bit count 0", [](TBmpFile& f) { f.BitCount = 0; }, none, false},
        {"bit count 2", [](TBmpFile& f) { f.BitCount = 2; }, none, false},
        {"bit count 64", [](TBmpFile& f) { f.BitCount = 64; }, none, false},
        {"bit fields at 24 bits",
         [](TBmpFile& f) {
             f.Compression = 3;
             f.Masks = {0xFF0000, 0xFF00, 0xFF};
         },
         none, false},
        {"bit fields without masks",
         [](TBmpFile& f) {
             f.HeaderSize = 44;
             f.BitCount = 16;
             f.Compression = 3;
         },
         none, false},
        {"bit field masks cut short",
         [](TBmpFile& f) {
             f.BitCount = 16;
             f.Compression = 3;
             f.Pixels.clear();
             f.Masks = {0xF800};
         },
         none, true},
        {"RLE8 at 4 bits",
         [](TBmpFile& f) {
             f.BitCount = 4;
             f.Compression = 1;
         },
         none, false},
        {"RLE4 at 8 bits",
         [](TBmpFile& f) {
             f.BitCount = 8;
             f.Compression = 2;
         },
         none, false},
        {"RLE8 at 24 bits", [](TBmpFile& f) { f.Compression = 1; }, none, false},
        {"embedded JPEG",
         [](TBmpFile& f) {
             f.HeaderSize = 124;
             f.Compression = 4;
         },
         none, false},
        {"embedded PNG",
         [](TBmpFile& f) {
             f.HeaderSize = 124;
             f.Compression = 5;
         },
         none, false},
        {"alpha bit fields", [](TBmpFile& f) { f.Compression = 6; }, none, false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TBmpFile file;
        file.Pixels = PackRows(4, 2, 24, PictureRGB);
        row.Defect(file);
        std::vector<uint8_t> bytes = BuildBmp(file);
        row.Damage(bytes);

        TBitmap bitmap;
        bitmap.SetPixelFormat(fmt24Bit);
        bitmap.SetWidth(1);
        bitmap.SetHeight(1);
        bitmap.Canvas().SetPixel(0, 0, RGBColor(255, 0, 0));
        try {
            LoadBytes(bitmap, bytes);
            ADD_FAILURE() << "loaded";
        } catch (const EReadError& e) {
            EXPECT_TRUE(row.IsReadError);
            EXPECT_EQ(e.Message(), kReadError);
        } catch (const EInvalidGraphic& e) {
            EXPECT_FALSE(row.IsReadError);
            EXPECT_EQ(e.Message(), kInvalidBitmap);
        } catch (const EPictureTooLarge& e) {
            // A size within the side limits but beyond the memory allowed says so.
            EXPECT_FALSE(row.IsReadError);
            EXPECT_NE(e.Message().find("MiB が必要です"), std::string::npos);
        }
        EXPECT_EQ(bitmap.Width(), 1);
        EXPECT_EQ(bitmap.Canvas().GetPixel(0, 0), RGBColor(255, 0, 0));
    }
}

TEST(BitmapFileTest, LimitsAcceptTheLargestAllowedValue)
{
    struct TRow
    {
        const char* Name;
        std::function<void(TBmpFile&)> Change;
    };
    const TRow rows[] = {
        {"header size 40 with a gap after it", [](TBmpFile& f) { f.HeaderSize = 41; }},
        {"colours used 256",
         [](TBmpFile& f) {
             f.BitCount = 8;
             f.ColorsUsed = 256;
             f.Colors = Ramp(256);
             f.Pixels = PackRows(4, 2, 8, [](int32_t x, int32_t) { return uint32_t(x); });
         }},
        {"width 1", [](TBmpFile& f) { f.Width = 1; }},
        {"width 2^20 at 1 bit",
         [](TBmpFile& f) {
             f.BitCount = 1;
             f.Colors = {0, 0xFFFFFF};
             f.Width = 1 << 20;
             f.Height = -1;
         }},
        {"planes 1 in a core header", [](TBmpFile& f) { f.HeaderSize = 12; }},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TBmpFile file;
        file.Pixels = PackRows(4, 2, 24, PictureRGB);
        row.Change(file);
        TBitmap bitmap;
        EXPECT_NO_THROW(LoadBytes(bitmap, BuildBmp(file)));
        EXPECT_EQ(bitmap.Width(), file.Width);
    }
}

TEST(BitmapFileTest, EmbeddedFormCarriesItsLength)
{
    TBmpFile f;
    f.Pixels = PackRows(4, 2, 24, PictureRGB);
    TBitmap bitmap;
    LoadBytes(bitmap, BuildBmp(f));
    TMemoryStream stream;
    bitmap.WriteEmbedded(stream);
    stream.WriteUInt32LE(0xDEADBEEF); // whatever follows in the form
    EXPECT_EQ(Get32(stream.Bytes(), 0), BuildBmp(f).size());

    stream.SetPosition(0);
    TBitmap reread;
    reread.ReadEmbedded(stream);
    EXPECT_EQ(CanvasPixels(reread), CanvasPixels(bitmap));
    EXPECT_EQ(stream.ReadUInt32LE(), 0xDEADBEEFu);

    // Compressed data is kept only up to the embedded length as well.
    TMemoryStream rle;
    const std::vector<uint8_t> rleBytes = BuildBmp(Rle8File(Rle8Data()));
    rle.WriteUInt32LE(uint32_t(rleBytes.size()));
    rle.WriteBuffer(rleBytes.data(), rleBytes.size());
    rle.WriteUInt32LE(0xDEADBEEF);
    rle.SetPosition(0);
    reread.ReadEmbedded(rle);
    EXPECT_EQ(rle.ReadUInt32LE(), 0xDEADBEEFu);
    EXPECT_EQ(SaveBytes(reread), rleBytes);
}

TEST(BitmapFileTest, FormatsRoundTripAtAwkwardSizes)
{
    const TPixelFormat formats[] = {fmtDevice, fmt1Bit,  fmt4Bit,  fmt8Bit,
                                    fmt15Bit,  fmt16Bit, fmt24Bit, fmt32Bit};
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {3, 2}, {47, 33}};
    for (TPixelFormat format : formats) {
        for (const auto& [width, height] : sizes) {
            SCOPED_TRACE(testing::Message()
                         << "format " << int(format) << ", " << width << "x" << height);
            TBitmap bitmap;
            if (format != fmtDevice) {
                bitmap.SetPixelFormat(format);
            }
            bitmap.SetWidth(width);
            bitmap.SetHeight(height);
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    bitmap.Canvas().SetPixel(x, y, FromRGB(PictureRGB(x % 6, y % 3) * 7));
                }
            }
            const std::vector<TColor> pixels = CanvasPixels(bitmap);
            const std::vector<uint8_t> bytes = SaveBytes(bitmap);
            EXPECT_EQ(bytes.size(), Get32(bytes, 2));
            TBitmap reread;
            LoadBytes(reread, bytes);
            EXPECT_EQ(reread.PixelFormat(), format == fmtDevice ? fmt32Bit : format);
            EXPECT_EQ(CanvasPixels(reread), pixels);
            // Written again, the file is the same.
            EXPECT_EQ(SaveBytes(reread), bytes);
            if (format == fmt24Bit || format == fmt32Bit || format == fmtDevice) {
                EXPECT_EQ(pixels.back(),
                          FromRGB(PictureRGB((width - 1) % 6, (height - 1) % 3) * 7));
            }
        }
    }
}

TEST(BitmapFileTest, FilesAreOpenedAndReplacedWhole)
{
    TTempDir folder;
    TBmpFile f;
    f.Pixels = PackRows(4, 2, 24, PictureRGB);
    TBitmap bitmap;
    LoadBytes(bitmap, BuildBmp(f));
    const std::string name = folder.Path("out.bmp");
    WriteFileBytes(name, {1, 2, 3});
    bitmap.SaveFile(name);
    EXPECT_EQ(ReadFileBytes(name), BuildBmp(f));
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.bmp"});

    TBitmap reread;
    reread.LoadFile(name);
    EXPECT_EQ(CanvasPixels(reread), CanvasPixels(bitmap));
    try {
        reread.LoadFile(folder.Path("missing.bmp"));
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "ファイル " + folder.Path("missing.bmp") + " は開けません");
    }
    try {
        bitmap.SaveFile(folder.Path("no/such/folder.bmp"));
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(),
                  "ファイル " + folder.Path("no/such/folder.bmp") + " を作成できません");
    }
}
