// PNG reading: refused files (one defect each, exception class and message), the chunk loop,
// the decoding of each chunk class, image data across chunks, filters, round trips through
// the writer, and sweeps of truncated and corrupted files.
#include "graphics/Bitmap.h"
#include "png/Chunks.h"
#include "png/PNGErrors.h"
#include "png/PNGObject.h"
#include "png/PNGOracle.h"
#include "png/PNGRows.h"
#include "png/PNGTestFile.h"
#include "png/SavedBytes.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"
#include "support/ImageLimit.h"
#include "support/Raised.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace kapto;

namespace {

void Load(TPNGObject& png, const TBytes& file)
{
    TMemoryStream stream(file);
    png.LoadFromStream(stream);
}

std::string ListTypes(const TPNGObject& png)
{
    std::string types;
    for (const auto& chunk : png.Chunks()) {
        const TChunkType& type = chunk->ChunkType();
        types += (types.empty() ? "" : " ") + std::string(type.begin(), type.end());
    }
    return types;
}

// Class name and message of what loading the file raises, "" when it loads.
std::string Outcome(const TBytes& file)
{
    TPNGObject png;
    return ::Outcome([&] { Load(png, file); });
}

const TBytes kGray1x1 = IhdrData(1, 1, 8, COLOR_GRAYSCALE);
const TBytes kIdat1x1 = Chunk("IDAT", Deflate({0, 0x80}));
const TBytes kIend = Chunk("IEND", {});

const std::string kInvalidIHDR =
    "EPngInvalidIHDR: The \"Portable Network Graphics\" image could not be loaded because one "
    "of its main piece of data (ihdr) might be corrupted";
const std::string kInvalidCRC = "EPngInvalidCRC: This \"Portable Network Graphics\" image is "
                                "not valid because it contains invalid pieces of data (crc "
                                "error)";
const std::string kInvalidPalette =
    "EPNGInvalidPalette: The \"Portable Network Graphics\" image contains an invalid palette.";
const std::string kZlib = "EPNGZLIBError: Could not decompress the image because it contains "
                          "invalid compressed data.\r\n Description: ";
const std::string kUnexpectedEnd =
    "EPngUnexpectedEnd: This \"Portable Network Graphics\" image is invalid because the "
    "decoder found an unexpected end of the file.";
const std::string kOutOfResources =
    "EPNGOutMemory: Some operation could not be performed because the system is out of "
    "resources. Close some windows and try again.";

TBytes WithIhdr(const TBytes& ihdrData)
{
    return PngFile({Chunk("IHDR", ihdrData), kIdat1x1, kIend});
}

// A zlib stream whose header asks for a preset dictionary (FDICT) with a dictionary id.
TBytes WithDictionaryFlag()
{
    const uint8_t cmf = 0x78;
    uint8_t flg = 0x20;
    flg = uint8_t(flg + (31 - (cmf * 256 + flg) % 31) % 31);
    return {cmf, flg, 0, 0, 0, 1, 0x63, 0x00, 0x00};
}

struct TRefusal
{
    const char* Name;
    TBytes File;
    std::string Expected;
};

} // namespace

TEST(PNGReader, RefusedFilesRaiseTheirExceptionAndMessage)
{
    TBytes badSignature = PngFile({Chunk("IHDR", kGray1x1), kIdat1x1, kIend});
    badSignature[1] = 'p';
    TBytes badAdler = Deflate({0, 0x80});
    badAdler.back() ^= 1;
    const TBytes rows2 = Deflate({0, 1, 0, 2});
    const TBytes twoRows = IhdrData(1, 2, 8, COLOR_GRAYSCALE);
    const TBytes splitFirst(rows2.begin(), rows2.begin() + 4);
    const TBytes splitRest(rows2.begin() + 4, rows2.end());
    const TBytes noIend = PngFile({Chunk("IHDR", kGray1x1), kIdat1x1});
    TBytes noIendCrc = PngFile({Chunk("IHDR", kGray1x1), kIdat1x1, kIend});
    noIendCrc.resize(noIendCrc.size() - 4);

    const std::vector<TRefusal> refusals = {
        {"signature", badSignature,
         "EPNGInvalidFileHeader: The file being readed is not a valid \"Portable Network "
         "Graphics\" image because it contains an invalid header. This file may be corruped, try "
         "obtaining it again."},
        {"short signature", TBytes{137, 80, 78},
         "EPNGInvalidFileHeader: The file being readed is not a valid \"Portable Network "
         "Graphics\" image because it contains an invalid header. This file may be corruped, try "
         "obtaining it again."},
        {"tEXt first", PngFile({Chunk("tEXt", {'a', 0, 'b'}), Chunk("IHDR", kGray1x1), kIend}),
         "EPNGIHDRNotFirst: This \"Portable Network Graphics\" image is not supported or it might "
         "be invalid.\r\n(IHDR chunk is not the first)"},
        {"IHDR CRC", PngFile({ChunkWithCrc("IHDR", kGray1x1, 1), kIdat1x1, kIend}), kInvalidCRC},
        {"ancillary CRC",
         PngFile({Chunk("IHDR", kGray1x1), ChunkWithCrc("zzZz", {1, 2}, 7), kIdat1x1, kIend}),
         kInvalidCRC},
        {"IDAT CRC",
         PngFile({Chunk("IHDR", kGray1x1), ChunkWithCrc("IDAT", Deflate({0, 1}), 9), kIend}),
         kInvalidCRC},
        {"second IDAT CRC",
         PngFile({Chunk("IHDR", twoRows), Chunk("IDAT", splitFirst),
                  ChunkWithCrc("IDAT", splitRest, 3), kIend}),
         kInvalidCRC},
        {"IEND without CRC", noIendCrc, kInvalidCRC},
        {"chunk longer than the file",
         PngFile({Chunk("IHDR", kGray1x1), ChunkHead(0x3FFFFFFF, "tEXt"), TBytes(20, 'x')}),
         kInvalidCRC},
        {"IDAT longer than the file",
         PngFile({Chunk("IHDR", kGray1x1), ChunkHead(0x3FFFFFFF, "IDAT"), Deflate({0, 1})}),
         kInvalidCRC},
        {"skipped cHRM longer than the file",
         PngFile({Chunk("IHDR", kGray1x1), ChunkHead(0x3FFFFFFF, "cHRM"), TBytes(20, 'x')}),
         kUnexpectedEnd},
        {"no IEND", noIend, kUnexpectedEnd},
        {"unknown critical chunk", PngFile({Chunk("IHDR", kGray1x1), Chunk("ABCD", {}), kIend}),
         "EPNGUnknownCriticalChunk: This \"Portable Network Graphics\" image contains an unknown "
         "critical part which could not be decoded."},
        {"no IDAT", PngFile({Chunk("IHDR", kGray1x1), kIend}),
         "EPNGNoImageData: This \"Portable Network Graphics\" image contains no data."},
        {"chunk inside the IDAT run",
         PngFile({Chunk("IHDR", twoRows), Chunk("IDAT", splitFirst), Chunk("tEXt", {'k', 0}),
                  Chunk("IDAT", splitRest), kIend}),
         "EPNGMissingMultipleIDAT: This \"Portable Network Graphics\" image is invalid because it "
         "has missing image parts."},
        {"width 65536", WithIhdr(IhdrData(65536, 1, 8, COLOR_GRAYSCALE)),
         "EPNGSizeExceeds: This \"Portable Network Graphics\" image is not supported because "
         "either it's width or height exceeds the maximum size, which is 65535 pixels length."},
        {"height 65536", WithIhdr(IhdrData(1, 65536, 8, COLOR_GRAYSCALE)),
         "EPNGSizeExceeds: This \"Portable Network Graphics\" image is not supported because "
         "either it's width or height exceeds the maximum size, which is 65535 pixels length."},
        {"compression 1", WithIhdr(IhdrData(1, 1, 8, COLOR_GRAYSCALE, 1)),
         "EPNGUnknownCompression: This \"Portable Network Graphics\" image is encoded with an "
         "unknown compression scheme which could not be decoded."},
        {"interlace 2", WithIhdr(IhdrData(1, 1, 8, COLOR_GRAYSCALE, 0, 0, 2)),
         "EPNGUnknownInterlace: This \"Portable Network Graphics\" image uses an unknown "
         "interlace scheme which could not be decoded."},
        {"IHDR of 12 bytes", WithIhdr(TBytes(kGray1x1.begin(), kGray1x1.end() - 1)), kInvalidIHDR},
        {"width 0", WithIhdr(IhdrData(0, 1, 8, COLOR_GRAYSCALE)), kInvalidIHDR},
        {"height 0", WithIhdr(IhdrData(1, 0, 8, COLOR_GRAYSCALE)), kInvalidIHDR},
        {"colour type 1", WithIhdr(IhdrData(1, 1, 8, 1)), kInvalidIHDR},
        {"colour type 5", WithIhdr(IhdrData(1, 1, 8, 5)), kInvalidIHDR},
        {"RGB at 4 bits", WithIhdr(IhdrData(1, 1, 4, COLOR_RGB)), kInvalidIHDR},
        {"palette at 16 bits", WithIhdr(IhdrData(1, 1, 16, COLOR_PALETTE)), kInvalidIHDR},
        {"gray and alpha at 4 bits", WithIhdr(IhdrData(1, 1, 4, COLOR_GRAYSCALEALPHA)),
         kInvalidIHDR},
        {"gray at 3 bits", WithIhdr(IhdrData(1, 1, 3, COLOR_GRAYSCALE)), kInvalidIHDR},
        {"picture beyond memory", WithIhdr(IhdrData(65535, 65535, 16, COLOR_RGBALPHA)),
         "EPictureTooLarge: 65535 × 65535 の画像には 12288 MiB が必要です (上限 768 MiB、"
         "--max-memory)"},
        {"PLTE of 4 bytes",
         PngFile({Chunk("IHDR", IhdrData(1, 1, 8, COLOR_PALETTE)), Chunk("PLTE", {1, 2, 3, 4}),
                  kIdat1x1, kIend}),
         kInvalidPalette},
        {"PLTE of 257 entries",
         PngFile({Chunk("IHDR", IhdrData(1, 1, 8, COLOR_PALETTE)),
                  Chunk("PLTE", TBytes(257 * 3, 9)), kIdat1x1, kIend}),
         kInvalidPalette},
        {"tRNS of 257 bytes",
         PngFile({Chunk("IHDR", IhdrData(1, 1, 8, COLOR_PALETTE)), Chunk("PLTE", TBytes(3, 9)),
                  Chunk("tRNS", TBytes(257, 0)), kIdat1x1, kIend}),
         kInvalidPalette},
        {"broken deflate data",
         PngFile({Chunk("IHDR", kGray1x1), Chunk("IDAT", {0x78, 0x9C, 0xFF, 0xFF}), kIend}),
         kZlib + "data error (-3)"},
        {"wrong Adler-32", PngFile({Chunk("IHDR", kGray1x1), Chunk("IDAT", badAdler), kIend}),
         kZlib + "data error (-3)"},
        {"preset dictionary",
         PngFile({Chunk("IHDR", kGray1x1), Chunk("IDAT", WithDictionaryFlag()), kIend}),
         kZlib + "need dictionary (2)"},
        {"more data than the picture",
         PngFile({Chunk("IHDR", kGray1x1), Chunk("IDAT", Deflate({0, 1, 0, 2})), kIend}),
         kZlib + "buffer error (-5)"},
    };
    const TImageByteLimitScope limit(kMinImageByteLimit);
    for (const TRefusal& refusal : refusals) {
        EXPECT_EQ(Outcome(refusal.File), refusal.Expected) << refusal.Name;
    }
}

TEST(PNGReader, LargestSideIsAccepted)
{
    EXPECT_EQ(Outcome(PngFile({Chunk("IHDR", IhdrData(65535, 1, 1, COLOR_GRAYSCALE)),
                               Chunk("IDAT", Deflate(TBytes(8193, 0))), kIend})),
              "");
}

TEST(PNGReader, RefusedFileKeepsTheChunksReadSoFar)
{
    TPNGObject png;
    EXPECT_THROW(Load(png, PngFile({Chunk("IHDR", kGray1x1), Chunk("tEXt", {'a', 0}),
                                    ChunkWithCrc("zzZz", {}, 5), kIdat1x1, kIend})),
                 EPngInvalidCRC);
    EXPECT_EQ(ListTypes(png), "IHDR tEXt zzZz");
}

TEST(PNGReader, ChunkListDropsChromaticitiesAndLaterImageData)
{
    TPNGObject png;
    Load(png, PngFile({Chunk("IHDR", kGray1x1), Chunk("cHRM", TBytes(32, 1)), kIdat1x1,
                       Chunk("tEXt", {'k', 0, 'v'}), Chunk("IDAT", {1, 2, 3}), kIend}));
    EXPECT_EQ(ListTypes(png), "IHDR IDAT tEXt IEND");
    EXPECT_EQ(png.PixelRow(0)[0], 0x80);
}

TEST(PNGReader, UnknownAncillaryChunkIsWrittenBackUnchanged)
{
    const TBytes unknown = Chunk("vpAg", {0, 0, 1, 0, 0, 0, 2, 0, 0});
    TPNGObject png;
    Load(png, PngFile({Chunk("IHDR", kGray1x1), unknown, kIdat1x1, kIend}));
    EXPECT_EQ(ListTypes(png), "IHDR vpAg IDAT IEND");
    const TBytes written = SavedBytes(png);
    EXPECT_NE(std::search(written.begin(), written.end(), unknown.begin(), unknown.end()),
              written.end());
}

TEST(PNGReader, ImageDataSplitIntoOneByteChunksDecodesAsOneStream)
{
    const TBytes compressed = Deflate(UnfilteredRows({{10, 20, 30}, {40, 50, 60}}));
    std::vector<TBytes> pieces = {Chunk("IHDR", IhdrData(3, 2, 8, COLOR_GRAYSCALE))};
    for (uint8_t byte : compressed) {
        pieces.push_back(Chunk("IDAT", {byte}));
    }
    pieces.push_back(Chunk("IDAT", {}));
    pieces.push_back(kIend);
    TPNGObject png;
    Load(png, PngFile(pieces));
    EXPECT_EQ(TBytes(png.PixelRow(0), png.PixelRow(0) + 3), (TBytes{10, 20, 30}));
    EXPECT_EQ(TBytes(png.PixelRow(1), png.PixelRow(1) + 3), (TBytes{40, 50, 60}));
}

TEST(PNGReader, ImageDataEndingBeforeTheLastRow)
{
    const std::string missingParts = "EPNGMissingMultipleIDAT: This \"Portable Network Graphics\" "
                                     "image is invalid because it has missing image parts.";
    // The rows (7 8) (9 10) (11 12), sequential and in the Adam7 passes 1, 5, 6 and 7.
    const TBytes rows[2] = {UnfilteredRows({{7, 8}, {9, 10}, {11, 12}}),
                            {0, 7, 0, 11, 0, 8, 0, 12, 0, 9, 10}};
    enum TData
    {
        OneRow,
        AllRows,
        AllRowsAndMore
    };
    struct TCase
    {
        const char* Name;
        TData Data;
        std::vector<TBytes> After; // the chunks after the first IDAT
        bool CutInsideData;        // the file ends 5 bytes into the first IDAT's data
        std::string Expected;
        uint8_t LastRow; // first sample of the last row when the file loads
    };
    const std::vector<TCase> cases = {
        {"short stream, then IEND", OneRow, {kIend}, false, missingParts, 0},
        {"short stream, then another IDAT",
         OneRow,
         {Chunk("IDAT", {1, 2}), kIend},
         false,
         missingParts,
         0},
        {"file cut inside the data", AllRows, {kIend}, true, "", 0},
        {"bytes after the stream", AllRowsAndMore, {kIend}, false, "", 11},
    };
    for (const TCase& c : cases) {
        for (uint8_t interlace : {0, 1}) {
            TBytes raw = c.Data == OneRow
                             ? TBytes(rows[interlace].begin(), rows[interlace].begin() + 3)
                             : rows[interlace];
            TBytes data = Deflate(raw);
            if (c.Data == AllRowsAndMore) {
                data.insert(data.end(), {1, 2, 3});
            }
            std::vector<TBytes> pieces = {
                Chunk("IHDR", IhdrData(2, 3, 8, COLOR_GRAYSCALE, 0, 0, interlace)),
                Chunk("IDAT", data)};
            pieces.insert(pieces.end(), c.After.begin(), c.After.end());
            TBytes file = PngFile(pieces);
            if (c.CutInsideData) {
                file.resize(8 + 25 + 8 + 5);
            }
            EXPECT_EQ(Outcome(file), c.Expected) << c.Name << ", interlace " << int(interlace);
            if (c.Expected.empty()) {
                TPNGObject png;
                Load(png, file);
                EXPECT_EQ(png.PixelRow(2)[0], c.LastRow) << c.Name;
            }
        }
    }
}

TEST(PNGReader, RowFiltersAreReversedAndUnknownTypesTakenAsTheyStand)
{
    // Two RGB pixels per row: row 0 Sub, row 1 Up, row 2 Average, row 3 Paeth, row 4 type 7.
    const TBytes raw = {1, 10, 20, 30, 5, 5, 5,  // Sub
                        2, 1,  1,  1,  1, 1, 1,  // Up
                        3, 4,  4,  4,  4, 4, 4,  // Average
                        4, 0,  0,  0,  0, 0, 0,  // Paeth
                        7, 9,  8,  7,  6, 5, 4}; // unknown
    TPNGObject png;
    Load(png, PngFile({Chunk("IHDR", IhdrData(2, 5, 8, COLOR_RGB)), Chunk("IDAT", Deflate(raw)),
                       kIend}));
    // Rows are stored blue, green, red.
    const std::vector<TBytes> expected = {{30, 20, 10, 35, 25, 15},
                                          {31, 21, 11, 36, 26, 16},
                                          {19, 14, 9, 31, 24, 16},
                                          {19, 14, 9, 31, 24, 16},
                                          {7, 8, 9, 4, 5, 6}};
    for (uint32_t y = 0; y < 5; ++y) {
        EXPECT_EQ(TBytes(png.PixelRow(y), png.PixelRow(y) + 6), expected[y]) << y;
    }
}

TEST(PNGReader, UnfilterReversesEveryFilter)
{
    const TBytes previous = {200, 3, 77, 250, 0, 128, 9, 64, 31};
    const TBytes raw = {5, 250, 128, 127, 1, 99, 200, 64, 7};
    for (size_t stride : {1, 3, 4}) {
        for (TFilter filter : kAllFilters) {
            TBytes row(raw.size());
            FilterRow(filter, raw.data(), previous.data(), raw.size(), stride, row.data());
            UnfilterRow(uint8_t(filter), row.data(), previous.data(), row.size(), stride);
            EXPECT_EQ(row, raw) << int(filter) << " stride " << stride;
        }
    }
}

TEST(PNGReader, GammaTablesRoundToNearest)
{
    const auto tablesFor = [](const TBytes& gamaData) {
        auto png = std::make_unique<TPNGObject>();
        Load(*png, PngFile({Chunk("IHDR", kGray1x1), Chunk("gAMA", gamaData), kIdat1x1, kIend}));
        return png;
    };
    EXPECT_EQ(tablesFor(BigEndian32(45455))->GammaLUT()[128], 128);
    const auto linear = tablesFor(BigEndian32(100000));
    EXPECT_EQ(linear->GammaLUT()[128], 186);
    EXPECT_EQ(linear->GammaLUT()[0], 0);
    EXPECT_EQ(linear->GammaLUT()[255], 255);
    EXPECT_EQ(linear->GammaLUT()[1], 21); // 255 * (1/255)^(1/2.2) = 20.84
    EXPECT_EQ(linear->InverseGammaLUT()[186], 128);
    EXPECT_EQ(linear->InverseGammaLUT()[21], 1);
    EXPECT_EQ(linear->InverseGammaLUT()[2], 2); // not hit: keeps its value
    // The gray palette of the picture carries the gamma; the stored gray level does not.
    EXPECT_EQ(linear->PixelRow(0)[0], 0x80);
    EXPECT_EQ(linear->Header().DibInfo().Colors[0x80].Red, 186);

    const auto unchanged = tablesFor(BigEndian32(0));
    const auto wrongLength = tablesFor({0, 1, 0x86});
    for (unsigned i = 0; i < 256; ++i) {
        EXPECT_EQ(unchanged->GammaLUT()[i], i);
        EXPECT_EQ(wrongLength->GammaLUT()[i], i);
    }
    EXPECT_EQ(wrongLength->Chunks().FindChunk<TChunkgAMA>()->Gamma(), 0u);
}

TEST(PNGReader, PaletteAndTransparencyChunks)
{
    const auto load = [](uint8_t colorType, const TBytes& plte, const TBytes& trns) {
        auto png = std::make_unique<TPNGObject>();
        std::vector<TBytes> pieces = {Chunk("IHDR", IhdrData(1, 1, 8, colorType))};
        if (!plte.empty()) {
            pieces.push_back(Chunk("PLTE", plte));
        }
        pieces.push_back(Chunk("tRNS", trns));
        pieces.push_back(
            Chunk("IDAT", Deflate(colorType == COLOR_RGB ? TBytes{0, 1, 2, 3} : TBytes{0, 0})));
        pieces.push_back(kIend);
        Load(*png, PngFile(pieces));
        return png;
    };
    const TBytes plte = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    const auto single = load(COLOR_PALETTE, plte, {255, 0, 255});
    const TChunktRNS& key = *single->Chunks().FindChunk<TChunktRNS>();
    EXPECT_TRUE(key.SingleKey);
    EXPECT_EQ(key.AlphaValues[1], 0);
    EXPECT_EQ(key.AlphaValues[3], 255);
    EXPECT_EQ(single->TransparencyKind(), TTransparencyKind::KeyColor);
    EXPECT_EQ(single->TransparentKeyColor(), RGBColor(40, 50, 60));
    EXPECT_EQ(single->Chunks().FindChunk<TChunkPLTE>()->EntryCount, 3u);
    EXPECT_EQ(single->Header().PaletteCount(), 3u);

    // Partial alpha cannot be drawn with one key colour; it is blended.
    EXPECT_FALSE(load(COLOR_PALETTE, plte, {128})->Chunks().FindChunk<TChunktRNS>()->SingleKey);
    EXPECT_EQ(load(COLOR_PALETTE, plte, {128})->TransparencyKind(), TTransparencyKind::Alpha);
    EXPECT_FALSE(load(COLOR_PALETTE, plte, {0, 0})->Chunks().FindChunk<TChunktRNS>()->SingleKey);
    // Entries beyond the palette are not looked at, nor read from.
    const auto longer = load(COLOR_PALETTE, plte, {255, 255, 0, 0, 0});
    EXPECT_TRUE(longer->Chunks().FindChunk<TChunktRNS>()->SingleKey);
    EXPECT_EQ(longer->TransparentKeyColor(), RGBColor(70, 80, 90));

    const auto rgb = load(COLOR_RGB, {}, {0, 1, 0, 2, 0, 3});
    EXPECT_TRUE(rgb->Chunks().FindChunk<TChunktRNS>()->SingleKey);
    EXPECT_EQ(rgb->TransparentKeyColor(), RGBColor(1, 2, 3));
}

TEST(PNGReader, MetadataChunks)
{
    TBytes ztxt = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
    const std::string comment = "Drawn by hand, twice over.";
    const TBytes compressed = Deflate(TBytes(comment.begin(), comment.end()));
    ztxt.insert(ztxt.end(), compressed.begin(), compressed.end());
    TPNGObject png;
    Load(png,
         PngFile({Chunk("IHDR", kGray1x1), Chunk("pHYs", {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x12, 1}),
                  Chunk("tIME", {0x07, 0xD0, 1, 2, 3, 4, 5}),
                  Chunk("tEXt", {'T', 'i', 't', 'l', 'e', 0, 'C', 'a', 't'}),
                  Chunk("tEXt", {'N', 'o', 'z', 'e', 'r', 'o'}), Chunk("zTXt", ztxt),
                  Chunk("zTXt", {'B', 'a', 'd', 0, 0, 1, 2, 3, 4}), Chunk("pHYs", {1, 2, 3}),
                  kIdat1x1, kIend}));
    const auto& physical = *png.Chunks().FindChunk<TChunkpHYs>();
    EXPECT_EQ(physical.PixelsPerUnitX, 2835u);
    EXPECT_EQ(physical.PixelsPerUnitY, 2834u);
    EXPECT_EQ(physical.UnitSpecifier, 1);
    const auto& time = *png.Chunks().FindChunk<TChunktIME>();
    EXPECT_EQ(time.Year, 2000);
    EXPECT_EQ(time.Month, 1);
    EXPECT_EQ(time.Second, 5);
    std::vector<std::pair<std::string, std::string>> texts;
    uint32_t shortPhysical = 1;
    for (const auto& chunk : png.Chunks()) {
        if (const auto* text = dynamic_cast<const TChunktEXt*>(chunk.get())) {
            texts.emplace_back(text->Keyword, text->Text);
        }
        if (const auto* p = dynamic_cast<const TChunkpHYs*>(chunk.get()); p != &physical && p) {
            shortPhysical = p->PixelsPerUnitX;
        }
    }
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Title", "Cat"}, {"Nozero", ""}, {"Comment", comment}, {"Bad", ""}};
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(shortPhysical, 0u);
}

TEST(PNGReader, CompressedTextBeyondTheLimitIsDropped)
{
    const TBytes big(kMaxInflatedTextSize + 1, 'a');
    TBytes ztxt = {'k', 0, 0};
    const TBytes compressed = Deflate(big);
    ztxt.insert(ztxt.end(), compressed.begin(), compressed.end());
    TPNGObject png;
    Load(png, PngFile({Chunk("IHDR", kGray1x1), Chunk("zTXt", ztxt), kIdat1x1, kIend}));
    EXPECT_EQ(png.Chunks().FindChunk<TChunkzTXt>()->Text, "");
}

TEST(PNGReader, PaletteIndexBeyondThePaletteReadsBlack)
{
    TPNGObject png;
    Load(png, SimplePng(IhdrData(3, 1, 8, COLOR_PALETTE), {{0, 1, 200}},
                        {Chunk("PLTE", {255, 0, 0, 0, 255, 0})}));
    EXPECT_EQ(png.Header().PaletteCount(), 2u);
    TBitmap bitmap;
    bitmap.AssignFrom(&png);
    EXPECT_EQ(bitmap.Canvas().GetPixel(0, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(bitmap.Canvas().GetPixel(2, 0), RGBColor(0, 0, 0));
}

namespace {

struct TFormat
{
    uint8_t ColorType;
    uint8_t BitDepth;
};

// Picture bytes of row y that belong to the image (pixel bits beyond the width masked off).
TBytes PictureRow(const TPNGObject& png, uint32_t y)
{
    const TChunkIHDR& header = png.Header();
    const size_t bits = size_t(header.Width) * header.DIBBitCount();
    TBytes row(png.PixelRow(y), png.PixelRow(y) + (bits + 7) / 8);
    if (bits % 8 != 0) {
        row.back() = uint8_t(row.back() & (0xFF << (8 - bits % 8)));
    }
    if (const uint8_t* alpha = png.AlphaRow(y)) {
        row.insert(row.end(), alpha, alpha + header.Width);
    }
    return row;
}

} // namespace

TEST(PNGReader, RoundTripsThroughTheWriterAtAwkwardSizes)
{
    const TFormat formats[] = {{0, 1}, {0, 2}, {0, 4},  {0, 8}, {0, 16}, {3, 1}, {3, 2}, {3, 4},
                               {3, 8}, {2, 8}, {2, 16}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {3, 2}, {9, 9}, {47, 33}};
    for (const TFormat& format : formats) {
        for (const auto& [width, height] : sizes) {
            for (uint8_t interlace : {0, 1}) {
                TPNGObject source;
                source.CreateImage(width, height, format.ColorType, format.BitDepth);
                source.SetWriteInterlace(interlace);
                source.SetFilterSet(
                    {TFilter::None, TFilter::Sub, TFilter::Up, TFilter::Average, TFilter::Paeth});
                const TChunkIHDR& header = source.Header();
                const size_t bytes = header.RowStride();
                for (uint32_t y = 0; y < height; ++y) {
                    uint8_t* row = source.PixelRow(y);
                    for (size_t i = 0; i < bytes; ++i) {
                        unsigned value = unsigned(i * 37 + y * 11 + (i * y) % 7);
                        // 2-bit samples are held as 4-bit indices of 2-bit values.
                        if (format.BitDepth == 2) {
                            value &= 0x33;
                        }
                        row[i] = uint8_t(value);
                    }
                    if (uint8_t* alpha = source.AlphaRow(y)) {
                        for (uint32_t x = 0; x < width; ++x) {
                            alpha[x] = uint8_t(x * 5 + y * 3);
                        }
                    }
                }
                TPNGObject copy;
                Load(copy, SavedBytes(source));
                const std::string name = std::to_string(format.ColorType) + "/" +
                                         std::to_string(format.BitDepth) + " " +
                                         std::to_string(width) + "x" + std::to_string(height) +
                                         (interlace ? " Adam7" : "");
                ASSERT_EQ(copy.Width(), int32_t(width)) << name;
                EXPECT_EQ(copy.WriteInterlace(), interlace) << name;
                for (uint32_t y = 0; y < height; ++y) {
                    EXPECT_EQ(PictureRow(copy, y), PictureRow(source, y)) << name << " row " << y;
                }
            }
        }
    }
}

namespace {

// Small files of the conformance suite (palette alpha, gray alpha, Adam7 at 2 bits, RGB) and
// files written by the writer from pictures of several formats.
std::vector<TBytes> SweepFiles()
{
    std::vector<TBytes> files;
    for (const char* name : {"tm3n3p02", "basn4a08", "s09i3p02", "basn2c08"}) {
        files.push_back(ReadFileBytes(TestDataPath(std::string("png/pngsuite/") + name + ".png")));
    }
    const TFormat formats[] = {{0, 4}, {3, 8}, {2, 16}, {6, 8}};
    for (const TFormat& format : formats) {
        TPNGObject png;
        png.CreateImage(13, 7, format.ColorType, format.BitDepth);
        png.SetWriteInterlace(format.ColorType == COLOR_RGBALPHA ? 1 : 0);
        for (uint32_t y = 0; y < 7; ++y) {
            for (uint32_t i = 0; i < png.Header().RowStride(); ++i) {
                png.PixelRow(y)[i] = uint8_t(i * 29 + y);
            }
        }
        png.Chunks().AddChunkOfClass<TChunktEXt>()->Keyword = "Key";
        files.push_back(SavedBytes(png));
    }
    return files;
}

} // namespace

TEST(PNGReader, EveryTruncationLoadsOrRaisesANamedException)
{
    // A file cut inside its image data loads with the rows it holds; cut anywhere else it is
    // refused.
    for (const TBytes& file : SweepFiles()) {
        std::vector<bool> insideData(file.size() + 1, false);
        size_t offset = 8;
        for (const TParsedChunk& chunk : SplitChunks(file)) {
            if (chunk.Type == "IDAT") {
                std::fill(insideData.begin() + long(offset + 8),
                          insideData.begin() + long(offset + 8 + chunk.Data.size()), true);
            }
            offset += 12 + chunk.Data.size();
        }
        for (size_t size = 0; size < file.size(); ++size) {
            const std::string outcome = Outcome(TBytes(file.begin(), file.begin() + size));
            EXPECT_EQ(outcome.empty(), bool(insideData[size])) << size << ": " << outcome;
        }
        EXPECT_EQ(Outcome(file), "");
    }
}

TEST(PNGReader, EverySingleByteCorruptionLoadsOrRaisesANamedException)
{
    // With the CRCs made right again a corruption reaches the decoding of its chunk; without,
    // the reader only has to notice the CRC, which one kind of change shows.
    const std::pair<uint8_t, bool> changes[] = {{0x01, true}, {0xFF, true}, {0xFF, false}};
    for (const TBytes& file : SweepFiles()) {
        for (size_t i = 8; i < file.size(); ++i) {
            for (const auto& [flip, fixCrcs] : changes) {
                TBytes changed = file;
                changed[i] ^= flip;
                if (fixCrcs) {
                    RecomputeCrcs(changed);
                }
                TPNGObject png;
                try {
                    Load(png, changed);
                    TBitmap bitmap;
                    bitmap.AssignFrom(&png);
                } catch (const Exception&) {
                }
            }
        }
    }
}
