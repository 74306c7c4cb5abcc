// The picture registry and container: filters, lookups, registration order and loading.

#include "graphics/Picture.h"
#include "app/Codecs.h"
#include "graphics/Bitmap.h"
#include "jpeg/JPEGImage.h"
#include "runtime/Exceptions.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace kapto;

namespace {

// A second bitmap class to register over the built-in one.
class TOtherBitmap : public TBitmap
{
public:
    const char* ClassName() const override { return "TOtherBitmap"; }
};

const TGraphicClass& OtherBitmapClass()
{
    static const TGraphicClass otherClass{
        "TOtherBitmap", &BitmapClass(),
        []() -> std::unique_ptr<TGraphic> { return std::make_unique<TOtherBitmap>(); },
        [](const TPersistent& o) { return dynamic_cast<const TOtherBitmap*>(&o) != nullptr; }};
    return otherClass;
}

} // namespace

TEST(PictureTest, FilterListsEveryTypeLastRegisteredFirst)
{
    TCodecRegistration codecs;
    EXPECT_EQ(PictureFilter(GraphicBaseClass()),
              "すべてのファイル (*.gif;*.png;*.jpg;*.jpeg;*.bmp)|*.gif;*.png;*.jpg;*.jpeg;*.bmp|"
              "GIF Image (*.gif)|*.gif|Portable Network Graphics (*.png)|*.png|"
              "JPEG イメージファイル (*.jpg)|*.jpg|JPEG イメージファイル (*.jpeg)|*.jpeg|"
              "ビットマップ (*.bmp)|*.bmp");
    // One matching entry: no "all files" part.
    EXPECT_EQ(PictureFilter(BitmapClass()), "ビットマップ (*.bmp)|*.bmp");
    const auto pairs = SplitFilter(PictureFilter(JPEGImageClass()));
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0].second, "*.jpg;*.jpeg");
    EXPECT_EQ(pairs[2].first, "JPEG イメージファイル (*.jpeg)");
}

TEST(PictureTest, LookupsIgnoreCaseAndTheNewestRegistrationWins)
{
    TCodecRegistration codecs;
    EXPECT_EQ(ClassForExtension("JPG"), &JPEGImageClass());
    EXPECT_EQ(ClassForExtension("Png"), &PNGObjectClass());
    EXPECT_EQ(ClassForExtension("tif"), nullptr);
    EXPECT_EQ(ClassForName("TGIFImage"), &GIFImageClass());
    EXPECT_EQ(ClassForName("tgifimage"), nullptr);

    RegisterImageFormat("BMP", "other", OtherBitmapClass());
    EXPECT_EQ(ClassForExtension("bmp"), &OtherBitmapClass());
    // Removing the built-in class removes classes derived from it too.
    UnregisterImageClass(OtherBitmapClass());
    EXPECT_EQ(ClassForExtension("bmp"), &BitmapClass());
}

TEST(PictureTest, UnregisteredCodecsAreGoneAfterShutdown)
{
    {
        TCodecRegistration codecs;
        EXPECT_NE(ClassForExtension("gif"), nullptr);
    }
    EXPECT_EQ(ClassForExtension("gif"), nullptr);
    EXPECT_EQ(PictureFilter(GraphicBaseClass()), "ビットマップ (*.bmp)|*.bmp");
}

TEST(PictureTest, LoadFilePicksTheClassAndKeepsThePreviousOnFailure)
{
    TCodecRegistration codecs;
    TTempDir dir;
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPersistent&) { ++changes; };
    picture.LoadFile(TestDataPath("jpeg/wuffs/mona-lisa.21x32.q90.jpeg"));
    EXPECT_EQ(std::string(picture.Graphic()->ClassName()), "TJPEGImage");
    EXPECT_EQ(picture.Width(), 21);
    EXPECT_EQ(changes, 1);

    const struct
    {
        std::string name;
        std::string message;
    } failures[] = {
        {"notes.TXT", "拡張子 .TXT の画像形式は処理できません"},
        {"noextension", "拡張子 . の画像形式は処理できません"},
    };
    for (const auto& f : failures) {
        WriteFileBytes(dir.Path(f.name), {1, 2, 3});
        try {
            picture.LoadFile(dir.Path(f.name));
            FAIL() << f.name;
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message(), f.message);
        }
    }
    WriteFileBytes(dir.Path("broken.bmp"), {'B', 'M', 1});
    EXPECT_THROW(picture.LoadFile(dir.Path("broken.bmp")), EReadError);
    EXPECT_EQ(picture.Width(), 21);
    EXPECT_EQ(picture.Height(), 32);

    // A picture of a bitmap copies into a bitmap, and refuses another class.
    picture.LoadFile(WriteTestBmp(dir.Path("a.BMP"), 4, 3, 0x00FF00));
    TBitmap bitmap;
    picture.CopyInto(bitmap);
    EXPECT_EQ(bitmap.Canvas().GetPixel(3, 2), 0x00FF00);
    TJPEGImage jpeg;
    EXPECT_THROW(picture.CopyInto(jpeg), EConvertError);
    TPicture copy;
    copy.AssignFrom(&picture);
    EXPECT_EQ(copy.Width(), 4);
    EXPECT_NE(copy.Graphic(), picture.Graphic());
    copy.AssignFrom(nullptr);
    EXPECT_EQ(copy.Graphic(), nullptr);
    EXPECT_EQ(copy.Width(), 0);
}
