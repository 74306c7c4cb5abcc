// PNG writing: framing and CRC, chunk encodings, IDAT cutting, Adam7, and round trips decoded
// by libpng as an independent reader.
#include "png/Chunks.h"
#include "png/PNGErrors.h"
#include "png/PNGObject.h"
#include "png/PNGOracle.h"
#include "png/SavedBytes.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"
#include "support/LimitedStream.h"
#include "support/Raised.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace kapto;

using TBytes = std::vector<uint8_t>;

namespace {

std::vector<TParsedChunk> SaveAndSplit(TPNGObject& png)
{
    return SplitChunks(SavedBytes(png));
}

const TParsedChunk* Find(const std::vector<TParsedChunk>& chunks, const std::string& type)
{
    for (const TParsedChunk& chunk : chunks) {
        if (chunk.Type == type) {
            return &chunk;
        }
    }
    return nullptr;
}

std::vector<size_t> IdatSizes(const std::vector<TParsedChunk>& chunks)
{
    std::vector<size_t> sizes;
    for (const TParsedChunk& chunk : chunks) {
        if (chunk.Type == "IDAT") {
            sizes.push_back(chunk.Data.size());
        }
    }
    return sizes;
}

unsigned Channels(uint8_t colorType)
{
    switch (colorType) {
    case COLOR_RGB:
        return 3;
    case COLOR_GRAYSCALEALPHA:
        return 2;
    case COLOR_RGBALPHA:
        return 4;
    default:
        return 1;
    }
}

// The picture sample of channel c (PNG channel order) at (x, y), within what the picture can
// hold: 1 bit, 4 bits (2-bit images are held in 4-bit rows) or a byte.
uint8_t PatternSample(uint32_t x, uint32_t y, unsigned c, uint8_t bitDepth)
{
    const unsigned value = x * 7 + y * 13 + c * 61 + ((x ^ y) & 3) + x * y;
    switch (bitDepth) {
    case 1:
        return uint8_t(value & 1);
    case 2:
    case 4:
        return uint8_t(value & 15);
    default:
        return uint8_t(value);
    }
}

void SetPacked(uint8_t* row, uint32_t x, unsigned bits, uint8_t value)
{
    const size_t bit = size_t(x) * bits;
    const unsigned shift = 8 - bits - unsigned(bit % 8);
    const unsigned mask = ((1u << bits) - 1) << shift;
    row[bit / 8] = uint8_t((row[bit / 8] & ~mask) | (unsigned(value) << shift));
}

// Fills the picture the way the DIB layout stores it: packed indices, gray bytes with the
// alpha plane beside them, or blue, green, red.
void FillPattern(TPNGObject& png)
{
    TChunkIHDR& header = png.Header();
    for (uint32_t y = 0; y < header.Height; ++y) {
        uint8_t* row = png.PixelRow(y);
        uint8_t* alpha = png.AlphaRow(y);
        for (uint32_t x = 0; x < header.Width; ++x) {
            auto s = [&](unsigned c) { return PatternSample(x, y, c, header.BitDepth); };
            switch (header.ColorType) {
            case COLOR_GRAYSCALE:
            case COLOR_PALETTE:
                SetPacked(row, x, header.DIBBitCount(), s(0));
                break;
            case COLOR_GRAYSCALEALPHA:
                row[x] = s(0);
                alpha[x] = s(1);
                break;
            default:
                row[3 * x + 2] = s(0);
                row[3 * x + 1] = s(1);
                row[3 * x] = s(2);
                if (alpha != nullptr) {
                    alpha[x] = s(3);
                }
                break;
            }
        }
    }
}

} // namespace

TEST(PNGWriter, DefaultRgbImageLayout)
{
    TPNGObject png;
    png.CreateImage(2, 2, COLOR_RGB, 8);
    FillPattern(png);
    png.Header().InterlaceMethod = 1; // the image's WriteInterlace decides
    const TBytes file = SavedBytes(png);
    const std::vector<TParsedChunk> chunks = SplitChunks(file);
    ASSERT_EQ(ChunkTypes(chunks), "IHDR IDAT IEND");
    for (const TParsedChunk& chunk : chunks) {
        EXPECT_TRUE(chunk.CrcMatches) << chunk.Type;
    }
    EXPECT_EQ(chunks[0].Data, (TBytes{0, 0, 0, 2, 0, 0, 0, 2, 8, 2, 0, 0, 0}));
    // IEND framed and protected as in every valid PNG file.
    EXPECT_EQ(TBytes(file.end() - 12, file.end()),
              (TBytes{0, 0, 0, 0, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82}));
    // Every row is filtered with Sub by default.
    const TBytes data = InflateImageData(chunks);
    ASSERT_EQ(data.size(), 2u * 7);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[7], 1);
}

TEST(PNGWriter, IdatChunksCarryExactlyTheSplitSizeButTheLast)
{
    // Noise does not compress, so the image data spans several chunks.
    std::mt19937 random(7);
    TPNGObject png;
    size_t total = 0;
    for (uint32_t height = 500; height < 520; ++height) {
        png.CreateImage(400, height, COLOR_GRAYSCALE, 8);
        for (uint32_t y = 0; y < height; ++y) {
            std::generate_n(png.PixelRow(y), 400, [&] { return uint8_t(random()); });
        }
        png.SetIdatSplitSize(65535);
        const std::vector<size_t> sizes = IdatSizes(SaveAndSplit(png));
        ASSERT_GE(sizes.size(), 3u);
        for (size_t i = 0; i + 1 < sizes.size(); ++i) {
            EXPECT_EQ(sizes[i], 65535u);
        }
        EXPECT_GE(sizes.back(), 1u);
        EXPECT_LE(sizes.back(), 65535u);
        total = 0;
        for (size_t size : sizes) {
            total += size;
        }
        if (total % 2 == 0) {
            break;
        }
    }
    ASSERT_EQ(total % 2, 0u);
    const TBytes expected = InflateImageData(SaveAndSplit(png));

    struct TCase
    {
        size_t split;
        std::vector<size_t> sizes;
    };
    const TCase cases[] = {
        {total, {total}},     {total - 1, {total - 1, 1}},
        {total + 1, {total}}, {total / 2, {total / 2, total / 2}},
        {100000, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.split);
        png.SetIdatSplitSize(int32_t(c.split));
        std::vector<size_t> sizes = c.sizes;
        if (sizes.empty()) {
            sizes.assign(total / c.split, c.split);
            if (total % c.split != 0) {
                sizes.push_back(total % c.split);
            }
        }
        const std::vector<TParsedChunk> chunks = SaveAndSplit(png);
        EXPECT_EQ(IdatSizes(chunks), sizes);
        EXPECT_EQ(InflateImageData(chunks), expected);
        EXPECT_EQ(ChunkTypes(chunks).substr(0, 9), "IHDR IDAT");
    }
}

TEST(PNGWriter, Adam7PassesOfSmallImages)
{
    // Filter byte plus samples for every pass row that exists, by the standard's tables.
    struct TCase
    {
        uint32_t width;
        uint32_t height;
        size_t bytes;
    };
    const TCase cases[] = {{1, 1, 2}, {2, 2, 7}, {3, 3, 15}, {5, 7, 49}, {8, 8, 8 * 8 + 15}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        TPNGObject png;
        png.CreateImage(c.width, c.height, COLOR_GRAYSCALE, 8);
        png.SetWriteInterlace(1);
        FillPattern(png);
        const std::vector<TParsedChunk> chunks = SaveAndSplit(png);
        EXPECT_EQ(chunks[0].Data[12], 1);
        EXPECT_EQ(InflateImageData(chunks).size(), c.bytes);
    }
}

TEST(PNGWriter, BitDepth2IsWrittenAs4)
{
    for (uint8_t colorType : {COLOR_PALETTE, COLOR_GRAYSCALE}) {
        TPNGObject png;
        png.CreateImage(5, 2, colorType, 2);
        FillPattern(png);
        const TBytes file = SavedBytes(png);
        EXPECT_EQ(png.Header().BitDepth, 4);
        const TDecodedPng decoded = DecodeWithLibpng(file);
        ASSERT_EQ(decoded.Error, "");
        EXPECT_EQ(decoded.BitDepth, 4);
        for (uint32_t x = 0; x < 5; ++x) {
            EXPECT_EQ(SampleAt(decoded.Rows[1], x, 0, 1, 4), PatternSample(x, 1, 0, 2));
        }
    }
}

TEST(PNGWriter, RoundTripsThroughLibpng)
{
    const TFilterSet all{TFilter::None, TFilter::Sub, TFilter::Up, TFilter::Average,
                         TFilter::Paeth};
    struct TCase
    {
        const char* name;
        uint8_t colorType;
        uint8_t bitDepth;
        uint32_t width;
        uint32_t height;
        TFilterSet filters;
    };
    const TCase cases[] = {
        {"gray 1", COLOR_GRAYSCALE, 1, 13, 9, {TFilter::Sub}},
        {"gray 2", COLOR_GRAYSCALE, 2, 7, 5, all},
        {"gray 4", COLOR_GRAYSCALE, 4, 11, 6, {TFilter::Up}},
        {"gray 8", COLOR_GRAYSCALE, 8, 1, 1, {TFilter::Sub}},
        {"gray 16", COLOR_GRAYSCALE, 16, 9, 7, {TFilter::Average}},
        {"palette 1", COLOR_PALETTE, 1, 1, 1, all},
        {"palette 2", COLOR_PALETTE, 2, 3, 3, {TFilter::Sub}},
        {"palette 4", COLOR_PALETTE, 4, 15, 4, {TFilter::Paeth}},
        {"palette 8", COLOR_PALETTE, 8, 17, 9, all},
        {"rgb 8", COLOR_RGB, 8, 47, 33, all},
        {"rgb 8 1x1", COLOR_RGB, 8, 1, 1, {TFilter::Paeth}},
        {"rgb 16", COLOR_RGB, 16, 5, 7, {TFilter::Average}},
        {"gray alpha 8", COLOR_GRAYSCALEALPHA, 8, 3, 2, {TFilter::Sub}},
        {"gray alpha 16", COLOR_GRAYSCALEALPHA, 16, 6, 5, all},
        {"rgba 8", COLOR_RGBALPHA, 8, 9, 10, {TFilter::Up}},
        {"rgba 16", COLOR_RGBALPHA, 16, 3, 3, {}},
        // Filtered rows of 65538 and 65536 bytes: longer than one IDAT chunk.
        {"rgb 8 wide", COLOR_RGB, 8, 21846, 3, {TFilter::Sub}},
        {"rgba 16 wide", COLOR_RGBALPHA, 16, 8192, 2, all},
    };
    for (const TCase& c : cases) {
        for (uint8_t interlace : {uint8_t(0), uint8_t(1)}) {
            SCOPED_TRACE(testing::Message() << c.name << " interlace " << int(interlace));
            TPNGObject png;
            png.CreateImage(c.width, c.height, c.colorType, c.bitDepth);
            png.SetFilterSet(c.filters);
            png.SetWriteInterlace(interlace);
            FillPattern(png);
            const TDecodedPng decoded = DecodeWithLibpng(SavedBytes(png));
            ASSERT_EQ(decoded.Error, "");
            const int writtenDepth = c.bitDepth == 2 ? 4 : c.bitDepth;
            EXPECT_EQ(decoded.Width, c.width);
            EXPECT_EQ(decoded.Height, c.height);
            EXPECT_EQ(decoded.BitDepth, writtenDepth);
            EXPECT_EQ(decoded.ColorType, c.colorType);
            EXPECT_EQ(decoded.Interlace, interlace);
            const unsigned channels = Channels(c.colorType);
            size_t mismatches = 0;
            for (uint32_t y = 0; y < c.height; ++y) {
                for (uint32_t x = 0; x < c.width; ++x) {
                    for (unsigned ch = 0; ch < channels; ++ch) {
                        unsigned expected = PatternSample(x, y, ch, c.bitDepth);
                        if (writtenDepth == 16) {
                            expected <<= 8; // the picture byte is the high byte, then 0
                        }
                        const unsigned actual =
                            SampleAt(decoded.Rows[y], x, ch, channels, writtenDepth);
                        if (actual != expected && mismatches++ < 5) {
                            ADD_FAILURE() << "x " << x << " y " << y << " channel " << ch << ": "
                                          << actual << " != " << expected;
                        }
                    }
                }
            }
            EXPECT_EQ(mismatches, 0u);
        }
    }
}

TEST(PNGWriter, ColourGoesThroughInverseGammaButGrayAndAlphaDoNot)
{
    struct TCase
    {
        uint8_t colorType;
        uint8_t bitDepth;
    };
    for (const TCase& c :
         {TCase{COLOR_RGB, 8}, TCase{COLOR_RGB, 16}, TCase{COLOR_RGBALPHA, 8},
          TCase{COLOR_RGBALPHA, 16}, TCase{COLOR_GRAYSCALE, 8}, TCase{COLOR_GRAYSCALEALPHA, 16}}) {
        for (uint8_t interlace : {uint8_t(0), uint8_t(1)}) {
            SCOPED_TRACE(testing::Message() << int(c.colorType) << "/" << int(c.bitDepth)
                                            << " interlace " << int(interlace));
            TPNGObject png;
            png.CreateImage(3, 3, c.colorType, c.bitDepth);
            png.SetWriteInterlace(interlace);
            for (size_t i = 0; i < 256; ++i) {
                png.InverseGammaLUT()[i] = uint8_t(255 - i);
            }
            FillPattern(png);
            const TDecodedPng decoded = DecodeWithLibpng(SavedBytes(png));
            ASSERT_EQ(decoded.Error, "");
            const unsigned channels = Channels(c.colorType);
            const bool colour = c.colorType == COLOR_RGB || c.colorType == COLOR_RGBALPHA;
            for (uint32_t x = 0; x < 3; ++x) {
                for (unsigned ch = 0; ch < channels; ++ch) {
                    unsigned expected = PatternSample(x, 2, ch, c.bitDepth);
                    if (colour && ch < 3) {
                        expected = 255 - expected;
                    }
                    EXPECT_EQ(SampleAt(decoded.Rows[2], x, ch, channels, c.bitDepth),
                              c.bitDepth == 16 ? expected << 8 : expected);
                }
            }
        }
    }
}

TEST(PNGWriter, PaletteEntriesGoThroughInverseGamma)
{
    TPNGObject png;
    png.CreateImage(2, 2, COLOR_PALETTE, 4);
    for (size_t i = 0; i < 256; ++i) {
        png.InverseGammaLUT()[i] = uint8_t(i / 2);
    }
    const std::vector<TParsedChunk> chunks = SaveAndSplit(png);
    EXPECT_EQ(ChunkTypes(chunks), "IHDR PLTE IDAT IEND");
    // EntryCount 0 takes the palette count of the 4-bit picture.
    EXPECT_EQ(png.Chunks().FindChunk<TChunkPLTE>()->EntryCount, 16u);
    const TParsedChunk* palette = Find(chunks, "PLTE");
    ASSERT_NE(palette, nullptr);
    ASSERT_EQ(palette->Data.size(), 48u);
    const auto& entries = png.Header().PaletteHandle()->Entries();
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(palette->Data[3 * i], entries[i].Red / 2);
        EXPECT_EQ(palette->Data[3 * i + 1], entries[i].Green / 2);
        EXPECT_EQ(palette->Data[3 * i + 2], entries[i].Blue / 2);
    }
}

TEST(PNGWriter, AncillaryChunkEncodings)
{
    TPNGObject png;
    png.CreateImage(2, 1, COLOR_RGB, 8);
    auto* physical = png.Chunks().AddChunkOfClass<TChunkpHYs>();
    physical->PixelsPerUnitX = 0x01020304;
    physical->PixelsPerUnitY = 2835;
    physical->UnitSpecifier = 1;
    png.Chunks().AddChunkOfClass<TChunkgAMA>()->SetGamma(45455);
    auto* key = png.Chunks().AddChunkOfClass<TChunktRNS>();
    key->ResizePayload(6);
    key->AlphaValues = {0, 0x40, 0, 0x80, 0, 0xFF, 9, 9};
    auto* time = png.Chunks().AddChunkOfClass<TChunktIME>();
    time->Year = 2024;
    time->Month = 2;
    time->Day = 29;
    time->Hour = 23;
    time->Minute = 59;
    time->Second = 60;
    auto* text = png.Chunks().AddChunkOfClass<TChunktEXt>();
    text->Keyword = "Title";
    text->Text = "caf\xE9";
    auto* compressed = png.Chunks().AddChunkOfClass<TChunkzTXt>();
    compressed->Keyword = "Comment";
    auto* empty = png.Chunks().AddChunkOfClass<TChunkzTXt>();
    empty->Keyword = "Big";
    empty->Text = std::string(5000, 'a');
    auto generic = std::make_unique<TChunk>(png);
    generic->SetChunkType(MakeChunkType("prVt"));
    generic->ResizePayload(3);
    generic->Payload()[2] = 0xEE;
    png.Chunks().Add(std::move(generic));

    const std::vector<TParsedChunk> chunks = SaveAndSplit(png);
    EXPECT_EQ(ChunkTypes(chunks), "IHDR gAMA pHYs tRNS IDAT tIME tEXt zTXt zTXt IEND prVt");
    for (const TParsedChunk& chunk : chunks) {
        EXPECT_TRUE(chunk.CrcMatches) << chunk.Type;
    }
    EXPECT_EQ(Find(chunks, "pHYs")->Data, (TBytes{1, 2, 3, 4, 0, 0, 0x0B, 0x13, 1}));
    EXPECT_EQ(Find(chunks, "gAMA")->Data, (TBytes{0, 0, 0xB1, 0x8F}));
    EXPECT_EQ(Find(chunks, "tRNS")->Data, (TBytes{0, 0x40, 0, 0x80, 0, 0xFF}));
    EXPECT_EQ(Find(chunks, "tIME")->Data, (TBytes{0x07, 0xE8, 2, 29, 23, 59, 60}));
    EXPECT_EQ(Find(chunks, "tEXt")->Data,
              (TBytes{'T', 'i', 't', 'l', 'e', 0, 'c', 'a', 'f', 0xE9}));
    EXPECT_EQ(chunks.back().Data, (TBytes{0, 0, 0xEE}));

    // An empty text is written as one space; every zTXt holds one zlib stream.
    const TBytes& first = chunks[7].Data;
    ASSERT_GT(first.size(), 9u);
    EXPECT_EQ(TBytes(first.begin(), first.begin() + 9),
              (TBytes{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0}));
    EXPECT_EQ(Inflate(TBytes(first.begin() + 9, first.end())), TBytes{' '});
    EXPECT_EQ(compressed->Text, " ");
    const TBytes& second = chunks[8].Data;
    const TBytes inflated = Inflate(TBytes(second.begin() + 5, second.end()));
    EXPECT_EQ(std::string(inflated.begin(), inflated.end()), empty->Text);
    EXPECT_LT(second.size(), 100u);
}

TEST(PNGWriter, RefusesWhatItCannotEncodeBeforeWriting)
{
    const std::string unsupported = "This \"Portable Network Graphics\" image could not be "
                                    "saved because its color type, bit depth or interlace "
                                    "method cannot be written.";
    struct TCase
    {
        const char* name;
        uint8_t colorType;
        uint8_t bitDepth;
        std::function<void(TPNGObject&)> change;
        bool headerError;
    };
    const TCase cases[] = {
        {"palette at 16 bits", COLOR_PALETTE, 16, nullptr, false},
        {"gray alpha at 1 bit", COLOR_GRAYSCALEALPHA, 1, nullptr, false},
        {"gray alpha at 2 bits", COLOR_GRAYSCALEALPHA, 2, nullptr, false},
        {"interlace method 2", COLOR_RGB, 8, [](TPNGObject& png) { png.SetWriteInterlace(2); },
         false},
        {"header wider than its picture", COLOR_RGB, 8,
         [](TPNGObject& png) { png.Header().Width = 100; }, true},
        {"alpha colour type without a plane", COLOR_GRAYSCALE, 8,
         [](TPNGObject& png) { png.Header().ColorType = COLOR_GRAYSCALEALPHA; }, true},
        {"RGB header over an 8-bit picture", COLOR_GRAYSCALE, 8,
         [](TPNGObject& png) { png.Header().ColorType = COLOR_RGB; }, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TPNGObject png;
        png.CreateImage(3, 2, c.colorType, c.bitDepth);
        if (c.change) {
            c.change(png);
        }
        TMemoryStream stream;
        if (c.headerError) {
            EXPECT_THROW(png.SaveToStream(stream), EPNGHeaderNotPresent);
        } else {
            EXPECT_EQ(MessageOf<EPngError>([&] { png.SaveToStream(stream); }), unsupported);
        }
        EXPECT_EQ(stream.Size(), 0);
    }

    // A list whose first chunk is not the header cannot encode image data.
    TPNGObject png;
    png.Chunks().Add(std::make_unique<TChunkIDAT>(png));
    TMemoryStream stream;
    EXPECT_THROW(png.SaveToStream(stream), EPNGHeaderNotPresent);
    EXPECT_EQ(stream.Size(), 0);
}

TEST(PNGWriter, CompressionFailureIsAnError)
{
    TPNGObject png;
    png.CreateImage(2, 2, COLOR_RGB, 8);
    png.SetDeflateLevel(10);
    TMemoryStream stream;
    const std::string message = MessageOf<EPNGZLIBError>([&] { png.SaveToStream(stream); });
    EXPECT_EQ(message, "Could not compress the image data.\r\n Description: stream error (-2)");
}

TEST(PNGWriter, ShortWritesRaiseWriteError)
{
    TPNGObject png;
    png.CreateImage(300, 300, COLOR_RGB, 8);
    std::mt19937 random(3);
    for (uint32_t y = 0; y < 300; ++y) {
        std::generate_n(png.PixelRow(y), 900, [&] { return uint8_t(random()); });
    }
    const size_t full = SavedBytes(png).size();
    for (size_t limit : {size_t(0), size_t(5), size_t(8 + 25), size_t(70000), full - 1}) {
        SCOPED_TRACE(limit);
        TLimitedStream stream(limit);
        EXPECT_EQ(MessageOf<EWriteError>([&] { png.SaveToStream(stream); }),
                  "ストリームへの書き込みエラー");
    }
    TLimitedStream roomy(full);
    EXPECT_NO_THROW(png.SaveToStream(roomy));
}

TEST(PNGParallelDeflateTest, SegmentsJoinIntoOneValidStream)
{
    // Sizes below one segment, crossing segment boundaries inside rows, and several batches.
    const struct
    {
        uint32_t width;
        uint32_t height;
        int threads;
        uint8_t colorType;
    } cases[] = {
        {1, 1, 2, COLOR_RGB},          {37, 5, 2, COLOR_RGB},      {700, 600, 2, COLOR_RGB},
        {700, 600, 3, COLOR_RGBALPHA}, {1300, 1300, 2, COLOR_RGB}, {1300, 1300, 4, COLOR_RGB},
    };
    for (const auto& c : cases) {
        TPNGObject png;
        png.CreateImage(c.width, c.height, c.colorType, 8);
        uint32_t noise = 7;
        for (uint32_t y = 0; y < c.height; ++y) {
            uint8_t* row = png.PixelRow(y);
            for (uint32_t x = 0; x < c.width * 3; ++x) {
                noise = noise * 1103515245 + 12345;
                row[x] = uint8_t((x / 7 + y) ^ (noise >> 29));
            }
            if (c.colorType == COLOR_RGBALPHA) {
                for (uint32_t x = 0; x < c.width; ++x) {
                    png.AlphaRow(y)[x] = uint8_t(x + y);
                }
            }
        }
        TMemoryStream serial;
        png.SaveToStream(serial);
        png.SetDeflateThreads(c.threads);
        TMemoryStream parallel;
        png.SaveToStream(parallel);
        const auto serialChunks = SplitChunks(serial.Bytes());
        const auto parallelChunks = SplitChunks(parallel.Bytes());
        // Same image data after inflating; libpng accepts the stream and its checksum.
        EXPECT_EQ(InflateImageData(parallelChunks), InflateImageData(serialChunks))
            << c.width << "x" << c.height;
        const TDecodedPng decoded = DecodeWithLibpng(parallel.Bytes());
        EXPECT_EQ(decoded.Error, "");
        EXPECT_EQ(decoded.Rows, DecodeWithLibpng(serial.Bytes()).Rows);
        // Every IDAT but the last is exactly the split size.
        std::vector<size_t> sizes;
        for (const TParsedChunk& chunk : parallelChunks) {
            if (chunk.Type == "IDAT") {
                sizes.push_back(chunk.Data.size());
            }
        }
        for (size_t i = 0; i + 1 < sizes.size(); ++i) {
            EXPECT_EQ(sizes[i], 65535u);
        }
    }
}
