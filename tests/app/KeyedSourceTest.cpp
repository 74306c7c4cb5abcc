// PNG sources with one transparent colour, loaded and converted with no options: libpng decides
// which source pixels are transparent, and the converted file (also read by libpng) has exactly
// those transparent and every other pixel opaque in its own colour, while the loaded bitmap
// shows the transparent ones white.

#include "app/LoadSource.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "png/PNGTestFile.h"
#include "runtime/Stream.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <random>
#include <string>
#include <vector>

using namespace kapto;

namespace {

// Red, green, blue and alpha of each pixel, as libpng's simplified reader gives them.
TBytes LibpngRGBA(const TBytes& file, uint32_t& width, uint32_t& height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_NE(png_image_begin_read_from_memory(&image, file.data(), file.size()), 0);
    image.format = PNG_FORMAT_RGBA;
    TBytes rgba(PNG_IMAGE_SIZE(image));
    EXPECT_NE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr), 0) << image.message;
    width = image.width;
    height = image.height;
    return rgba;
}

struct TKeyedCase
{
    std::string Name;
    TBytes File;
    // The 8-bit colour of each pixel where libpng's own reduction of 16 bits may differ; empty
    // to take libpng's.
    std::vector<TColor> Colors;
};

// Loads the source, checks the bitmap against it and the converted file against both.
void CheckConverted(const TKeyedCase& c)
{
    SCOPED_TRACE(c.Name);
    TTempDir dir;
    const std::string path = dir.Path("source.png");
    WriteFileBytes(path, c.File);
    TBitmap bitmap;
    LoadSource(path, bitmap);
    TMemoryStream written;
    EncodeConverted(TConversionOptions{}, TTargetFormat::Png, bitmap, written);

    uint32_t width = 0, height = 0, outWidth = 0, outHeight = 0;
    const TBytes source = LibpngRGBA(c.File, width, height);
    const TBytes output = LibpngRGBA(written.Bytes(), outWidth, outHeight);
    ASSERT_EQ(outWidth, width);
    ASSERT_EQ(outHeight, height);
    ASSERT_EQ(bitmap.Width(), int32_t(width));
    for (uint32_t i = 0; i < width * height; ++i) {
        const int32_t x = int32_t(i % width), y = int32_t(i / width);
        const uint8_t* s = &source[4 * size_t(i)];
        const uint8_t* o = &output[4 * size_t(i)];
        const TColor color = c.Colors.empty() ? RGBColor(s[0], s[1], s[2]) : c.Colors[i];
        ASSERT_TRUE(s[3] == 0 || s[3] == 255);
        EXPECT_EQ(o[3], s[3]) << "pixel " << x << "," << y;
        EXPECT_EQ(bitmap.Canvas().GetPixel(x, y), s[3] == 0 ? clWhite : color)
            << "pixel " << x << "," << y;
        if (s[3] == 255) {
            EXPECT_EQ(RGBColor(o[0], o[1], o[2]), color) << "pixel " << x << "," << y;
        }
    }
}

// Rows of a palette picture at depth bits holding the indices in turn.
std::vector<TBytes> PaletteRows(uint32_t width, uint32_t height, unsigned depth,
                                const std::vector<unsigned>& indices)
{
    std::vector<TBytes> rows(height, TBytes((width * depth + 7) / 8));
    for (uint32_t i = 0; i < width * height; ++i) {
        const uint32_t x = i % width;
        const size_t bit = size_t(x) * depth;
        rows[i / width][bit / 8] |= uint8_t(indices[i % indices.size()] << (8 - depth - bit % 8));
    }
    return rows;
}

TBytes PalettePng(uint32_t width, uint32_t height, unsigned depth, const TBytes& palette,
                  const TBytes& transparency, const std::vector<unsigned>& indices)
{
    return SimplePng(IhdrData(width, height, uint8_t(depth), 3),
                     PaletteRows(width, height, depth, indices),
                     {Chunk("PLTE", palette), Chunk("tRNS", transparency)});
}

TBytes Big16(std::initializer_list<unsigned> samples)
{
    TBytes bytes;
    for (unsigned s : samples) {
        bytes.push_back(uint8_t(s >> 8));
        bytes.push_back(uint8_t(s));
    }
    return bytes;
}

} // namespace

TEST(KeyedSourceTest, TransparencyFollowsTheIndexOrTheWholeSample)
{
    std::vector<TKeyedCase> cases;
    // Entry 1 is transparent magenta, entry 2 the same magenta opaque; at depth 1 entry 0 is
    // the transparent one and entry 1 its opaque twin.
    for (unsigned depth : {1u, 2u, 4u, 8u}) {
        const bool one = depth == 1;
        const TBytes small =
            one ? TBytes{255, 0, 255, 255, 0, 255} : TBytes{10, 20, 30, 255, 0, 255, 255, 0, 255};
        const TBytes key = one ? TBytes{0} : TBytes{255, 0};
        const std::vector<unsigned> indices =
            one ? std::vector<unsigned>{0, 1, 1} : std::vector<unsigned>{0, 1, 2, 2, 1};
        cases.push_back(
            {"depth " + std::to_string(depth), PalettePng(7, 3, depth, small, key, indices), {}});
        // Padded as some editors write: the palette to 2^depth entries repeating the
        // transparent colour, and tRNS to the palette's length.
        TBytes full = small;
        TBytes fullKey = key;
        while (full.size() < 3u << depth) {
            full.insert(full.end(), {255, 0, 255});
        }
        fullKey.resize(1u << depth, 255);
        std::vector<unsigned> all;
        for (unsigned i = 0; i < (1u << depth); ++i) {
            all.push_back(i);
        }
        cases.push_back({"padded depth " + std::to_string(depth),
                         PalettePng(9, 4, depth, full, fullKey, all),
                         {}});
    }
    // White is transparent and also the colour of an opaque entry.
    cases.push_back(
        {"white twin",
         PalettePng(4, 1, 8, {255, 255, 255, 255, 255, 255, 0, 0, 0}, {0}, {0, 1, 2, 1}),
         {}});
    // 16 bits: only 0x8001 is transparent; the old reading keyed every sample whose high byte
    // was the key's low byte, or the key's high byte.
    cases.push_back(
        {"gray 16",
         SimplePng(IhdrData(5, 1, 16, 0), {Big16({0x8000, 0x8001, 0x80FF, 0x0180, 0x0101})},
                   {Chunk("tRNS", Big16({0x8001}))}),
         {0x808080, 0, 0x808080, 0x010101, 0x010101}});
    cases.push_back({"rgb 16",
                     SimplePng(IhdrData(4, 1, 16, 2),
                               {Big16({0xFF00, 0x0000, 0xFF00, 0xFF01, 0x0000, 0xFF00, 0xFF00,
                                       0x0001, 0xFF00, 0x0100, 0x0000, 0x0000})},
                               {Chunk("tRNS", Big16({0xFF01, 0x0000, 0xFF00}))}),
                     {0xFF00FF, 0, 0xFF00FF, 0x000001}});
    for (const TKeyedCase& c : cases) {
        CheckConverted(c);
    }
}

// Random palettes full of repeated colours with one transparent entry and a tRNS of random
// length: every transparent pixel stays transparent, every opaque one opaque in its colour.
TEST(KeyedSourceTest, RandomPalettesWithDuplicates)
{
#ifdef KAPTO_ADDRESS_SANITIZER
    const int kCases = 40;
#else
    const int kCases = 300;
#endif
    for (int seed = 0; seed < kCases; ++seed) {
        std::mt19937 generator{uint32_t(seed)};
        auto pick = [&](unsigned n) { return unsigned(generator() % n); };
        const unsigned depth = 1u << pick(4);
        const unsigned entries = 1 + pick(1u << depth);
        // A handful of colours, so that entries repeat one another, white and black among them.
        const TColor colors[] = {clWhite, clBlack, 0xFF00FF, 0x123456,
                                 TColor(generator() & 0xFFFFFF)};
        TBytes palette;
        for (unsigned i = 0; i < entries; ++i) {
            const TColor color = colors[pick(5)];
            palette.insert(palette.end(), {RedOf(color), GreenOf(color), BlueOf(color)});
        }
        const unsigned transparent = pick(entries);
        TBytes transparency(transparent + 1 + pick(entries - transparent), 255);
        transparency[transparent] = 0;
        const uint32_t width = 1 + pick(40);
        const uint32_t height = 1 + pick(20);
        std::vector<unsigned> indices;
        for (uint32_t i = 0; i < width * height; ++i) {
            indices.push_back(pick(entries));
        }
        CheckConverted({"seed " + std::to_string(seed),
                        PalettePng(width, height, depth, palette, transparency, indices),
                        {}});
        if (HasFailure()) {
            break;
        }
    }
}
