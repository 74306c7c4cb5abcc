// The optimised PNG against the plain one over a corpus of graphics, gray pictures and a photo:
// libpng decodes both to the same red, green, blue and alpha, pngcheck accepts the optimised
// file, and it is never larger.

#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "png/PNGOracle.h"
#include "runtime/Stream.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace kapto;

namespace {

using TBytes = std::vector<uint8_t>;

// The file as red, green, blue and alpha per pixel, with a tRNS key or palette alphas applied.
TBytes DecodeRGBA(const TBytes& file)
{
    const TDecodedPng png = DecodeWithLibpng(file);
    EXPECT_EQ(png.Error, "");
    TBytes transparency;
    for (const TParsedChunk& chunk : SplitChunks(file)) {
        if (chunk.Type == "tRNS") {
            transparency = chunk.Data;
        }
    }
    const int ct = png.ColorType;
    const unsigned channels = ct == 0 || ct == 3 ? 1 : ct == 4 ? 2 : ct == 2 ? 3 : 4;
    const unsigned maxSample = (1u << png.BitDepth) - 1;
    auto key = [&](size_t i) {
        return unsigned(transparency[2 * i] << 8 | transparency[2 * i + 1]);
    };
    TBytes rgba;
    for (uint32_t y = 0; y < png.Height; ++y) {
        for (uint32_t x = 0; x < png.Width; ++x) {
            unsigned s[4] = {};
            for (unsigned c = 0; c < channels; ++c) {
                s[c] = SampleAt(png.Rows[y], x, c, channels, png.BitDepth);
            }
            unsigned r = 0, g = 0, b = 0, a = 255;
            if (ct == 3) {
                r = png.Palette[3 * s[0]];
                g = png.Palette[3 * s[0] + 1];
                b = png.Palette[3 * s[0] + 2];
                a = s[0] < transparency.size() ? transparency[s[0]] : 255;
            } else if (ct == 0 || ct == 4) {
                r = g = b = s[0] * 255 / maxSample;
                a = ct == 4 ? s[1] : !transparency.empty() && s[0] == key(0) ? 0 : 255;
            } else {
                r = s[0], g = s[1], b = s[2];
                const bool keyed = !transparency.empty() && ct == 2 && s[0] == key(0) &&
                                   s[1] == key(1) && s[2] == key(2);
                a = ct == 6 ? s[3] : keyed ? 0 : 255;
            }
            rgba.insert(rgba.end(), {uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)});
        }
    }
    return rgba;
}

// Colour n (0 to 511) of a graphic, spread over the cube; colour 0 is black.
TColor Spread(int n)
{
    return RGBColor(uint8_t(n % 256), uint8_t(n / 256 * 100 + n * 53 % 97), uint8_t(n * 29 % 251));
}

// A graphic: blocks of the given number of colours, colour 0 (black) around them.
std::function<TColor(int, int)> Graphic(int colours)
{
    return [colours](int x, int y) {
        if (x < 4 || y < 4) {
            return TColor(clBlack);
        }
        uint32_t block = uint32_t(x / 6) * 2654435761u ^ uint32_t(y / 4) * 40503u;
        block ^= block >> 15;
        return Spread(int(block % uint32_t(colours)));
    };
}

std::function<TColor(int, int)> Gray(int levels)
{
    return [levels](int x, int y) {
        const int v = (x / 3 + y) % levels * 255 / (levels - 1);
        return RGBColor(uint8_t(v), uint8_t(v), uint8_t(v));
    };
}

// Smooth shading with noise, as a photo has.
TColor Photo(int x, int y)
{
    uint32_t seed = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
    seed ^= seed >> 13;
    const int noise = int(seed % 7) - 3;
    auto channel = [&](double phase) {
        const double v = 128 + 90 * std::sin(x / 97.0 + phase) * std::cos(y / 61.0 - phase);
        return uint8_t(std::lround(v) + noise);
    };
    return RGBColor(channel(0), channel(1.3), channel(2.6));
}

enum TAlpha
{
    None,
    Key,
    Opacity,
    Brightness,
};

TConversionOptions OptionsFor(TAlpha alpha)
{
    TConversionOptions options;
    options.KeyTransparent = alpha == Key;
    options.KeySource = TKeySource::TopLeft;
    options.UniformOpacity = alpha == Opacity;
    options.OpacityPercent = 40;
    options.BrightnessAlpha = alpha == Brightness;
    return options;
}

} // namespace

TEST(OptimizeTest, SameRGBAInASmallerValidFile)
{
    const struct
    {
        const char* name;
        int width;
        int height;
        std::function<TColor(int, int)> color;
        TAlpha alpha;
        int colorType; // what the optimised file must use
        int bitDepth;
    } corpus[] = {
        {"2 colours", 64, 48, Graphic(2), None, 3, 1},
        {"2 colours keyed", 64, 48, Graphic(2), Key, 3, 1},
        {"2 colours brightness", 64, 48, Graphic(2), Brightness, 3, 1},
        {"16 colours", 100, 70, Graphic(16), None, 3, 4},
        {"16 colours keyed", 100, 70, Graphic(16), Key, 3, 4},
        {"16 colours opacity", 100, 70, Graphic(16), Opacity, 3, 4},
        {"200 colours", 120, 90, Graphic(200), None, 3, 8},
        {"200 colours keyed", 120, 90, Graphic(200), Key, 3, 8},
        {"200 colours brightness", 120, 90, Graphic(200), Brightness, 3, 8},
        {"300 colours", 150, 100, Graphic(300), None, 2, 8},
        {"300 colours keyed", 150, 100, Graphic(300), Key, 2, 8},
        {"300 colours opacity", 150, 100, Graphic(300), Opacity, 6, 8},
        {"300 colours brightness", 150, 100, Graphic(300), Brightness, 6, 8},
        {"gray 4 levels", 90, 40, Gray(4), None, 0, 2},
        {"gray 256 levels", 300, 20, Gray(256), None, 0, 8},
        {"gray 256 levels keyed", 300, 20, Gray(256), Key, 0, 8},
        {"gray brightness", 300, 20, Gray(256), Brightness, 4, 8},
        {"1 pixel", 1, 1, Graphic(2), None, 0, 1},
        {"1 pixel keyed", 1, 1, Graphic(2), Key, 0, 1},
        {"photo 1 MP", 1000, 1000, Photo, None, 2, 8},
        {"photo 1 MP keyed", 1000, 1000, Photo, Key, 2, 8},
    };
    for (const auto& c : corpus) {
        SCOPED_TRACE(c.name);
        TBitmap bitmap;
        FillBitmap(bitmap, c.width, c.height, c.color);
        TConversionOptions options = OptionsFor(c.alpha);
        TMemoryStream plain;
        EncodeConverted(options, TTargetFormat::Png, bitmap, plain);
        options.Optimize = true;
        TMemoryStream optimized;
        EncodeConverted(options, TTargetFormat::Png, bitmap, optimized);
        const TDecodedPng decoded = DecodeWithLibpng(optimized.Bytes());
        EXPECT_EQ(decoded.ColorType, c.colorType);
        EXPECT_EQ(decoded.BitDepth, c.bitDepth);
        EXPECT_EQ(DecodeRGBA(optimized.Bytes()), DecodeRGBA(plain.Bytes()));
        EXPECT_LE(optimized.Bytes().size(), plain.Bytes().size());
        EXPECT_TRUE(PngcheckAccepts(optimized.Bytes()));
    }
}
