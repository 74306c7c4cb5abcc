// Source loading picks the decoder by the extension alone and leaves 24 bits per pixel.

#include "app/LoadSource.h"
#include "gif/GIFErrors.h"
#include "graphics/Bitmap.h"
#include "jpeg/JPEGErrors.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

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
