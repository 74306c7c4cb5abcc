// The third-party sample files: reference indices and palettes, agreement with giflib on
// every sample both decoders read, and the outcome for each damaged file.

#include "GIFOracle.h"
#include "GIFTestLoad.h"
#include "gif/GIFSubImage.h"
#include "graphics/Bitmap.h"
#include "runtime/Stream.h"
#include "support/Raised.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

using namespace kapto;
using namespace giftest;

namespace {

const std::string kData = std::string(KAPTO_TEST_DATA) + "/gif/";

TBytes ReadFile(const std::string& name)
{
    std::ifstream file(kData + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return TBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> SampleNames()
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kData)) {
        if (entry.path().extension() == ".gif") {
            names.push_back(std::filesystem::relative(entry.path(), kData).string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// "ok" or "GIFException: message" for loading, then the same for taking the first frame.
std::string Outcome(const TBytes& bytes)
{
    TGIFImage image;
    const std::string loadError = MessageOf<GIFException>(
        [&] {
            TMemoryStream stream(bytes);
            image.LoadFromStream(stream);
        },
        "");
    if (!loadError.empty()) {
        return "load: " + loadError;
    }
    const std::string bitmapError = ::Outcome([&] {
        TBitmap bitmap;
        bitmap.AssignFrom(&image);
    });
    return bitmapError.empty() ? "ok" : "bitmap: " + bitmapError;
}

} // namespace

TEST(GIFSamples, OutcomePerFile)
{
    // Every sample loads and gives its first frame, except these. The reader is tolerant
    // where the format leaves room: short data, missing trailers, frames outside the screen.
    const std::map<std::string, std::string> exceptions{
        // Loops in the LZW table of a truncated, corrupt file.
        {"image-gif/issue-117-out-of-range.gif", "load: Circular decoder table entry"},
        // Extension labels without a registered class are fatal, as for any unknown block
        // that could not be skipped safely.
        {"image-gif/issue-209-extension-block-type.gif", "load: Unknown extension type"},
        // Neither a global nor a local colour table: loads, but gives no bitmap.
        {"image-gif/issue-96-small-codesize-2.gif",
         "bitmap: GIFException: No global or local color table defined"},
        {"pillow/no_palette.gif", "bitmap: GIFException: No global or local color table defined"},
        // Minimum code size 143.
        {"pillow/zero_width.gif", "load: Invalid LZW code size"},
    };
    // A zero-width frame takes the 6727 x 65351 screen; rendering it would take gigabytes.
    const std::string loadOnly = "image-gif/issue-101-infinite-empty-loop.gif";
    for (const std::string& name : SampleNames()) {
        SCOPED_TRACE(name);
        const TBytes bytes = ReadFile(name);
        if (name == loadOnly) {
            TLoaded loaded = LoadGIF(bytes);
            EXPECT_EQ(loaded.image->Images()[0].Width(), 6727);
            continue;
        }
        const auto found = exceptions.find(name);
        EXPECT_EQ(Outcome(bytes), found != exceptions.end() ? found->second : "ok");
    }
}

TEST(GIFSamples, ReferenceIndicesAndPalettes)
{
    for (const char* name : {"bricks-dither", "bricks-nodither", "bricks-gray"}) {
        SCOPED_TRACE(name);
        TLoaded loaded = LoadGIF(ReadFile(std::string("wuffs/") + name + ".gif"));
        EXPECT_EQ(FrameData(loaded.image->Images()[0]),
                  ReadFile(std::string("wuffs/") + name + ".indexes"));
        const std::string paletteName = std::string("wuffs/") + name + ".palette";
        if (std::filesystem::exists(kData + paletteName)) {
            const TBytes palette = ReadFile(paletteName);
            const TGIFColorMap& map = loaded.image->Header().ColorMap();
            for (int i = 0; i < map.Count(); ++i) {
                const TGIFColor& color = map.Colors(i);
                EXPECT_EQ(color.Blue, palette[size_t(4 * i)]) << i;
                EXPECT_EQ(color.Green, palette[size_t(4 * i + 1)]) << i;
                EXPECT_EQ(color.Red, palette[size_t(4 * i + 2)]) << i;
            }
        }
    }
    TLoaded muybridge = LoadGIF(ReadFile("wuffs/muybridge.gif"));
    ASSERT_EQ(muybridge.image->Images().Count(), 15);
    for (int i = 0; i < 15; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "wuffs/muybridge-frame-%03d.indexes", i);
        EXPECT_EQ(FrameData(muybridge.image->Images()[i]), ReadFile(name)) << name;
    }
    const char* sample = "1111122222111112222211111222221110000222111000022222200001112220000111"
                         "222221111122222111112222211111";
    TBytes expected;
    for (const char* p = sample; *p != 0; ++p) {
        expected.push_back(uint8_t(*p - '0'));
    }
    EXPECT_EQ(FrameData(LoadGIF(ReadFile("image-gif/sample_1.gif")).image->Images()[0]), expected);
    // A clear code before every pixel: a checkerboard.
    for (const char* name :
         {"image-gif/issue-208-block-type.gif", "image-gif/issue-208-block-type-beta.gif"}) {
        const TBytes data = FrameData(LoadGIF(ReadFile(name)).image->Images()[0]);
        ASSERT_EQ(data.size(), 64u) << name;
        for (size_t i = 0; i < 64; ++i) {
            EXPECT_EQ(data[i], (i / 8 + i % 8) % 2 == 0 ? 1 : 0) << name << " " << i;
        }
    }
    EXPECT_EQ(FrameData(LoadGIF(ReadFile("wuffs/hippopotamus.regular.gif")).image->Images()[0]),
              FrameData(LoadGIF(ReadFile("wuffs/hippopotamus.interlaced.gif")).image->Images()[0]));
}

TEST(GIFSamples, FramesAgreeWithGiflib)
{
    int compared = 0;
    for (const std::string& name : SampleNames()) {
        SCOPED_TRACE(name);
        // The damaged files of image-gif declare frames of gigapixels.
        if (name.find("issue-") != std::string::npos) {
            continue;
        }
        const TBytes bytes = ReadFile(name);
        const TOracleImage oracle = DecodeWithGiflib(bytes);
        if (!oracle.ok) {
            continue;
        }
        TLoaded loaded = LoadGIF(bytes);
        std::vector<TGIFSubImage*> frames;
        for (int i = 0; i < loaded.image->Images().Count(); ++i) {
            if (!loaded.image->Images()[i].Empty()) {
                frames.push_back(&loaded.image->Images()[i]);
            }
        }
        ASSERT_EQ(frames.size(), oracle.frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            const TOracleFrame& expected = oracle.frames[i];
            if (expected.width == 0 || expected.height == 0) {
                continue; // this reader gives such frames the screen's size
            }
            EXPECT_EQ(frames[i]->Left(), expected.left);
            EXPECT_EQ(frames[i]->Top(), expected.top);
            EXPECT_EQ(FrameData(*frames[i]), expected.indices) << "frame " << i;
        }
        ++compared;
    }
    EXPECT_GT(compared, 30);
}

TEST(GIFSamples, LoadFileThenBitmapAsSourceLoadingDoes)
{
    TBitmap bitmap;
    {
        TGIFImage image;
        image.LoadFile(kData + "image-gif/sample_1.gif");
        bitmap.AssignFrom(&image);
    }
    bitmap.SetPixelFormat(fmt24Bit);
    const TOracleImage oracle = DecodeWithGiflib(ReadFile("image-gif/sample_1.gif"));
    ASSERT_TRUE(oracle.ok);
    const TOracleFrame& frame = oracle.frames[0];
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const uint32_t rgb = frame.rgb[frame.indices[size_t(y * 10 + x)]];
            EXPECT_EQ(bitmap.Canvas().GetPixel(x, y),
                      RGBColor(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)));
        }
    }
    TGIFImage missing;
    EXPECT_THROW(missing.LoadFile(kData + "no-such-file.gif"), EFOpenError);
}
