// The BMP Suite images (tests/data/bmp/bmpsuite): good files decode and survive a 24-bit
// roundtrip, twins decode to the same pixels, questionable and bad files load or raise a
// named error, and truncated or damaged copies of valid files never crash.

#include "graphics/Bitmap.h"
#include "runtime/Exceptions.h"
#include "support/TempDir.h"

#include "BmpBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>

using namespace kapto;
using namespace bmptest;

namespace {

std::string SuitePath(const std::string& name)
{
    return TestDataPath("bmp/bmpsuite/" + name);
}

std::vector<std::string> SuiteFiles(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(SuitePath(folder))) {
        if (entry.path().extension() == ".bmp") {
            names.push_back(folder + "/" + entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The picture as 24-bit rows from the top, without padding.
std::vector<uint8_t> Rows24(TBitmap& bitmap)
{
    bitmap.SetPixelFormat(fmt24Bit);
    std::vector<uint8_t> rows;
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* row = bitmap.RowAddress(y);
        rows.insert(rows.end(), row, row + size_t(bitmap.Width()) * 3);
    }
    return rows;
}

enum class TOutcome
{
    Loaded,
    Rejected
};

enum class TAfterLoad
{
    Nothing,
    ConvertAndSave
};

// Loads the bytes; a named error is a rejection, anything else escapes and fails the test.
// A loaded image may also be converted to 24 bits and written, as the converter would.
TOutcome TryLoad(const std::vector<uint8_t>& bytes, TAfterLoad after = TAfterLoad::ConvertAndSave)
{
    TBitmap bitmap;
    try {
        LoadBytes(bitmap, bytes);
    } catch (const EInvalidGraphic&) {
        return TOutcome::Rejected;
    } catch (const EReadError&) {
        return TOutcome::Rejected;
    } catch (const EOutOfResources&) {
        return TOutcome::Rejected;
    }
    if (after == TAfterLoad::ConvertAndSave && !bitmap.Empty() &&
        int64_t(bitmap.Width()) * bitmap.Height() <= (1 << 16)) {
        bitmap.SetPixelFormat(fmt24Bit);
        SaveBytes(bitmap);
    }
    return TOutcome::Loaded;
}

} // namespace

TEST(BmpSuiteTest, GoodFilesDecodeAndRoundTripAt24Bits)
{
    const std::vector<std::string> files = SuiteFiles("good");
    ASSERT_EQ(files.size(), 27u);
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        TBitmap bitmap;
        ASSERT_NO_THROW(bitmap.LoadFile(SuitePath(name)));
        EXPECT_EQ(bitmap.Width(), name.find("pal8w12") != std::string::npos
                                      ? std::stoi(name.substr(name.find("w12") + 1, 3))
                                      : 127);
        const std::vector<uint8_t> rows = Rows24(bitmap);
        // Every picture of the suite has more than one colour.
        EXPECT_NE(std::count(rows.begin(), rows.end(), rows[0]), std::ptrdiff_t(rows.size()));

        TTempDir folder;
        bitmap.SaveFile(folder.Path("out.bmp"));
        TBitmap reread;
        reread.LoadFile(folder.Path("out.bmp"));
        EXPECT_EQ(reread.PixelFormat(), fmt24Bit);
        EXPECT_EQ(Rows24(reread), rows);
    }
}

TEST(BmpSuiteTest, TwinsDecodeToTheSamePixels)
{
    const std::vector<std::vector<std::string>> groups = {
        {"pal1", "pal1wb"},
        {"pal4", "pal4rle"},
        {"pal8", "pal8-0", "pal8rle", "pal8topdown", "pal8os2", "pal8v4", "pal8v5"},
        {"rgb16", "rgb16bfdef"},
        {"rgb16-565", "rgb16-565pal"},
        {"rgb24", "rgb24pal", "rgb32", "rgb32bfdef", "rgb32bf"},
    };
    for (const auto& group : groups) {
        TBitmap first;
        first.LoadFile(SuitePath("good/" + group[0] + ".bmp"));
        const std::vector<uint8_t> expected = Rows24(first);
        for (size_t i = 1; i < group.size(); ++i) {
            SCOPED_TRACE(group[i]);
            TBitmap other;
            other.LoadFile(SuitePath("good/" + group[i] + ".bmp"));
            EXPECT_EQ(Rows24(other), expected);
        }
    }
}

TEST(BmpSuiteTest, SixteenBitChannelsReachFullIntensity)
{
    for (const char* name : {"good/rgb16.bmp", "good/rgb16-565.bmp"}) {
        SCOPED_TRACE(name);
        TBitmap bitmap;
        bitmap.LoadFile(SuitePath(name));
        const std::vector<uint8_t> rows = Rows24(bitmap);
        EXPECT_EQ(*std::max_element(rows.begin(), rows.end()), 255);
        EXPECT_EQ(std::count(rows.begin(), rows.end(), 248), 0);
    }
}

TEST(BmpSuiteTest, BadAndQuestionableFilesLoadOrRaiseNamedErrors)
{
    const std::set<std::string> mustReject = {"bad/badbitcount.bmp", "bad/badwidth.bmp",
                                              "bad/reallybig.bmp", "bad/badpalettesize.bmp"};
    std::vector<std::string> files = SuiteFiles("bad");
    ASSERT_EQ(files.size(), 20u);
    const std::vector<std::string> questionable = SuiteFiles("questionable");
    ASSERT_EQ(questionable.size(), 42u);
    files.insert(files.end(), questionable.begin(), questionable.end());
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const TOutcome outcome = TryLoad(ReadFileBytes(SuitePath(name)));
        if (mustReject.count(name) != 0) {
            EXPECT_EQ(outcome, TOutcome::Rejected);
        }
    }
}

TEST(BmpSuiteTest, TruncationsAndDamagedHeadersNeverCrash)
{
    std::vector<std::vector<uint8_t>> sources;
    for (const char* name :
         {"good/pal4rle.bmp", "good/pal8os2.bmp", "good/rgb16-565pal.bmp", "good/pal1bg.bmp"}) {
        sources.push_back(ReadFileBytes(SuitePath(name)));
    }
    TBmpFile small;
    small.HeaderSize = 124;
    small.Width = 7;
    small.Height = -3;
    small.BitCount = 32;
    small.Compression = 3;
    small.Masks = {0xFF000000, 0x0000FF00, 0x00FF0000};
    small.Pixels = PackRows(
        7, 3, 32, [](int32_t x, int32_t y) { return uint32_t(x * y * 12345); }, true);
    sources.push_back(BuildBmp(small));
    small.HeaderSize = 40;
    small.BitCount = 16;
    small.Masks = {0x7C00, 0x03E0, 0x001F};
    small.Pixels = PackRows(7, 3, 16, [](int32_t x, int32_t y) { return uint32_t(x * 31 + y); });
    sources.push_back(BuildBmp(small));

    for (const std::vector<uint8_t>& source : sources) {
        ASSERT_EQ(TryLoad(source), TOutcome::Loaded);
        for (size_t length = 0; length < source.size(); ++length) {
            TryLoad(std::vector<uint8_t>(source.begin(), source.begin() + std::ptrdiff_t(length)),
                    TAfterLoad::Nothing);
        }
        // The file header, the info header and its masks: every byte set to values that
        // hit the edges of each field.
        const size_t headerEnd = std::min<size_t>(source.size(), 14 + Get32(source, 14) + 12);
        for (size_t offset = 0; offset < headerEnd; ++offset) {
            for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF}) {
                std::vector<uint8_t> damaged = source;
                damaged[offset] = value;
                TryLoad(damaged);
            }
        }
    }
}
