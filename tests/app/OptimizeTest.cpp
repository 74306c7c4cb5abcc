// The optimised PNG against the plain one over a corpus of graphics, gray pictures and a photo:
// libpng decodes both to the same red, green, blue and alpha, pngcheck accepts the optimised
// file, and it is never larger.

#include "app/ConversionRun.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "png/PNGOptimizer.h"
#include "png/PNGOracle.h"
#include "runtime/Language.h"
#include "runtime/Stream.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
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

namespace {

// A white ground with rectangles and ellipses in two other colours: the first pixels are
// opaque white, which packs to the all-ones RGBA value.
TColor Shapes(int x, int y)
{
    const int dx = x - 300, dy = y - 200;
    if (dx * dx * 4 + dy * dy * 9 < 90 * 90 * 4) {
        return RGBColor(30, 90, 200);
    }
    if ((x > 40 && x < 200 && y > 60 && y < 160) || (x > 250 && y > 280 && y < 330)) {
        return RGBColor(220, 20, 40);
    }
    return RGBColor(255, 255, 255);
}

// Graphic(colours) on a white ground instead of a black rim.
std::function<TColor(int, int)> WhiteGround(int colours)
{
    return [colours](int x, int y) {
        return (x / 24 + y / 16) % 3 == 0 ? RGBColor(255, 255, 255) : Graphic(colours)(x, y);
    };
}

// The ways a run can give a picture alpha, each as options.
const struct
{
    const char* name;
    void (*apply)(TConversionOptions&);
} kModes[] = {
    {"plain", [](TConversionOptions&) {}},
    {"key",
     [](TConversionOptions& o) {
         o.KeyTransparent = true;
         o.KeySource = TKeySource::TopLeft;
     }},
    {"key with tolerance and soft edge",
     [](TConversionOptions& o) {
         o.KeyTransparent = true;
         o.KeySource = TKeySource::TopLeft;
         o.KeyTolerance = 12;
         o.KeySoftEdge = true;
     }},
    {"opacity with edge",
     [](TConversionOptions& o) {
         o.KeyTransparent = true;
         o.KeySource = TKeySource::BottomRight;
         o.UniformOpacity = true;
         o.OpacityPercent = 60;
         o.EdgeMode = true;
     }},
    {"brightness darker", [](TConversionOptions& o) { o.BrightnessAlpha = true; }},
    {"brightness brighter, flattened",
     [](TConversionOptions& o) {
         o.BrightnessAlpha = true;
         o.Direction = TBrightnessDirection::BrighterMoreTransparent;
         o.Flatten = true;
     }},
    {"brightness darker, flattened inverted",
     [](TConversionOptions& o) {
         o.BrightnessAlpha = true;
         o.Flatten = true;
         o.InvertFlatten = true;
     }},
};

// Empty when the optimised file of the bitmap holds the promise, else what broke it.
std::string OptimizedFault(TBitmap& bitmap, const TConversionOptions& options)
{
    TMemoryStream plain;
    EncodeConverted(options, TTargetFormat::Png, bitmap, plain);
    TConversionOptions optimize = options;
    optimize.Optimize = true;
    TMemoryStream optimized;
    const TWarnings warnings = EncodeConverted(optimize, TTargetFormat::Png, bitmap, optimized);
    if (!warnings.empty()) {
        return "the optimiser fell back: " + warnings[0];
    }
    if (DecodeRGBA(optimized.Bytes()) != DecodeRGBA(plain.Bytes())) {
        return "other pixels or alpha";
    }
    if (optimized.Bytes().size() > plain.Bytes().size()) {
        return "larger than the plain file";
    }
    return "";
}

// A generated picture: a seeded size, number of colours (gray or colour, sometimes with white
// first) and layout of runs, blocks or noise.
struct TGenerated
{
    int Width = 1;
    int Height = 1;
    std::vector<TColor> Colours;
    int Layout = 0;
    uint64_t Seed = 0;

    TColor At(int x, int y) const
    {
        uint64_t h =
            Seed ^ (Layout == 0   ? uint64_t(x) * 0x9E3779B97F4A7C15u + uint64_t(y)
                    : Layout == 1 ? uint64_t(x / 5) * 0x9E3779B97F4A7C15u + uint64_t(y)
                                  : uint64_t(x / 7) * 0x9E3779B97F4A7C15u + uint64_t(y / 3));
        h ^= h >> 31;
        h *= 0xBF58476D1CE4E5B9u;
        h ^= h >> 29;
        return Colours[x == 0 && y == 0 ? 0 : size_t(h % Colours.size())];
    }
};

TGenerated Generate(uint64_t seed)
{
    std::mt19937_64 random(seed);
    auto below = [&](uint64_t n) { return int(random() % n); };
    TGenerated g;
    g.Seed = seed;
    const int shape = below(8);
    g.Width = shape == 0 ? 1 : shape == 1 ? 1 + below(1000) : 1 + below(200);
    const int area = 12000;
    g.Height = shape == 1 ? 1 + below(std::max(1, area / g.Width / 4))
                          : 1 + below(std::max(1, area / g.Width));
    const bool gray = below(3) == 0;
    const int count = gray ? 1 + below(256) : 1 + below(300);
    if (below(2) == 0) {
        g.Colours.push_back(RGBColor(255, 255, 255));
    }
    while (int(g.Colours.size()) < count) {
        const uint8_t v = uint8_t(random());
        g.Colours.push_back(gray ? RGBColor(v, v, v)
                                 : RGBColor(v, uint8_t(random()), uint8_t(random())));
    }
    g.Layout = below(3);
    return g;
}

} // namespace

// The pictures whose first row and a half came out as palette entry 0.
TEST(OptimizeTest, WhiteFirstPixelsKeepTheirColour)
{
    const struct
    {
        const char* name;
        std::function<TColor(int, int)> color;
        int mode; // index in kModes
    } found[] = {
        {"three colours", Shapes, 0},
        {"three colours, brightness", Shapes, 4},
        {"16 colours, brightness", WhiteGround(16), 4},
        {"200 colours, brightness", WhiteGround(200), 4},
        {"gray, brightness",
         [](int x, int y) { return x + y < 40 ? RGBColor(255, 255, 255) : Gray(256)(x, y); }, 4},
    };
    for (const auto& c : found) {
        SCOPED_TRACE(c.name);
        TBitmap bitmap;
        FillBitmap(bitmap, 480, 360, c.color);
        TConversionOptions options;
        kModes[c.mode].apply(options);
        EXPECT_EQ(OptimizedFault(bitmap, options), "");
    }
}

// Over thousands of seeded pictures and every mode, the optimised file decodes through libpng
// to exactly the plain file's RGBA and is no larger. A failure names its seed and the smallest
// crop of the picture that still fails.
TEST(OptimizeTest, PropertySameRGBANoLarger)
{
#ifdef KAPTO_ADDRESS_SANITIZER
    const uint64_t pictures = 300;
#else
    const uint64_t pictures = 2100;
#endif
    for (uint64_t seed = 1; seed <= pictures; ++seed) {
        const TGenerated g = Generate(seed);
        TConversionOptions options;
        const auto& mode = kModes[seed % std::size(kModes)];
        mode.apply(options);
        options.SwatchColor = g.Colours.back();
        TBitmap bitmap;
        FillBitmap(bitmap, g.Width, g.Height, [&](int x, int y) { return g.At(x, y); });
        const std::string fault = OptimizedFault(bitmap, options);
        if (fault.empty()) {
            continue;
        }
        // The smallest crop that still fails: fewer rows first, then fewer columns.
        int width = g.Width, height = g.Height;
        for (bool shrunk = true; shrunk;) {
            shrunk = false;
            for (auto [w, h] : {std::pair{width, height / 2}, std::pair{width, height - 1},
                                std::pair{width / 2, height}, std::pair{width - 1, height}}) {
                if (w < 1 || h < 1) {
                    continue;
                }
                TBitmap crop;
                FillBitmap(crop, w, h, [&](int x, int y) { return g.At(x, y); });
                if (!OptimizedFault(crop, options).empty()) {
                    width = w, height = h, shrunk = true;
                    break;
                }
            }
        }
        ADD_FAILURE() << "seed " << seed << " (" << g.Width << " x " << g.Height << ", "
                      << g.Colours.size() << " colours, " << mode.name << "): " << fault
                      << "; still fails cropped to " << width << " x " << height;
        return;
    }
}

// A chosen file that does not read back to the picture is never written: the plain encoding
// is, and the run reports it for that file, serially and pipelined. Here a palette entry of the
// chosen file is changed behind the optimiser.
TEST(OptimizeTest, FileThatReadsBackOtherwiseKeepsThePlainEncoding)
{
    SetOptimizedFileObserver([](std::vector<uint8_t>& file) {
        for (size_t at = 8; at + 12 <= file.size();) {
            const uint32_t length =
                uint32_t(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
            if (std::memcmp(&file[at + 4], "PLTE", 4) == 0) {
                file[at + 8] ^= 1;
                const uint32_t crc = uint32_t(crc32(0, &file[at + 4], length + 4));
                for (int i = 0; i < 4; ++i) {
                    file[at + 8 + length + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
                }
            }
            at += 12 + length;
        }
    });
    const TLanguage language = CurrentLanguage();
    SetLanguage(TLanguage::English);
    TBitmap bitmap;
    FillBitmap(bitmap, 64, 48, Graphic(16));
    TMemoryStream plain;
    EncodeConverted(TConversionOptions(), TTargetFormat::Png, bitmap, plain);
    TConversionOptions options;
    options.Optimize = true;
    TMemoryStream written;
    EXPECT_EQ(EncodeConverted(options, TTargetFormat::Png, bitmap, written),
              TWarnings{"--optimize kept the plain encoding"});
    EXPECT_EQ(written.Bytes(), plain.Bytes());

    struct TWarningsSeen : TRunProgress
    {
        void SetMaximum(int) override {}
        void SetPosition(int) override {}
        void FileWarning(int index, const std::string&, const std::string& message) override
        {
            Seen.push_back(std::to_string(index) + ": " + message);
        }
        std::vector<std::string> Seen;
    };
    struct TNoQuestion : TOverwritePrompt
    {
        TOverwriteAnswer Ask(const std::string&) override { return {}; }
    } prompt;
    for (int jobs : {1, 2}) {
        TTempDir dir;
        const std::vector<std::string> files = {
            WriteTestBmp(dir.Path("a.bmp"), 64, 48, Graphic(16)),
            WriteTestBmp(dir.Path("b.bmp"), 64, 48, Graphic(2))};
        TWarningsSeen progress;
        RunConversion(files, TTargetFormat::Png, options, prompt, progress, jobs);
        EXPECT_EQ(progress.Seen,
                  (std::vector<std::string>{"0: --optimize kept the plain encoding",
                                            "1: --optimize kept the plain encoding"}));
    }
    SetLanguage(language);
    SetOptimizedFileObserver(nullptr);
}
