// The PNG conformance suite and libpng's crash files: every valid file converts through the
// source loader and both writers with the pixels that libpng's decode and the drawing rules
// give; every corrupt file is refused with its exception and message.
#include "app/LoadSource.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "png/PNGObject.h"
#include "png/PNGOracle.h"
#include "runtime/Exceptions.h"
#include "support/Raised.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using namespace kapto;

namespace {

using TBytes = std::vector<uint8_t>;

struct TRGB
{
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    bool operator==(const TRGB& other) const
    {
        return Red == other.Red && Green == other.Green && Blue == other.Blue;
    }
};

struct TPixels
{
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<TRGB> Pixels; // row-major from the top
};

// The suite's files other than the corrupt x* ones, by name without ".png".
const std::vector<std::string>& ValidSuiteFiles()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> found;
        for (const auto& entry :
             std::filesystem::directory_iterator(TestDataPath("png/pngsuite"))) {
            const std::string name = entry.path().filename().string();
            if (entry.path().extension() == ".png" && name[0] != 'x') {
                found.push_back(entry.path().stem().string());
            }
        }
        std::sort(found.begin(), found.end());
        return found;
    }();
    return names;
}

std::string SuitePath(const std::string& name)
{
    return TestDataPath("png/pngsuite/" + name + ".png");
}

const TParsedChunk* FindChunk(const std::vector<TParsedChunk>& chunks, const std::string& type)
{
    for (const TParsedChunk& chunk : chunks) {
        if (chunk.Type == type) {
            return &chunk;
        }
    }
    return nullptr;
}

// The gamma table a file's gAMA chunk calls for: samples mapped to a display of gamma 2.2,
// rounded to nearest with ties to even; identity without a usable value.
std::array<uint8_t, 256> GammaTable(const std::vector<TParsedChunk>& chunks)
{
    std::array<uint8_t, 256> table{};
    const TParsedChunk* gama = FindChunk(chunks, "gAMA");
    uint32_t value = 0;
    if (gama != nullptr && gama->Data.size() == 4) {
        value = uint32_t(gama->Data[0]) << 24 | uint32_t(gama->Data[1]) << 16 |
                uint32_t(gama->Data[2]) << 8 | gama->Data[3];
    }
    for (unsigned i = 0; i < 256; ++i) {
        table[i] =
            value == 0
                ? uint8_t(i)
                : uint8_t(std::nearbyint(255.0 * std::pow(i / 255.0, 100000.0 / (value * 2.2))));
    }
    return table;
}

uint8_t Blend(unsigned source, unsigned alpha, unsigned background)
{
    return uint8_t((source * alpha + (255 - alpha) * background + 255) >> 8);
}

unsigned Channels(int colorType)
{
    switch (colorType) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

// What converting the file gives: libpng's samples, with gamma applied where the picture
// keeps it (colours, palette and gray levels, not the gray of gray-alpha pixels and not alpha),
// alpha blended over the white of a new bitmap, and one tRNS key colour showing that white.
TPixels ExpectedPixels(const TBytes& file)
{
    const TDecodedPng decoded = DecodeWithLibpng(file);
    EXPECT_EQ(decoded.Error, "");
    const std::vector<TParsedChunk> chunks = SplitChunks(file);
    const std::array<uint8_t, 256> g = GammaTable(chunks);
    const int depth = decoded.BitDepth;
    const unsigned channels = Channels(decoded.ColorType);
    const auto high = [depth](unsigned value) { return depth == 16 ? value >> 8 : value; };
    // Gray levels are held as palette indices of 2, 16 or 256 levels; 2-bit sample s is
    // level 5s of 16.
    const auto grayLevel = [&](unsigned v) {
        const unsigned levels = depth == 1 ? 2 : depth <= 4 ? 16 : 256;
        const unsigned index = depth == 2 ? 5 * v : high(v);
        return g[(index * 255 + (levels - 1) / 2) / (levels - 1)];
    };
    const size_t paletteCount = decoded.Palette.size() / 3;
    const auto paletteColor = [&](unsigned index) {
        return index < paletteCount
                   ? TRGB{g[decoded.Palette[3 * index]], g[decoded.Palette[3 * index + 1]],
                          g[decoded.Palette[3 * index + 2]]}
                   : TRGB{};
    };

    const TParsedChunk* trns = FindChunk(chunks, "tRNS");
    std::array<uint8_t, 256> alphas;
    alphas.fill(255);
    bool keyed = trns != nullptr && (decoded.ColorType == 0 || decoded.ColorType == 2);
    TRGB key;
    if (trns != nullptr) {
        std::copy(trns->Data.begin(), trns->Data.end(), alphas.begin());
        if (decoded.ColorType == 0) {
            // The key is the colour-table entry its low byte indexes; none beyond the table.
            const unsigned levels = depth == 1 ? 2 : depth <= 4 ? 16 : 256;
            const unsigned index = alphas[1];
            const uint8_t gray = index >= levels ? 0
                                 : depth == 16   ? g[index]
                                                 : grayLevel(depth == 2 ? index / 5 : index);
            key = {gray, gray, gray};
        } else if (decoded.ColorType == 2) {
            key = {g[alphas[1]], g[alphas[3]], g[alphas[5]]};
        } else if (decoded.ColorType == 3) {
            const size_t count = std::min(trns->Data.size(), paletteCount);
            const auto zeros = std::count(alphas.begin(), alphas.begin() + long(count), 0);
            const auto opaque = std::count(alphas.begin(), alphas.begin() + long(count), 255);
            keyed = zeros == 1 && size_t(zeros + opaque) == count;
            const auto first = std::find(alphas.begin(), alphas.begin() + long(count), 0);
            key = paletteColor(unsigned(first - alphas.begin()));
        }
    }

    TPixels pixels{decoded.Width, decoded.Height, {}};
    const TRGB white{255, 255, 255};
    for (uint32_t y = 0; y < decoded.Height; ++y) {
        for (uint32_t x = 0; x < decoded.Width; ++x) {
            const auto sample = [&](unsigned c) {
                return SampleAt(decoded.Rows[y], x, c, channels, depth);
            };
            TRGB color;
            switch (decoded.ColorType) {
            case 0: {
                const uint8_t gray = grayLevel(sample(0));
                color = {gray, gray, gray};
                break;
            }
            case 2:
                color = {g[high(sample(0))], g[high(sample(1))], g[high(sample(2))]};
                break;
            case 3:
                color = paletteColor(sample(0));
                if (trns != nullptr && !keyed) {
                    const unsigned a = alphas[sample(0)];
                    color = {Blend(color.Red, a, 255), Blend(color.Green, a, 255),
                             Blend(color.Blue, a, 255)};
                }
                break;
            case 4: {
                const uint8_t gray = Blend(high(sample(0)), high(sample(1)), 255);
                color = {gray, gray, gray};
                break;
            }
            case 6: {
                const unsigned a = high(sample(3));
                color = {Blend(g[high(sample(0))], a, 255), Blend(g[high(sample(1))], a, 255),
                         Blend(g[high(sample(2))], a, 255)};
                break;
            }
            default:
                break;
            }
            if (keyed && color == key) {
                color = white;
            }
            pixels.Pixels.push_back(color);
        }
    }
    return pixels;
}

TPixels BitmapPixels(TBitmap& bitmap)
{
    TPixels pixels{uint32_t(bitmap.Width()), uint32_t(bitmap.Height()), {}};
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* row = bitmap.RowAddress(y);
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            pixels.Pixels.push_back({row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        }
    }
    return pixels;
}

TPixels LibpngPixels(const TBytes& file)
{
    const TDecodedPng decoded = DecodeWithLibpng(file);
    TPixels pixels{decoded.Width, decoded.Height, {}};
    if (!decoded.Error.empty() || decoded.ColorType != 2 || decoded.BitDepth != 8) {
        return pixels;
    }
    for (const auto& row : decoded.Rows) {
        for (uint32_t x = 0; x < decoded.Width; ++x) {
            pixels.Pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
        }
    }
    return pixels;
}

// The first pixel where two pictures differ, "" when they are equal.
std::string Difference(const TPixels& actual, const TPixels& expected)
{
    if (actual.Width != expected.Width || actual.Height != expected.Height ||
        actual.Pixels.size() != expected.Pixels.size()) {
        return "size " + std::to_string(actual.Width) + "x" + std::to_string(actual.Height) +
               " instead of " + std::to_string(expected.Width) + "x" +
               std::to_string(expected.Height);
    }
    for (size_t i = 0; i < actual.Pixels.size(); ++i) {
        const TRGB& a = actual.Pixels[i];
        const TRGB& e = expected.Pixels[i];
        if (!(a == e)) {
            return "pixel (" + std::to_string(i % actual.Width) + ", " +
                   std::to_string(i / actual.Width) + ") is " + std::to_string(a.Red) + "," +
                   std::to_string(a.Green) + "," + std::to_string(a.Blue) + " instead of " +
                   std::to_string(e.Red) + "," + std::to_string(e.Green) + "," +
                   std::to_string(e.Blue);
        }
    }
    return "";
}

TPixels Converted(const std::string& name)
{
    TBitmap bitmap;
    LoadSource(SuitePath(name), bitmap);
    return BitmapPixels(bitmap);
}

// The class name and message that loading a file raises, "" when it loads.
std::string LoadOutcome(const std::string& path)
{
    return Outcome([&] {
        TPNGObject png;
        png.LoadFile(path);
        TBitmap bitmap;
        bitmap.AssignFrom(&png);
    });
}

} // namespace

TEST(PNGSuite, EveryValidFileConvertsToTheExpectedPixels)
{
    TTempDir dir;
    ASSERT_EQ(ValidSuiteFiles().size(), 161u);
    for (const std::string& name : ValidSuiteFiles()) {
        SCOPED_TRACE(name);
        const std::string source = SuitePath(name);
        TBitmap bitmap;
        LoadSource(source, bitmap);
        ASSERT_EQ(bitmap.PixelFormat(), fmt24Bit);
        const TPixels loaded = BitmapPixels(bitmap);
        EXPECT_EQ(Difference(loaded, ExpectedPixels(ReadFileBytes(source))), "");

        const std::string png = dir.Path(name + ".png");
        const std::string bmp = dir.Path(name + ".bmp");
        SaveConverted(TConversionOptions{}, TTargetFormat::Png, png, bitmap);
        SaveConverted(TConversionOptions{}, TTargetFormat::Bmp, bmp, bitmap);
        // The PNG output's key marks exactly the pixels the source left transparent, which
        // the bitmap shows white.
        TPixels written = LibpngPixels(ReadFileBytes(png));
        if (const auto& transparent = bitmap.TransparentPixels()) {
            std::vector<uint8_t> key;
            for (const TParsedChunk& chunk : SplitChunks(ReadFileBytes(png))) {
                key = chunk.Type == "tRNS" ? chunk.Data : key;
            }
            ASSERT_EQ(key.size(), 6u);
            const TRGB keyColor{key[1], key[3], key[5]};
            for (size_t i = 0; i < written.Pixels.size(); ++i) {
                const bool isKey = written.Pixels[i] == keyColor;
                EXPECT_EQ(isKey, transparent->Contains(uint32_t(i % written.Width),
                                                       uint32_t(i / written.Width)));
                written.Pixels[i] = isKey ? TRGB{255, 255, 255} : written.Pixels[i];
            }
        }
        EXPECT_EQ(Difference(written, loaded), "") << "PNG output";
        TBitmap reread;
        reread.LoadFile(bmp);
        reread.SetPixelFormat(fmt24Bit);
        EXPECT_EQ(Difference(BitmapPixels(reread), loaded), "") << "BMP output";
    }
}

TEST(PNGSuite, TwinsGiveIdenticalPixels)
{
    // Interlaced and sequential twins, and the families the suite makes pixel-identical.
    std::vector<std::vector<std::string>> groups = {
        {"z00n2c08", "z03n2c08", "z06n2c08", "z09n2c08"},
        {"oi1n0g16", "oi2n0g16", "oi4n0g16", "oi9n0g16"},
        {"oi1n2c16", "oi2n2c16", "oi4n2c16", "oi9n2c16"},
        {"cm0n0g04", "cm7n0g04", "cm9n0g04"},
        {"ct0n0g04", "ct1n0g04", "ctzn0g04"},
        {"ps1n0g08", "ps2n0g08"},
        {"ps1n2c16", "ps2n2c16"}};
    for (const std::string& name : ValidSuiteFiles()) {
        if ((name.rfind("bas", 0) == 0 || name[0] == 's') && name[3] == 'i') {
            std::string twin = name;
            twin[3] = 'n';
            groups.push_back({name, twin});
        }
    }
    for (const auto& group : groups) {
        const TPixels first = Converted(group[0]);
        for (size_t i = 1; i < group.size(); ++i) {
            EXPECT_EQ(Difference(Converted(group[i]), first), "") << group[i] << " vs " << group[0];
        }
    }
}

TEST(PNGSuite, GammaFilesLookAlikeThroughTheirTables)
{
    // The suite stores one picture under gamma values from 0.35 to 2.5, each file's samples
    // encoded for its value: mapped for a display of gamma 2.2 they show nearly the same
    // picture, within 8 levels on average where the stored samples differ by up to 49.
    for (const char* kind : {"n0g16", "n2c08", "n3p04"}) {
        const TPixels reference = Converted(std::string("g10") + kind);
        for (const char* gamma : {"g03", "g04", "g05", "g07", "g25"}) {
            const TPixels pixels = Converted(gamma + std::string(kind));
            ASSERT_EQ(pixels.Pixels.size(), reference.Pixels.size());
            double total = 0;
            for (size_t i = 0; i < pixels.Pixels.size(); ++i) {
                const TRGB& a = pixels.Pixels[i];
                const TRGB& b = reference.Pixels[i];
                total += std::abs(a.Red - b.Red) + std::abs(a.Green - b.Green) +
                         std::abs(a.Blue - b.Blue);
            }
            EXPECT_LT(total / 3 / double(pixels.Pixels.size()), 10.0) << gamma << kind;
        }
    }
}

TEST(PNGSuite, CorruptFilesAreRefusedWithTheirMessages)
{
    const std::string invalidHeader =
        "EPNGInvalidFileHeader: The file being readed is not a valid \"Portable Network "
        "Graphics\" image because it contains an invalid header. This file may be corruped, try "
        "obtaining it again.";
    const std::string invalidIHDR =
        "EPngInvalidIHDR: The \"Portable Network Graphics\" image could not be loaded because "
        "one of its main piece of data (ihdr) might be corrupted";
    const std::string invalidCRC =
        "EPngInvalidCRC: This \"Portable Network Graphics\" image is not valid because it "
        "contains invalid pieces of data (crc error)";
    const std::string unexpectedEnd =
        "EPngUnexpectedEnd: This \"Portable Network Graphics\" image is invalid because the "
        "decoder found an unexpected end of the file.";
    const std::map<std::string, std::string> expected = {
        {"pngsuite/xs1n0g01.png", invalidHeader},
        {"pngsuite/xs2n0g01.png", invalidHeader},
        {"pngsuite/xs4n0g01.png", invalidHeader},
        {"pngsuite/xs7n0g01.png", invalidHeader},
        {"pngsuite/xcrn0g04.png", invalidHeader},
        {"pngsuite/xlfn0g04.png", invalidHeader},
        {"pngsuite/xhdn0g08.png", invalidCRC},
        {"pngsuite/xc1n0g08.png", invalidIHDR},
        {"pngsuite/xc9n2c08.png", invalidIHDR},
        {"pngsuite/xd0n2c08.png", invalidIHDR},
        {"pngsuite/xd3n2c08.png", invalidIHDR},
        {"pngsuite/xd9n2c08.png", invalidIHDR},
        {"pngsuite/xdtn0g01.png",
         "EPNGNoImageData: This \"Portable Network Graphics\" image contains no data."},
        {"pngsuite/xcsn0g01.png", invalidCRC},
        {"libpng-crashers/badcrc.png", invalidCRC},
        {"libpng-crashers/badadler.png",
         "EPNGZLIBError: Could not decompress the image because it contains invalid compressed "
         "data.\r\n Description: data error (-3)"},
        {"libpng-crashers/bad_iCCP.png", invalidCRC},
        {"libpng-crashers/huge_IDAT.png", invalidCRC},
        // Chromaticities are skipped unread, so the end of the file is met at the next chunk.
        {"libpng-crashers/huge_cHRM_chunk.png", unexpectedEnd},
    };
    for (const auto& [file, message] : expected) {
        EXPECT_EQ(LoadOutcome(TestDataPath("png/" + file)), message) << file;
    }
    for (const char* type : {"bKGD", "eXIf", "gAMA", "hIST", "iCCP", "iTXt", "pCAL", "pHYs", "sCAL",
                             "sPLT", "sRGB", "sTER", "tEXt", "tIME", "zTXt"}) {
        const std::string file = std::string("png/libpng-crashers/huge_") + type + "_chunk.png";
        EXPECT_EQ(LoadOutcome(TestDataPath(file)), invalidCRC) << file;
    }
    for (const char* file : {"huge_juNK_unsafe_to_copy.png", "huge_juNk_safe_to_copy.png"}) {
        EXPECT_EQ(LoadOutcome(TestDataPath(std::string("png/libpng-crashers/") + file)), invalidCRC)
            << file;
    }
}

TEST(PNGSuite, EmptyAncillaryChunksAreKeptOrIgnored)
{
    // Every ancillary chunk with no data, before and after PLTE and after IDAT: the picture is
    // the one purple pixel, and the empty gAMA changes no colour.
    TBitmap bitmap;
    LoadSource(TestDataPath("png/libpng-crashers/empty_ancillary_chunks.png"), bitmap);
    const TPixels pixels = BitmapPixels(bitmap);
    ASSERT_EQ(pixels.Pixels.size(), 1u);
    EXPECT_EQ(pixels.Pixels[0], (TRGB{0x80, 0x00, 0x80}));
}

namespace {

// A 9 x 6 picture of the type whose samples repeat every 7 pixels along each row, shifted by 2
// from row to row and by 3 from channel to channel, with a key that pixels (1, 0), (8, 0),
// (6, 1) ... match: one tRNS entry 0 for palettes, the samples of pixel (1, 0) otherwise.
TBytes KeyedPicture(int colorType, int depth, uint32_t gamma, bool interlaced)
{
    TLibpngPicture picture{9, 6, depth, colorType, interlaced, {}, {}, {}, gamma};
    const unsigned channels = colorType == 2 ? 3 : 1;
    const unsigned levels = colorType == 3 ? std::min(1u << depth, 7u) : 7;
    const unsigned maximum = depth == 16 ? 0xFFFF : (1u << depth) - 1;
    const auto sample = [&](uint32_t x, uint32_t y, unsigned c) {
        const unsigned v = (x + 2 * y + 3 * c) % levels;
        return colorType == 3 ? v : depth == 16 ? v * 40 * 0x0101 : v * maximum / 6;
    };
    for (uint32_t y = 0; y < picture.Height; ++y) {
        TBytes row((size_t(picture.Width) * channels * unsigned(depth) + 7) / 8);
        for (uint32_t x = 0; x < picture.Width; ++x) {
            for (unsigned c = 0; c < channels; ++c) {
                const unsigned value = sample(x, y, c);
                const size_t index = size_t(x) * channels + c;
                if (depth == 16) {
                    row[2 * index] = uint8_t(value >> 8);
                    row[2 * index + 1] = uint8_t(value);
                } else {
                    const size_t bit = index * unsigned(depth);
                    row[bit / 8] |= uint8_t(value << (8 - depth - int(bit % 8)));
                }
            }
        }
        picture.Rows.push_back(row);
    }
    if (colorType == 3) {
        for (unsigned i = 0; i < levels; ++i) {
            picture.Palette.insert(
                picture.Palette.end(),
                {uint8_t(10 + 30 * i), uint8_t(200 - 20 * i), uint8_t(50 + 25 * i)});
        }
        picture.Transparency = {255, 0};
    } else {
        for (unsigned c = 0; c < channels; ++c) {
            const unsigned value = sample(1, 0, c);
            picture.Transparency.insert(picture.Transparency.end(),
                                        {uint8_t(value >> 8), uint8_t(value)});
        }
    }
    return EncodeWithLibpng(picture);
}

} // namespace

TEST(PNGSuite, KeyedPicturesOfEveryTypeShowWhiteWhereTheKeyStood)
{
    const std::pair<int, int> types[] = {{3, 1}, {3, 2}, {3, 4},  {3, 8}, {0, 1}, {0, 2},
                                         {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}};
    TTempDir dir;
    for (const auto& [colorType, depth] : types) {
        for (const uint32_t gamma : {0u, 100000u}) {
            for (const bool interlaced : {false, true}) {
                SCOPED_TRACE("colour type " + std::to_string(colorType) + ", depth " +
                             std::to_string(depth) + ", gAMA " + std::to_string(gamma) +
                             (interlaced ? ", Adam7" : ""));
                const TBytes file = KeyedPicture(colorType, depth, gamma, interlaced);
                const std::string path = dir.Path("keyed.png");
                WriteFileBytes(path, file);
                TBitmap bitmap;
                LoadSource(path, bitmap);
                const TPixels expected = ExpectedPixels(file);
                EXPECT_EQ(Difference(BitmapPixels(bitmap), expected), "");
                EXPECT_NE(
                    std::count(expected.Pixels.begin(), expected.Pixels.end(), TRGB{255, 255, 255}),
                    0);
            }
        }
    }
}
