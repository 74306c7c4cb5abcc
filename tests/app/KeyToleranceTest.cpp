// Keying with a tolerance and a soft edge, on JPEGs written by the library's own encoder
// (quality 75, 4:2:0) and checked in the written files through libpng.

#include "app/LoadSource.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "png/PNGOracle.h"
#include "support/Images.h"
#include "support/JpegEncoder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace kapto;

namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 120;
// The threshold of a 10 % tolerance: round(10 × 255 / 100).
constexpr int kThreshold10 = 26;

struct TRgb
{
    int Red, Green, Blue;
};

// A disc (Radius > 0) or an axis-aligned rectangle of half sides HalfX, HalfY.
struct TShape
{
    double X, Y;
    double Radius;
    double HalfX, HalfY;
    TRgb Color;

    // Distance of a point from the outline: negative inside.
    double SignedDistance(double px, double py) const
    {
        if (Radius > 0) {
            return std::hypot(px - X, py - Y) - Radius;
        }
        const double dx = std::abs(px - X) - HalfX;
        const double dy = std::abs(py - Y) - HalfY;
        const double outside = std::hypot(std::max(dx, 0.0), std::max(dy, 0.0));
        return outside + std::min(std::max(dx, dy), 0.0);
    }
};

struct TScene
{
    const char* Name;
    TRgb Background;
    std::vector<TShape> Shapes;

    // Signed distance of pixel (x, y)'s centre from the nearest outline.
    double Distance(int x, int y) const
    {
        double nearest = 1e9;
        for (const TShape& s : Shapes) {
            nearest = std::min(nearest, s.SignedDistance(x + 0.5, y + 0.5));
        }
        return nearest;
    }

    // The scene anti-aliased by 4 × 4 supersampling, as a JPEG of the library's encoder.
    std::vector<uint8_t> Jpeg() const
    {
        std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                double sum[3] = {0, 0, 0};
                for (int sy = 0; sy < 4; ++sy) {
                    for (int sx = 0; sx < 4; ++sx) {
                        TRgb c = Background;
                        for (const TShape& s : Shapes) {
                            if (s.SignedDistance(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4) < 0) {
                                c = s.Color;
                            }
                        }
                        sum[0] += c.Red;
                        sum[1] += c.Green;
                        sum[2] += c.Blue;
                    }
                }
                for (int c = 0; c < 3; ++c) {
                    rgb[(size_t(y) * kWidth + x) * 3 + c] = uint8_t(std::lround(sum[c] / 16));
                }
            }
        }
        return EncodeJpeg({kWidth, kHeight, 3, 75, 2, 2}, [&](int x, int y, int c) {
            return rgb[(size_t(y) * kWidth + x) * 3 + size_t(c)];
        });
    }
};

std::vector<TShape> Shapes(TRgb a, TRgb b, TRgb c, TRgb d)
{
    return {{40, 36, 22, 0, 0, a},
            {128, 34, 0, 30, 18, b},
            {52, 88, 0, 24, 16, c},
            {132, 86, 20.5, 0, 0, d}};
}

const TScene kScenes[] = {
    {"ColoursOnWhite",
     {255, 255, 255},
     Shapes({220, 30, 30}, {30, 60, 200}, {20, 140, 60}, {250, 150, 20})},
    {"DarkAndPaleOnWhite",
     {255, 255, 255},
     Shapes({25, 25, 25}, {120, 40, 150}, {150, 150, 150}, {0, 160, 200})},
    {"ColoursOnBlue",
     {40, 120, 200},
     Shapes({255, 255, 255}, {240, 200, 30}, {200, 30, 40}, {20, 20, 40})},
    {"ColoursOnGreen",
     {90, 170, 70},
     Shapes({250, 240, 220}, {160, 30, 120}, {10, 40, 120}, {230, 110, 0})},
};

// The decoded source and what a conversion wrote, as libpng reads it.
struct TKeyed
{
    TBitmap Source;
    TRgb Key;
    std::vector<uint8_t> Bytes;
    TDecodedPng Png;

    TRgb SourceAt(int x, int y)
    {
        const uint8_t* row = Source.RowAddress(y);
        return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    }
    unsigned At(int x, int y, unsigned c) const
    {
        return SampleAt(Png.Rows[size_t(y)], uint32_t(x), c, 4, 8);
    }
    int DistanceFromKey(int x, int y)
    {
        const TRgb p = SourceAt(x, y);
        return std::max({std::abs(p.Red - Key.Red), std::abs(p.Green - Key.Green),
                         std::abs(p.Blue - Key.Blue)});
    }
};

std::vector<uint8_t> Convert(const std::string& source, const TConversionOptions& options)
{
    TTempDir dir;
    TBitmap bitmap;
    LoadSource(source, bitmap);
    const std::string target = dir.Path("out.png");
    SaveConverted(options, TTargetFormat::Png, target, bitmap);
    return ReadFileBytes(target);
}

void Key(const std::string& source, int tolerance, bool soft, TKeyed& keyed)
{
    TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = TKeySource::TopLeft;
    options.KeyTolerance = tolerance;
    options.KeySoftEdge = soft;
    LoadSource(source, keyed.Source);
    const TColor key = keyed.Source.Canvas().GetPixel(0, 0);
    keyed.Key = {RedOf(key), GreenOf(key), BlueOf(key)};
    keyed.Bytes = Convert(source, options);
    keyed.Png = DecodeWithLibpng(keyed.Bytes);
    EXPECT_EQ(keyed.Png.Error, "");
    EXPECT_EQ(keyed.Png.ColorType, 6);
}

class KeyToleranceTest : public ::testing::TestWithParam<TScene>
{
protected:
    void SetUp() override
    {
        m_source = m_dir.Path("scene.jpg");
        WriteFileBytes(m_source, GetParam().Jpeg());
    }

    TTempDir m_dir;
    std::string m_source;
};

TEST_P(KeyToleranceTest, KeysTheBackgroundAndKeepsTheShapes)
{
    const TScene& scene = GetParam();
    for (const bool soft : {false, true}) {
        SCOPED_TRACE(soft ? "soft" : "hard");
        TKeyed keyed;
        Key(m_source, 10, soft, keyed);
        int farBackground = 0;
        int farTransparent = 0;
        int rim = 0; // within 2 pixels of an outline
        int partial = 0;
        int partialOnRim = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const double distance = scene.Distance(x, y);
                const unsigned alpha = keyed.At(x, y, 3);
                if (distance > 8) {
                    ++farBackground;
                    farTransparent += alpha == 0 ? 1 : 0;
                }
                if (distance < -4) {
                    ASSERT_EQ(alpha, 255u) << "inside a shape at " << x << "," << y;
                }
                if (alpha == 0) {
                    ASSERT_LE(keyed.DistanceFromKey(x, y), kThreshold10) << x << "," << y;
                }
                const bool isPartial = alpha > 0 && alpha < 255;
                partial += isPartial ? 1 : 0;
                if (std::abs(distance) < 2) {
                    ++rim;
                    partialOnRim += isPartial ? 1 : 0;
                }
                if (soft && alpha > 0) {
                    // Over the key colour the pixel gives back the decoded source.
                    const TRgb p = keyed.SourceAt(x, y);
                    const int source[3] = {p.Red, p.Green, p.Blue};
                    const int key[3] = {keyed.Key.Red, keyed.Key.Green, keyed.Key.Blue};
                    for (unsigned c = 0; c < 3; ++c) {
                        const double over =
                            (keyed.At(x, y, c) * alpha + key[c] * (255.0 - alpha)) / 255;
                        ASSERT_LE(std::abs(over - source[c]), 2.0)
                            << "channel " << c << " at " << x << "," << y;
                    }
                }
            }
        }
        EXPECT_GE(farTransparent * 100, farBackground * 99)
            << farTransparent << "/" << farBackground;
        if (soft) {
            // Partly transparent pixels line the outlines, and only them.
            EXPECT_GE(partialOnRim * 40, rim) << partialOnRim << "/" << rim;
            EXPECT_GE(partialOnRim * 10, partial * 9) << partialOnRim << "/" << partial;
        } else {
            EXPECT_EQ(partial, 0);
        }
    }
}

TEST_P(KeyToleranceTest, ExactKeyWithoutATolerance)
{
    // Tolerance 0 is exact keying, whatever the soft edge says: the same bytes as a run
    // that never heard of either, with the key and with the key, opacity and rim.
    for (const bool opacity : {false, true}) {
        TConversionOptions plain;
        plain.KeyTransparent = true;
        plain.KeySource = TKeySource::TopLeft;
        plain.UniformOpacity = opacity;
        plain.OpacityPercent = 60;
        plain.EdgeMode = opacity;
        TConversionOptions zero = plain;
        zero.KeyTolerance = 0;
        zero.KeySoftEdge = true;
        const std::vector<uint8_t> expected = Convert(m_source, plain);
        EXPECT_EQ(Convert(m_source, zero), expected) << "opacity " << opacity;
        EXPECT_EQ(ChunkTypes(SplitChunks(expected)),
                  opacity ? "IHDR IDAT IEND" : "IHDR tRNS IDAT IEND");
    }
}

TDecodedPng ConvertBitmap(TBitmap& bitmap, const TConversionOptions& options)
{
    TTempDir dir;
    SaveConverted(options, TTargetFormat::Png, dir.Path("out.png"), bitmap);
    TDecodedPng png = DecodeWithLibpng(ReadFileBytes(dir.Path("out.png")));
    EXPECT_EQ(png.Error, "");
    EXPECT_EQ(png.ColorType, 6);
    return png;
}

TEST(KeyToleranceRulesTest, SoftAlphaGrowsAlongGradientsFromTheKey)
{
    // Bands of five rows, each a gradient from the key colour to another over 8 (a blurred
    // edge) to 256 pixels, for keys at the ends and the middle of the channel range, where
    // the room a colour has to move differs per channel. The middle row of a band is checked:
    // all it has around it is its gradient.
    const TRgb keys[] = {{255, 255, 255}, {0, 0, 0}, {128, 128, 128}, {40, 120, 200}};
    const TRgb targets[] = {{255, 0, 0}, {0, 90, 255}, {250, 250, 240}, {20, 20, 20}};
    for (const int length : {8, 24, 64, 256}) {
        for (const TRgb& k : keys) {
            TBitmap bitmap;
            FillBitmap(bitmap, length, 20, [&](int x, int y) {
                const TRgb& t = targets[y / 5];
                const auto step = [&](int from, int to) {
                    return uint8_t(from + (to - from) * x / (length - 1));
                };
                return RGBColor(step(k.Red, t.Red), step(k.Green, t.Green), step(k.Blue, t.Blue));
            });
            for (const int tolerance : {5, 10, 40}) {
                TConversionOptions options;
                options.KeyTransparent = true;
                options.KeySource = TKeySource::TopLeft;
                options.KeyTolerance = tolerance;
                options.KeySoftEdge = true;
                const TDecodedPng png = ConvertBitmap(bitmap, options);
                for (uint32_t y = 2; y < 20; y += 5) {
                    unsigned previous = 0;
                    for (uint32_t x = 0; x < uint32_t(length); ++x) {
                        const unsigned alpha = SampleAt(png.Rows[y], x, 3, 4, 8);
                        ASSERT_GE(alpha, previous) << "length " << length << " tolerance "
                                                   << tolerance << " row " << y << " x " << x;
                        previous = alpha;
                    }
                    EXPECT_EQ(SampleAt(png.Rows[y], 0, 3, 4, 8), 0u);
                }
            }
        }
    }
}

TEST(KeyToleranceRulesTest, OpacityAndRimWithATolerance)
{
    // Black with near-black specks ('n', 12 levels off) around a red block; key black, 10 %.
    const std::vector<std::string> rows = {"n.n.n.", ".nnn..", ".nrrn.", "..rr..", "n....n"};
    TBitmap bitmap;
    FillBitmap(bitmap, 6, 5, [&](int x, int y) {
        const char c = rows[size_t(y)][size_t(x)];
        return c == 'r' ? RGBColor(200, 0, 0) : c == 'n' ? RGBColor(12, 6, 0) : clBlack;
    });
    TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = TKeySource::TopLeft;
    options.KeyTolerance = 10;
    options.UniformOpacity = true;
    options.OpacityPercent = 40;
    const struct
    {
        bool edge;
        bool soft;
        std::vector<std::string> alpha; // '0', 'o' the opacity byte 102, 'F' 255
    } cases[] = {
        {false, false, {"000000", "000000", "00oo00", "00oo00", "000000"}},
        // The rim counts near-black as the key and keeps its own colour, fully opaque.
        {true, false, {"000000", "0FFFF0", "0FooF0", "0FooF0", "0FFFF0"}},
        // The soft alpha of pure red against black is full, times the opacity.
        {false, true, {"000000", "000000", "00oo00", "00oo00", "000000"}},
    };
    for (const auto& c : cases) {
        options.EdgeMode = c.edge;
        options.KeySoftEdge = c.soft;
        const TDecodedPng png = ConvertBitmap(bitmap, options);
        for (uint32_t y = 0; y < 5; ++y) {
            for (uint32_t x = 0; x < 6; ++x) {
                const char expected = c.alpha[y][x];
                const unsigned alpha = SampleAt(png.Rows[y], x, 3, 4, 8);
                EXPECT_EQ(alpha, expected == '0'   ? 0u
                                 : expected == 'o' ? 102u
                                                   : 255u)
                    << "edge " << c.edge << " soft " << c.soft << " at " << x << "," << y;
                // Colours stay those of the source wherever alpha is not from the soft edge.
                const bool speck = rows[y][x] == 'n';
                EXPECT_EQ(SampleAt(png.Rows[y], x, 0, 4, 8), speck               ? 12u
                                                             : rows[y][x] == 'r' ? 200u
                                                                                 : 0u);
            }
        }
    }
}

TEST(KeyToleranceRulesTest, AKeyTheSourceBroughtGivesWayToAlpha)
{
    // A bitmap with a transparent colour of its own, as a keyed PNG source leaves it: with a
    // tolerance the PNG has alpha and no tRNS, which the PNG standard forbids beside alpha.
    TBitmap bitmap;
    FillBitmap(bitmap, 4, 3, [](int x, int) { return x == 0 ? clBlack : TColor(0x0000FF); });
    bitmap.SetTransparencyColor(0x0000FF);
    bitmap.SetTransparent(true);
    for (const bool opacity : {false, true}) {
        TConversionOptions options;
        options.KeyTransparent = true;
        options.KeySource = TKeySource::TopLeft;
        options.KeyTolerance = 10;
        options.UniformOpacity = opacity;
        TTempDir dir;
        SaveConverted(options, TTargetFormat::Png, dir.Path("out.png"), bitmap);
        const std::vector<uint8_t> bytes = ReadFileBytes(dir.Path("out.png"));
        EXPECT_EQ(ChunkTypes(SplitChunks(bytes)), "IHDR IDAT IEND") << "opacity " << opacity;
        EXPECT_EQ(DecodeWithLibpng(bytes).ColorType, 6);
    }
}

TEST(KeyToleranceRulesTest, NoKeyColourKeysNothing)
{
    // No key source: the key is -1, which no pixel equals or comes near, white included.
    TBitmap bitmap;
    FillBitmap(bitmap, 3, 2, [](int x, int) { return x == 0 ? clWhite : RGBColor(250, 250, 240); });
    TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = TKeySource::None;
    options.KeyTolerance = 10;
    options.KeySoftEdge = true;
    const TDecodedPng png = ConvertBitmap(bitmap, options);
    for (uint32_t y = 0; y < 2; ++y) {
        for (uint32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(SampleAt(png.Rows[y], x, 3, 4, 8), 255u);
            EXPECT_EQ(SampleAt(png.Rows[y], x, 2, 4, 8), x == 0 ? 255u : 240u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Jpeg, KeyToleranceTest, ::testing::ValuesIn(kScenes),
                         [](const ::testing::TestParamInfo<TScene>& scene) {
                             return std::string(scene.param.Name);
                         });

} // namespace
