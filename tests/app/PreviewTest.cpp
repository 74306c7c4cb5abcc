// The preview renders through the run's own conversion: the same bytes as the file, the
// pixels of those bytes, and the facts of the summary line.

#include "app/Preview.h"
#include "app/LoadSource.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace kapto;

namespace {

// A 10 x 10 picture: a black frame of width 2 around a red square, one white pixel.
std::string FramedPicture(TTempDir& dir)
{
    return WriteTestBmp(dir.Path("framed.bmp"), 10, 10, [](int x, int y) {
        if (x == 5 && y == 5) {
            return clWhite;
        }
        return x < 2 || y < 2 || x >= 8 || y >= 8 ? clBlack : TColor(0x0000FF);
    });
}

} // namespace

TEST(PreviewTest, ShowsExactlyWhatTheConversionWrites)
{
    TTempDir dir;
    const std::string source = FramedPicture(dir);
    TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = TKeySource::TopLeft;
    options.UniformOpacity = true;
    options.OpacityPercent = 50;
    options.EdgeMode = true;
    const TPreviewResult result = RenderPreview(source, options);
    ASSERT_EQ(result.Error, "");
    TBitmap bitmap;
    LoadSource(source, bitmap);
    SaveConverted(options, TTargetFormat::Png, dir.Path("framed.png"), bitmap);
    EXPECT_EQ(result.Png, ReadFileBytes(dir.Path("framed.png")));

    ASSERT_EQ(result.Width, 10);
    auto alpha = [&](int x, int y) { return result.Rgba[size_t(y * 10 + x) * 4 + 3]; };
    EXPECT_EQ(alpha(0, 0), 0);   // inside the key colour
    EXPECT_EQ(alpha(1, 1), 255); // the rim
    EXPECT_EQ(alpha(4, 4), 127); // the figure
    EXPECT_EQ(result.Rgba[size_t(5 * 10 + 5) * 4], 255);
    // 36 outer frame pixels transparent, 28 rim pixels opaque, 36 at half opacity.
    EXPECT_EQ(result.Transparent, 36u);
    EXPECT_EQ(result.Opaque, 28u);
    EXPECT_EQ(result.Partial, 36u);
    EXPECT_EQ(result.KeyPixels, 64u);
    EXPECT_EQ(PreviewSummary(result),
              "10×10  透過色 #000000 (左上)  透明 36.0%  半透明 36.0%  不透明 28.0%");
}

TEST(PreviewTest, KeyMatchesAndMisses)
{
    TTempDir dir;
    const std::string source = FramedPicture(dir);
    TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = TKeySource::Swatch;
    options.SwatchColor = 0x00FF00;
    TPreviewResult result = RenderPreview(source, options);
    EXPECT_EQ(result.KeyPixels, 0u);
    EXPECT_NE(PreviewSummary(result).find("透過色の画素がありません"), std::string::npos);
    EXPECT_EQ(result.Opaque, 100u);

    const std::string black = WriteTestBmp(dir.Path("black.bmp"), 10, 10,
                                           [](int x, int) { return x == 0 ? clWhite : clBlack; });
    options.SwatchColor = clBlack;
    result = RenderPreview(black, options);
    EXPECT_EQ(result.Transparent, 90u);
    EXPECT_EQ(PreviewSummary(result).find("90% を超えています"), std::string::npos);
    options.KeySource = TKeySource::TopRight;
    result = RenderPreview(black, options);
    EXPECT_EQ(result.KeyPixels, 90u);
    const std::string mostly = WriteTestBmp(dir.Path("mostly.bmp"), 20, 10, [](int x, int y) {
        return x == 0 && y == 0 ? clWhite : clBlack;
    });
    result = RenderPreview(mostly, options);
    EXPECT_NE(PreviewSummary(result).find("90% を超えています"), std::string::npos);
}

TEST(PreviewTest, FailuresComeBackAsMessages)
{
    TTempDir dir;
    const TPreviewResult result = RenderPreview(dir.Path("missing.bmp"), TConversionOptions());
    EXPECT_EQ(result.Error,
              "ファイル " + dir.Path("missing.bmp") + " は開けません\nNo such file or directory");
    EXPECT_EQ(PreviewSummary(result), result.Error);
    EXPECT_TRUE(result.Rgba.empty());
}

TEST(PreviewTest, OptimisedFileKeepsThePixelsAndShowsItsSize)
{
    TTempDir dir;
    const std::string source = FramedPicture(dir);
    TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = TKeySource::TopLeft;
    const TPreviewResult plain = RenderPreview(source, options);
    options.Optimize = true;
    const TPreviewResult result = RenderPreview(source, options);
    ASSERT_EQ(result.Error, "");
    TBitmap bitmap;
    LoadSource(source, bitmap);
    SaveConverted(options, TTargetFormat::Png, dir.Path("framed.png"), bitmap);
    const std::vector<uint8_t> written = ReadFileBytes(dir.Path("framed.png"));
    EXPECT_EQ(result.Png, written);
    EXPECT_LT(written.size(), plain.Png.size());
    EXPECT_EQ(result.Rgba, plain.Rgba);
    EXPECT_EQ(PreviewSummary(result),
              PreviewSummary(plain) + "  " + std::to_string(written.size()) + " バイト");
}
