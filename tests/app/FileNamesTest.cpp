// Extensions, output names and numbered names.

#include "app/FileNames.h"

#include <gtest/gtest.h>

using namespace kapto;

TEST(FileNamesTest, ExtensionIsTakenFromTheLastDotOfTheFileName)
{
    EXPECT_EQ(ExtractExtension("/img/photo.JPEG"), ".JPEG");
    EXPECT_EQ(ExtractExtension("/img/image.png.bmp"), ".bmp");
    EXPECT_EQ(ExtractExtension("/img.d/photo"), "");
    EXPECT_EQ(ExtractExtension("photo"), "");
    EXPECT_EQ(ExtractExtension("/img/.hidden"), ".hidden");
}

TEST(FileNamesTest, UpperCasingTouchesAsciiLettersOnly)
{
    EXPECT_EQ(UpperCaseAscii(".jpg"), ".JPG");
    // A full-width letter and a two-byte character stay as they are.
    EXPECT_EQ(UpperCaseAscii("\xEF\xBD\x8A.pNg"), "\xEF\xBD\x8A.PNG");
    for (const char* extension : {".bmp", ".PNG", ".Gif", ".jpg", ".JPEG"}) {
        EXPECT_TRUE(IsImageExtension(extension)) << extension;
    }
    for (const char* extension : {"", ".txt", ".jpe", ".bmpx", ".tif"}) {
        EXPECT_FALSE(IsImageExtension(extension)) << extension;
    }
}

TEST(FileNamesTest, OutputNameReplacesOrAppendsTheExtension)
{
    EXPECT_EQ(OutputFileName("/img/photo.JPEG", ".png"), "/img/photo.png");
    EXPECT_EQ(OutputFileName("/img/a.png", ".png"), "/img/a.png");
    EXPECT_EQ(OutputFileName("/img.d/photo", ".bmp"), "/img.d/photo.bmp");
    EXPECT_EQ(OutputFileName("/img/cat.tar.gz", ".png"), "/img/cat.tar.png");
}

TEST(FileNamesTest, ScannedFilesKeepTheirPlaceBelowTheOutputFolder)
{
    const struct
    {
        const char* Folder;
        const char* File;
        const char* Place;
    } cases[] = {
        {"/", "/img/sub/a.jpg", "out/img/sub/a.jpg"},
        {"photos", "photos/trip/a.jpg", "out/trip/a.jpg"},
        {"photos/", "photos/a.jpg", "out/a.jpg"},
        {"/srv/p", "/srv/p/a.jpg", "out/a.jpg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlaceBelow("out", c.Folder, c.File), c.Place) << c.Folder;
    }
}

TEST(FileNamesTest, NumberedNamesKeepTwoDigits)
{
    EXPECT_EQ(NumberedFileName("/img/cat.png", 1), "/img/cat-01.png");
    EXPECT_EQ(NumberedFileName("/img/cat.png", 99), "/img/cat-99.png");
    EXPECT_EQ(NumberedFileName("/img/cat.png", 100), "/img/cat-00.png");
    EXPECT_EQ(NumberedFileName("/img/cat.png", 101), "/img/cat-01.png");
    EXPECT_EQ(NumberedFileName("/img.d/cat.bmp", 7), "/img.d/cat-07.bmp");
}
