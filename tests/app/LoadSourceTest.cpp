// Source loading picks the decoder by the extension alone and leaves 24 bits per pixel.

#include "app/LoadSource.h"
#include "gif/GIFErrors.h"
#include "graphics/Bitmap.h"
#include "jpeg/JPEGErrors.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace kapto;

TEST(LoadSourceTest, ExtensionPicksTheDecoder)
{
    TTempDir dir;
    const std::vector<uint8_t> jpeg =
        ReadFileBytes(TestDataPath("jpeg/wuffs/mona-lisa.21x32.q90.jpeg"));
    for (const char* name : {"photo.jpeg", "PHOTO.JPEG", "Photo.Jpg"}) {
        WriteFileBytes(dir.Path(name), jpeg);
        TBitmap bitmap;
        LoadSource(dir.Path(name), bitmap);
        EXPECT_EQ(bitmap.Width(), 21) << name;
        EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit) << name;
    }
    // The last extension counts: a BMP named image.png.bmp is a BMP.
    WriteTestBmp(dir.Path("image.png.bmp"), 3, 2, 0x123456);
    TBitmap bitmap;
    LoadSource(dir.Path("image.png.bmp"), bitmap);
    EXPECT_EQ(bitmap.Canvas().GetPixel(2, 1), 0x123456);
}

TEST(LoadSourceTest, ContentIsNeverSniffed)
{
    TTempDir dir;
    // A BMP named .gif goes to the GIF decoder and a BMP named .jpg to the JPEG decoder.
    const std::string bmp = WriteTestBmp(dir.Path("a.bmp"), 2, 2, clBlack);
    WriteFileBytes(dir.Path("x.gif"), ReadFileBytes(bmp));
    WriteFileBytes(dir.Path("x.jpg"), ReadFileBytes(bmp));
    TBitmap bitmap;
    try {
        LoadSource(dir.Path("x.gif"), bitmap);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_EQ(e.Message(), "Invalid GIF signature");
    }
    EXPECT_THROW(LoadSource(dir.Path("x.jpg"), bitmap), EJPEG);
}

TEST(LoadSourceTest, PaletteSourcesKeepTheirColoursAtTwentyFourBits)
{
    TTempDir dir;
    TBitmap source;
    FillBitmap(source, 5, 3, [](int x, int y) { return (x + y) % 2 != 0 ? 0x0000FF : clWhite; });
    source.SetPixelFormat(fmt8Bit);
    source.SaveFile(dir.Path("pal.bmp"));
    TBitmap bitmap;
    LoadSource(dir.Path("pal.bmp"), bitmap);
    EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(bitmap.Canvas().GetPixel(x, y), (x + y) % 2 != 0 ? 0x0000FF : clWhite);
        }
    }
    // The first frame of a GIF likewise.
    LoadSource(TestDataPath("gif/image-gif/sample_1.gif"), bitmap);
    EXPECT_EQ(bitmap.PixelFormat(), fmt24Bit);
    EXPECT_EQ(bitmap.Width(), 10);
}

namespace {

// The picture's 24-bit rows, one after another.
std::vector<uint8_t> Rows(TBitmap& bitmap)
{
    std::vector<uint8_t> rows;
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* row = bitmap.RowAddress(y);
        rows.insert(rows.end(), row, row + size_t(bitmap.Width()) * 3);
    }
    return rows;
}

} // namespace

// Every format cut anywhere: the load fails, or it warns, or it gave the whole picture. A cut
// source never passes for a whole one.
TEST(LoadSourceTest, ACutSourceFailsWarnsOrIsWhole)
{
#ifdef KAPTO_ADDRESS_SANITIZER
    const int kCuts = 40;
#else
    const int kCuts = 250;
#endif
    const char* sources[] = {
        "bmp/bmpsuite/good/rgb24.bmp",     "bmp/bmpsuite/good/pal1.bmp",
        "bmp/bmpsuite/good/pal4rle.bmp",   "bmp/bmpsuite/good/pal8rle.bmp",
        "png/pngsuite/basn2c08.png",       "png/pngsuite/basn3p04.png",
        "png/pngsuite/basi0g08.png",       "png/pngsuite/basi3p08.png",
        "gif/wuffs/bricks-nodither.gif",   "gif/wuffs/hippopotamus.interlaced.gif",
        "jpeg/wuffs/peacock.default.jpeg", "jpeg/wuffs/peacock.progressive.jpeg",
    };
    TTempDir dir;
    std::mt19937 generator(28);
    for (const char* source : sources) {
        const std::vector<uint8_t> whole = ReadFileBytes(TestDataPath(source));
        const std::string name = dir.Path("cut" + std::string(std::strrchr(source, '.')));
        TBitmap complete;
        LoadSource(TestDataPath(source), complete);
        const std::vector<uint8_t> expected = Rows(complete);
        for (int i = 0; i < kCuts; ++i) {
            const size_t length = generator() % whole.size();
            SCOPED_TRACE(std::string(source) + " cut at " + std::to_string(length));
            WriteFileBytes(name, std::vector<uint8_t>(whole.begin(), whole.begin() + long(length)));
            TBitmap bitmap;
            std::vector<std::string> warnings;
            try {
                LoadSource(name, bitmap, &warnings);
            } catch (const std::exception&) {
                continue;
            }
            if (warnings.empty()) {
                EXPECT_EQ(Rows(bitmap), expected);
            }
        }
    }
}
