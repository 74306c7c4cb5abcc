// JPEG sources: pixels equal the library's own decode for pictures written by the library's
// encoder, grey levels survive, CMYK converts, and every failure is a named exception.

#include "jpeg/JPEGImage.h"
#include "app/LoadSource.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "jpeg/JPEGErrors.h"
#include "png/PNGOracle.h"
#include "runtime/Stream.h"
#include "support/ImageLimit.h"
#include "support/JpegEncoder.h"
#include "support/Pillow.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <cstdlib>
#include <set>
#include <utility>

using namespace kapto;

namespace {

// A picture with smooth gradients and sharp edges, so every sampling and quality differs.
uint8_t Sample(int x, int y, int c)
{
    return uint8_t((x * 7 + y * 3 + c * 61 + ((x / 5 + y / 3) % 2) * 90) & 0xFF);
}

std::vector<uint8_t> EncodeJpeg(const TEncodeSettings& settings)
{
    return EncodeJpeg(settings, Sample);
}

// The library's own decode as rows of red, green, blue (CMYK through the inverted-ink rule).
std::vector<uint8_t> DecodeReference(const std::vector<uint8_t>& bytes, int& width, int& height)
{
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), (unsigned long)bytes.size());
    jpeg_read_header(&info, TRUE);
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&info);
    width = int(info.output_width);
    height = int(info.output_height);
    std::vector<uint8_t> rgb(size_t(width * height * 3));
    std::vector<uint8_t> row(size_t(width * info.output_components));
    while (info.output_scanline < info.output_height) {
        const int y = int(info.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        for (int x = 0; x < width; ++x) {
            uint8_t* out = &rgb[size_t((y * width + x) * 3)];
            if (cmyk) {
                const int k = row[size_t(x * 4 + 3)];
                for (int c = 0; c < 3; ++c) {
                    out[c] = uint8_t((row[size_t(x * 4 + c)] * k + 127) / 255);
                }
            } else {
                for (int c = 0; c < 3; ++c) {
                    out[c] = row[size_t(x * 3 + c)];
                }
            }
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return rgb;
}

// Loads the bytes as a ".jpg" source into a 24-bit bitmap.
void LoadAsSource(const std::vector<uint8_t>& bytes, TBitmap& bitmap, TTempDir& dir)
{
    const std::string name = dir.Path("source.jpg");
    WriteFileBytes(name, bytes);
    LoadSource(name, bitmap);
}

void ExpectSameAsReference(const std::vector<uint8_t>& bytes, const std::string& what)
{
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> reference = DecodeReference(bytes, width, height);
    TTempDir dir;
    TBitmap bitmap;
    LoadAsSource(bytes, bitmap, dir);
    ASSERT_EQ(bitmap.PixelFormat(), fmt24Bit) << what;
    ASSERT_EQ(bitmap.Width(), width) << what;
    ASSERT_EQ(bitmap.Height(), height) << what;
    int differences = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bitmap.RowAddress(y);
        for (int x = 0; x < width; ++x) {
            const uint8_t* expected = &reference[size_t((y * width + x) * 3)];
            if (row[3 * x + 2] != expected[0] || row[3 * x + 1] != expected[1] ||
                row[3 * x] != expected[2]) {
                ++differences;
            }
        }
    }
    EXPECT_EQ(differences, 0) << what;
}

std::string LibraryError(int code)
{
    return "JPEG エラー #" + std::to_string(code);
}

} // namespace

TEST(JPEGImageTest, ColourPicturesMatchTheLibrarysDecode)
{
    const struct
    {
        const char* name;
        TEncodeSettings settings;
    } cases[] = {
        {"4:2:0 q75", {48, 40, 3, 75, 2, 2}},
        {"4:2:2 q90", {48, 40, 3, 90, 2, 1}},
        {"4:4:4 q50", {48, 40, 3, 50, 1, 1}},
        {"1x1", {1, 1, 3, 90, 2, 2}},
        {"17x9", {17, 9, 3, 90, 2, 2}},
        {"progressive", {33, 21, 3, 80, 2, 2, true}},
        {"restart intervals", {40, 40, 3, 85, 2, 2, false, 1}},
    };
    for (const auto& c : cases) {
        ExpectSameAsReference(EncodeJpeg(c.settings), c.name);
    }
}

TEST(JPEGImageTest, SampleFilesMatchTheLibrarysDecode)
{
    for (const char* name : {"wuffs/peacock.default.jpeg", "wuffs/peacock.progressive.jpeg",
                             "wuffs/peacock.s-very-weird.jpeg", "wuffs/peacock.s1x3.jpeg",
                             "wuffs/mona-lisa.21x32.q50.jpeg", "derived/peacock.restart.jpeg",
                             "derived/peacock.cmyk.jpeg", "derived/peacock.ycck.jpeg"}) {
        ExpectSameAsReference(ReadFileBytes(TestDataPath(std::string("jpeg/") + name)), name);
    }
}

// Four components with and without the Adobe marker, and YCCK, which needs the marker: read
// as libjpeg's tools and Pillow read them, sample times black sample.
TEST(JPEGImageTest, FourComponentFilesMatchOtherDecoders)
{
    TEncodeSettings cmyk{40, 24, 4, 90, 1, 1};
    TEncodeSettings plain = cmyk;
    plain.AdobeMarker = false;
    TEncodeSettings ycck = cmyk;
    ycck.Ycck = true;
    for (const auto& [name, settings] :
         {std::pair{"Adobe CMYK", cmyk}, std::pair{"CMYK", plain}, std::pair{"Adobe YCCK", ycck}}) {
        const std::vector<uint8_t> bytes = EncodeJpeg(settings);
        ExpectSameAsReference(bytes, name);
        const TPillowPicture pillow = DecodeWithPillow(bytes, ".jpg");
        ASSERT_EQ(pillow.Error, "");
        TTempDir dir;
        TBitmap bitmap;
        LoadAsSource(bytes, bitmap, dir);
        int differences = 0;
        for (int y = 0; y < bitmap.Height(); ++y) {
            const uint8_t* row = bitmap.RowAddress(y);
            for (int x = 0; x < bitmap.Width(); ++x) {
                const uint8_t* expected = &pillow.Rgb[size_t((y * bitmap.Width() + x) * 3)];
                for (int c = 0; c < 3; ++c) {
                    differences += std::abs(row[3 * x + 2 - c] - expected[c]) > 1 ? 1 : 0;
                }
            }
        }
        EXPECT_EQ(differences, 0) << name;
    }
}

TEST(JPEGImageTest, EveryGreyLevelSurvives)
{
    // 256 columns, one grey level each, at quality 100.
    TEncodeSettings settings{256, 8, 1, 100, 1, 1};
    const std::vector<uint8_t> bytes =
        EncodeJpeg(settings, [](int x, int, int) { return uint8_t(x); });
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> reference = DecodeReference(bytes, width, height);

    TJPEGImage jpeg;
    TMemoryStream stream(bytes);
    jpeg.LoadFromStream(stream);
    const TBitmap& decoded = jpeg.Bitmap();
    EXPECT_EQ(const_cast<TBitmap&>(decoded).PixelFormat(), fmt8Bit);
    EXPECT_EQ(const_cast<TBitmap&>(decoded).GetPalette()->Count(), 256u);

    TTempDir dir;
    TBitmap bitmap;
    LoadAsSource(bytes, bitmap, dir);
    std::set<uint8_t> levels;
    std::set<uint8_t> expectedLevels;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bitmap.RowAddress(y);
        for (int x = 0; x < width; ++x) {
            const uint8_t v = reference[size_t((y * width + x) * 3)];
            ASSERT_EQ(row[3 * x], v);
            ASSERT_EQ(row[3 * x + 1], v);
            ASSERT_EQ(row[3 * x + 2], v);
            levels.insert(row[3 * x]);
            expectedLevels.insert(v);
        }
    }
    EXPECT_EQ(levels, expectedLevels);
    EXPECT_GT(levels.size(), 250u);

    // And on to the PNG output, untouched.
    const std::string output = dir.Path("grey.png");
    SaveConverted(TConversionOptions(), TTargetFormat::Png, output, bitmap);
    const TDecodedPng png = DecodeWithLibpng(ReadFileBytes(output));
    ASSERT_EQ(png.Error, "");
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(SampleAt(png.Rows[size_t(y)], uint32_t(x), 1, 3, 8),
                      reference[size_t((y * width + x) * 3)]);
        }
    }
}

TEST(JPEGImageTest, FailuresAreNamedExceptions)
{
    TTempDir dir;
    // Not a JPEG: fails already while loading.
    const std::string png = dir.Path("picture.jpg");
    WriteFileBytes(png, {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13});
    TBitmap bitmap;
    try {
        LoadSource(png, bitmap);
        FAIL();
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.Message(), LibraryError(JERR_NO_SOI));
    }
    // An empty file loads, and fails when decoded.
    const std::string empty = dir.Path("empty.jpeg");
    WriteFileBytes(empty, {});
    TJPEGImage jpeg;
    jpeg.LoadFile(empty);
    try {
        jpeg.Bitmap();
        FAIL();
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.Message(), LibraryError(JERR_INPUT_EMPTY));
    }
    const struct
    {
        const char* file;
        int code;
    } broken[] = {
        {"derived/peacock.header-truncated.jpeg", JERR_NO_IMAGE},
        {"derived/peacock.zero-height.jpeg", JERR_EMPTY_IMAGE},
    };
    for (const auto& b : broken) {
        try {
            LoadSource(TestDataPath(std::string("jpeg/") + b.file), bitmap);
            FAIL() << b.file;
        } catch (const EJPEG& e) {
            EXPECT_EQ(e.Message(), LibraryError(b.code)) << b.file;
            // EJPEG is one of the graphic errors.
            EXPECT_NE(dynamic_cast<const EInvalidGraphic*>(&e), nullptr);
        }
    }
}

TEST(JPEGImageTest, TruncatedFilesDecodeWithoutError)
{
    for (const char* name :
         {"wuffs/peacock.default.truncated.jpeg", "wuffs/peacock.progressive.truncated.jpeg"}) {
        TBitmap bitmap;
        EXPECT_NO_THROW(LoadSource(TestDataPath(std::string("jpeg/") + name), bitmap)) << name;
        EXPECT_EQ(bitmap.Width(), 100);
        EXPECT_EQ(bitmap.Height(), 75);
    }
}

TEST(JPEGImageTest, HugeDimensionsFailWithoutExhaustingMemory)
{
    std::vector<uint8_t> bytes = EncodeJpeg({16, 16, 3, 90, 2, 2});
    // Patch the frame header (FF C0, length, precision, height, width) to 65000 x 65000.
    for (size_t i = 0; i + 8 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = 0xFD;
            bytes[i + 6] = 0xE8;
            bytes[i + 7] = 0xFD;
            bytes[i + 8] = 0xE8;
            break;
        }
    }
    TJPEGImage jpeg;
    TMemoryStream stream(bytes);
    jpeg.LoadFromStream(stream);
    EXPECT_EQ(jpeg.Width(), 65000);
    const TImageByteLimitScope limit(kMinImageByteLimit);
    try {
        jpeg.Bitmap();
        FAIL();
    } catch (const EPictureTooLarge& e) {
        EXPECT_EQ(e.Message(),
                  "65000 × 65000 の画像には 16118 MiB が必要です (上限 768 MiB、--max-memory)");
    }
}

TEST(JPEGImageTest, KeptBytesSizeAndAssignment)
{
    const std::vector<uint8_t> bytes = EncodeJpeg({20, 10, 3, 90, 2, 2});
    TJPEGImage jpeg;
    TMemoryStream in(bytes);
    jpeg.LoadFromStream(in);
    EXPECT_EQ(jpeg.Width(), 20);
    EXPECT_EQ(jpeg.Height(), 10);
    TMemoryStream out;
    jpeg.SaveToStream(out);
    EXPECT_EQ(out.Bytes(), bytes);
    try {
        jpeg.SetWidth(5);
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), "JPEG イメージのサイズは変更できません");
    }
    // A bitmap shares the decoded picture; other classes are refused.
    TBitmap a;
    TBitmap b;
    a.AssignFrom(&jpeg);
    b.AssignFrom(&jpeg);
    EXPECT_TRUE(a.IsShared());
    TJPEGImage other;
    try {
        jpeg.CopyInto(other);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "TJPEGImage を TJPEGImage に代入することはできません");
    }
    // Before any decoding, scaled sizes come from a header-only run.
    TJPEGImage scaled;
    TMemoryStream again(bytes);
    scaled.LoadFromStream(again);
    scaled.OutputScale = 1;
    EXPECT_EQ(scaled.Width(), 10);
    EXPECT_EQ(scaled.Height(), 5);
}

TEST(JPEGImageTest, ShowingProgressiveScansEndsWithThePlainPicture)
{
    // Colour and grey progressive files, each with several scans: the scan-by-scan decode
    // must finish on the same pixels as the decode in one go.
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
        {"peacock", ReadFileBytes(TestDataPath("jpeg/wuffs/peacock.progressive.jpeg"))},
        {"grey 4:4:4", EncodeJpeg({19, 13, 1, 80, 1, 1, true})},
    };
    for (const auto& [name, bytes] : files) {
        auto decode = [&bytes = bytes](bool showProgressive) {
            TJPEGImage jpeg;
            jpeg.OutputDepth = TJPEGPixelFormat::Bits24;
            jpeg.ShowProgressive = showProgressive;
            TMemoryStream stream(bytes);
            jpeg.LoadFromStream(stream);
            TBitmap& bitmap = jpeg.Bitmap();
            const size_t rowBytes =
                size_t(bitmap.Width()) * (bitmap.PixelFormat() == fmt8Bit ? 1 : 3);
            std::vector<uint8_t> pixels;
            for (int32_t y = 0; y < bitmap.Height(); ++y) {
                const uint8_t* row = bitmap.RowAddress(y);
                pixels.insert(pixels.end(), row, row + rowBytes);
            }
            return pixels;
        };
        const std::vector<uint8_t> plain = decode(false);
        EXPECT_FALSE(plain.empty()) << name;
        EXPECT_EQ(decode(true), plain) << name;
    }
}

// The kept copy ends at the end-of-image marker found by walking the segments and scans:
// what follows is not kept, and marker-like bytes inside a segment or a scan do not end it.
TEST(JPEGImageTest, KeptBytesEndAtTheEndOfImage)
{
    TEncodeSettings restarts{24, 16, 3, 90, 2, 2};
    restarts.RestartRows = 1; // RSTn markers inside the scan
    const std::vector<uint8_t> picture = EncodeJpeg(restarts);
    std::vector<uint8_t> withComment = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x06, 0xFF, 0xD9, 0xFF, 0xD9};
    withComment.insert(withComment.end(), picture.begin() + 2, picture.end());
    const auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const struct
    {
        const char* Name;
        std::vector<uint8_t> File;
        std::vector<uint8_t> Kept;
    } cases[] = {
        {"alone", picture, picture},
        {"followed by zeros", join(picture, std::vector<uint8_t>(5000)), picture},
        {"followed by another picture", join(picture, EncodeJpeg({8, 8, 1, 50, 1, 1})), picture},
        {"end marker inside a comment", join(withComment, {1, 2, 3}), withComment},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TJPEGImage jpeg;
        TMemoryStream in(c.File);
        jpeg.LoadFromStream(in);
        TMemoryStream out;
        jpeg.SaveToStream(out);
        EXPECT_EQ(out.Bytes(), c.Kept);
        EXPECT_EQ(jpeg.Bitmap().Width(), 24);
    }
}
