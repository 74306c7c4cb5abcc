// The transparency rules on small crafted bitmaps, checked in the written files through an
// independent decoder (libpng).

#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "png/PNGOracle.h"
#include "runtime/Stream.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace kapto;

namespace {

constexpr TColor kRed = 0x0000FF;
constexpr TColor kGreen = 0x00FF00;
constexpr TColor kBlue = 0xFF0000;

// A bitmap drawn from rows of characters: '.' black, 'W' white, 'r' red, 'g' green, 'b' blue.
void DrawBitmap(TBitmap& bitmap, const std::vector<std::string>& rows)
{
    FillBitmap(bitmap, int(rows[0].size()), int(rows.size()), [&](int x, int y) {
        switch (rows[size_t(y)][size_t(x)]) {
        case 'W':
            return clWhite;
        case 'r':
            return kRed;
        case 'g':
            return kGreen;
        case 'b':
            return kBlue;
        default:
            return clBlack;
        }
    });
}

struct TWritten
{
    std::vector<TParsedChunk> Chunks;
    TDecodedPng Png;

    // Sample c of pixel (x, y): 0..2 red, green, blue, 3 alpha (colour type 6).
    unsigned At(uint32_t x, uint32_t y, unsigned c) const
    {
        const unsigned channels = Png.ColorType == 6 ? 4 : 3;
        return SampleAt(Png.Rows[y], x, c, channels, Png.BitDepth);
    }
    std::vector<unsigned> AlphaRow(uint32_t y) const
    {
        std::vector<unsigned> alpha;
        for (uint32_t x = 0; x < Png.Width; ++x) {
            alpha.push_back(At(x, y, 3));
        }
        return alpha;
    }
    const TParsedChunk* Find(const std::string& type) const
    {
        for (const TParsedChunk& chunk : Chunks) {
            if (chunk.Type == type) {
                return &chunk;
            }
        }
        return nullptr;
    }
};

TWritten Convert(TBitmap& bitmap, const TConversionOptions& options)
{
    TTempDir dir;
    const std::string name = dir.Path("out.png");
    SaveConverted(options, TTargetFormat::Png, name, bitmap);
    TWritten written;
    const std::vector<uint8_t> bytes = ReadFileBytes(name);
    written.Chunks = SplitChunks(bytes);
    written.Png = DecodeWithLibpng(bytes);
    EXPECT_EQ(written.Png.Error, "");
    return written;
}

TConversionOptions KeyOptions(TKeySource source, TColor swatch = clBlack)
{
    TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = source;
    options.SwatchColor = swatch;
    return options;
}

} // namespace

TEST(SaveConvertedTest, NothingTickedWritesPlainRgb)
{
    TBitmap bitmap;
    DrawBitmap(bitmap, {"rgb", "W.r"});
    const TWritten written = Convert(bitmap, TConversionOptions());
    EXPECT_EQ(ChunkTypes(written.Chunks), "IHDR IDAT IEND");
    EXPECT_EQ(written.Png.ColorType, 2);
    EXPECT_EQ(written.Png.BitDepth, 8);
    const unsigned expected[2][3][3] = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}},
                                        {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}}};
    for (uint32_t y = 0; y < 2; ++y) {
        for (uint32_t x = 0; x < 3; ++x) {
            for (unsigned c = 0; c < 3; ++c) {
                EXPECT_EQ(written.At(x, y, c), expected[y][x][c]) << x << "," << y;
            }
        }
    }
}

TEST(SaveConvertedTest, KeyColourFromEachCornerOrTheSwatch)
{
    TBitmap bitmap;
    DrawBitmap(bitmap, {"r.g", "...", "b.W"});
    const struct
    {
        TKeySource source;
        std::vector<uint8_t> key;
    } cases[] = {
        {TKeySource::TopLeft, {0, 255, 0, 0, 0, 0}},
        {TKeySource::TopRight, {0, 0, 0, 255, 0, 0}},
        {TKeySource::BottomLeft, {0, 0, 0, 0, 0, 255}},
        {TKeySource::BottomRight, {0, 255, 0, 255, 0, 255}},
        {TKeySource::Swatch, {0, 0x12, 0, 0x34, 0, 0x56}},
    };
    for (const auto& c : cases) {
        const TWritten written = Convert(bitmap, KeyOptions(c.source, RGBColor(0x12, 0x34, 0x56)));
        EXPECT_EQ(ChunkTypes(written.Chunks), "IHDR tRNS IDAT IEND");
        ASSERT_NE(written.Find("tRNS"), nullptr);
        EXPECT_EQ(written.Find("tRNS")->Data, c.key);
        EXPECT_EQ(written.Png.ColorType, 2);
    }
    // No key source: the image is marked transparent but gets no key.
    EXPECT_EQ(ChunkTypes(Convert(bitmap, KeyOptions(TKeySource::None)).Chunks), "IHDR IDAT IEND");
}

TEST(SaveConvertedTest, UniformOpacityByte)
{
    TBitmap bitmap;
    DrawBitmap(bitmap, {"rgbW."});
    const struct
    {
        int percent;
        unsigned alpha;
    } cases[] = {{100, 255}, {50, 127}, {1, 2}, {0, 0}, {37, 94}};
    for (const auto& c : cases) {
        TConversionOptions options;
        options.UniformOpacity = true;
        options.OpacityPercent = c.percent;
        const TWritten written = Convert(bitmap, options);
        EXPECT_EQ(written.Png.ColorType, 6);
        EXPECT_EQ(written.AlphaRow(0), std::vector<unsigned>(5, c.alpha)) << c.percent;
        EXPECT_EQ(written.At(0, 0, 0), 255u); // colours stay
    }
}

TEST(SaveConvertedTest, KeyWithOpacityAndEdgeMode)
{
    TBitmap bitmap;
    // A black background around a red figure.
    DrawBitmap(bitmap, {"......", "......", "..rr..", "..rr..", "......", "......"});
    TConversionOptions options = KeyOptions(TKeySource::Swatch, clBlack);
    options.UniformOpacity = true;
    options.OpacityPercent = 50;
    TWritten written = Convert(bitmap, options);
    EXPECT_EQ(written.Find("tRNS"), nullptr);
    EXPECT_EQ(written.AlphaRow(2), (std::vector<unsigned>{0, 0, 127, 127, 0, 0}));
    EXPECT_EQ(written.AlphaRow(0), std::vector<unsigned>(6, 0));

    // Edge mode: the one-pixel black rim around the figure stays fully opaque, corners of
    // the image whose existing neighbours are all black become transparent.
    options.EdgeMode = true;
    written = Convert(bitmap, options);
    const std::vector<std::vector<unsigned>> expected = {
        {0, 0, 0, 0, 0, 0},         {0, 255, 255, 255, 255, 0}, {0, 255, 127, 127, 255, 0},
        {0, 255, 127, 127, 255, 0}, {0, 255, 255, 255, 255, 0}, {0, 0, 0, 0, 0, 0}};
    for (uint32_t y = 0; y < 6; ++y) {
        EXPECT_EQ(written.AlphaRow(y), expected[y]) << y;
    }

    // A key-coloured pixel on the image border next to another colour is rim too.
    DrawBitmap(bitmap, {"r..", "...", "..."});
    written = Convert(bitmap, options);
    EXPECT_EQ(written.AlphaRow(0), (std::vector<unsigned>{127, 255, 0}));
    EXPECT_EQ(written.AlphaRow(1), (std::vector<unsigned>{255, 255, 0}));
    EXPECT_EQ(written.AlphaRow(2), (std::vector<unsigned>{0, 0, 0}));

    // Without the key every pixel gets the opacity, whatever edge mode says.
    options.KeyTransparent = false;
    written = Convert(bitmap, options);
    EXPECT_EQ(written.AlphaRow(1), std::vector<unsigned>(3, 127));
}

TEST(SaveConvertedTest, AlphaFromBrightnessWithFlattening)
{
    TBitmap bitmap;
    DrawBitmap(bitmap, {".Wrgb"});
    TConversionOptions options;
    options.BrightnessAlpha = true;
    TWritten written = Convert(bitmap, options);
    EXPECT_EQ(written.AlphaRow(0), (std::vector<unsigned>{0, 255, 76, 149, 29}));
    EXPECT_EQ(written.At(2, 0, 0), 255u);

    options.Direction = TBrightnessDirection::BrighterMoreTransparent;
    written = Convert(bitmap, options);
    EXPECT_EQ(written.AlphaRow(0), (std::vector<unsigned>{255, 0, 179, 106, 226}));

    const struct
    {
        TBrightnessDirection direction;
        bool invert;
        unsigned colour;
    } flattening[] = {
        {TBrightnessDirection::DarkerMoreTransparent, false, 255},
        {TBrightnessDirection::DarkerMoreTransparent, true, 0},
        {TBrightnessDirection::BrighterMoreTransparent, false, 0},
        {TBrightnessDirection::BrighterMoreTransparent, true, 255},
    };
    for (const auto& f : flattening) {
        options.Direction = f.direction;
        options.Flatten = true;
        options.InvertFlatten = f.invert;
        written = Convert(bitmap, options);
        for (uint32_t x = 0; x < 5; ++x) {
            for (unsigned c = 0; c < 3; ++c) {
                EXPECT_EQ(written.At(x, 0, c), f.colour);
            }
        }
        // The alpha still comes from the original colours.
        EXPECT_EQ(written.At(2, 0, 3),
                  f.direction == TBrightnessDirection::DarkerMoreTransparent ? 76u : 179u);
    }
}

TEST(SaveConvertedTest, BitmapsOwnTransparentColourIsKept)
{
    TBitmap bitmap;
    DrawBitmap(bitmap, {"rg", "b."});
    bitmap.SetTransparencyColor(kGreen);
    bitmap.SetTransparent(true);
    const TWritten written = Convert(bitmap, TConversionOptions());
    ASSERT_NE(written.Find("tRNS"), nullptr);
    EXPECT_EQ(written.Find("tRNS")->Data, (std::vector<uint8_t>{0, 0, 0, 255, 0, 0}));
}

TEST(SaveConvertedTest, BmpNamesIgnoreTheOptions)
{
    TTempDir dir;
    TBitmap bitmap;
    DrawBitmap(bitmap, {"rg"});
    TConversionOptions options;
    options.UniformOpacity = true;
    options.OpacityPercent = 10;
    const std::string name = dir.Path("out.BmP");
    SaveConverted(options, TTargetFormat::Bmp, name, bitmap);
    const std::vector<uint8_t> bytes = ReadFileBytes(name);
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[28], 24);
}

TEST(SaveConvertedTest, EveryOptionAtAwkwardSizesDecodesExactly)
{
    // 21846 pixels make 65538-byte RGB rows and 87384-byte RGBA rows.
    const int sizes[][2] = {{1, 1}, {3, 2}, {47, 33}, {21846, 2}};
    std::vector<TConversionOptions> optionSets(4);
    optionSets[1] = KeyOptions(TKeySource::TopLeft);
    optionSets[2] = KeyOptions(TKeySource::BottomRight);
    optionSets[2].UniformOpacity = true;
    optionSets[2].OpacityPercent = 60;
    optionSets[2].EdgeMode = true;
    optionSets[3].BrightnessAlpha = true;
    for (const auto& size : sizes) {
        TBitmap bitmap;
        auto color = [](int x, int y) {
            return RGBColor(uint8_t(x * 7), uint8_t(y * 13), uint8_t((x ^ y) & 1 ? 255 : 0));
        };
        FillBitmap(bitmap, size[0], size[1], color);
        for (size_t o = 0; o < optionSets.size(); ++o) {
            const TWritten written = Convert(bitmap, optionSets[o]);
            ASSERT_EQ(written.Png.Width, uint32_t(size[0]));
            ASSERT_EQ(written.Png.Height, uint32_t(size[1]));
            for (uint32_t y = 0; y < uint32_t(size[1]); ++y) {
                for (uint32_t x = 0; x < uint32_t(size[0]); ++x) {
                    const TColor c = color(int(x), int(y));
                    ASSERT_EQ(written.At(x, y, 0), RedOf(c));
                    ASSERT_EQ(written.At(x, y, 1), GreenOf(c));
                    ASSERT_EQ(written.At(x, y, 2), BlueOf(c));
                    if (o == 3) {
                        const unsigned brightness =
                            (299 * RedOf(c) + 587 * GreenOf(c) + 114 * BlueOf(c)) / 1000;
                        ASSERT_EQ(written.At(x, y, 3), brightness);
                    }
                }
            }
        }
    }
}

TEST(SaveConvertedTest, FastDeflateKeepsThePixelsAndAlphaOfEveryOption)
{
    // Black frames and blocks for the key around colours; the filtered rows of 400 x 300
    // pixels fill several segments of the fast profile.
    TBitmap bitmap;
    FillBitmap(bitmap, 400, 300, [](int x, int y) {
        const bool black = x < 20 || y < 20 || (x / 50 + y / 50) % 3 == 0;
        return black ? clBlack : RGBColor(uint8_t(x), uint8_t(y), uint8_t(x ^ y));
    });
    std::vector<std::pair<std::string, TConversionOptions>> cases(6);
    cases[0].first = "no option";
    cases[1] = {"key", KeyOptions(TKeySource::TopLeft)};
    cases[2].first = "opacity";
    cases[2].second.UniformOpacity = true;
    cases[2].second.OpacityPercent = 40;
    cases[3] = {"key, opacity and edge", KeyOptions(TKeySource::Swatch, clBlack)};
    cases[3].second.UniformOpacity = true;
    cases[3].second.OpacityPercent = 70;
    cases[3].second.EdgeMode = true;
    cases[4].first = "brightness";
    cases[4].second.BrightnessAlpha = true;
    cases[5].first = "brightness, flattened";
    cases[5].second.BrightnessAlpha = true;
    cases[5].second.Direction = TBrightnessDirection::BrighterMoreTransparent;
    cases[5].second.Flatten = true;
    for (auto& [name, options] : cases) {
        SCOPED_TRACE(name);
        TMemoryStream standard;
        EncodeConverted(options, TTargetFormat::Png, bitmap, standard);
        options.FastDeflate = true;
        options.DeflateThreads = 3;
        TMemoryStream fast;
        EncodeConverted(options, TTargetFormat::Png, bitmap, fast);
        EXPECT_NE(fast.Bytes(), standard.Bytes());
        const TDecodedPng expected = DecodeWithLibpng(standard.Bytes());
        const TDecodedPng decoded = DecodeWithLibpng(fast.Bytes());
        EXPECT_EQ(decoded.Error, "");
        EXPECT_EQ(decoded.ColorType, expected.ColorType);
        EXPECT_EQ(decoded.Rows, expected.Rows);
        EXPECT_EQ(ChunkTypes(SplitChunks(fast.Bytes())), ChunkTypes(SplitChunks(standard.Bytes())));
    }
}
