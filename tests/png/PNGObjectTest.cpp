// The PNG image object: chunk list rules, the class registry, the header's picture, copying.
#include "png/PNGObject.h"
#include "png/Chunks.h"
#include "png/PNGErrors.h"
#include "support/ImageLimit.h"
#include "support/Raised.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace kapto;

namespace {

std::string ListTypes(const TPNGObject& png)
{
    std::string types;
    for (const auto& chunk : png.Chunks()) {
        const TChunkType& type = chunk->ChunkType();
        types += (types.empty() ? "" : " ") + std::string(type.begin(), type.end());
    }
    return types;
}

// An image with the chunks named (IHDR with a 4 x 3 RGB picture when listed first).
void BuildList(TPNGObject& png, const std::vector<std::string>& types)
{
    png.Clear();
    for (const std::string& type : types) {
        const char name[5] = {type[0], type[1], type[2], type[3], 0};
        auto chunk = ChunkClassFor(png, MakeChunkType(name));
        if (auto* header = dynamic_cast<TChunkIHDR*>(chunk.get())) {
            header->Width = 4;
            header->Height = 3;
            header->BitDepth = 8;
            header->ColorType = COLOR_RGB;
            header->AllocateImage();
        }
        png.Chunks().Add(std::move(chunk));
    }
}

} // namespace

TEST(PNGObject, NewImageIsEmptyAndHasNoHeader)
{
    TPNGObject png;
    EXPECT_TRUE(png.Empty());
    EXPECT_EQ(png.Width(), 0);
    EXPECT_EQ(png.Height(), 0);
    EXPECT_FALSE(png.HasHeader());
    EXPECT_EQ(MessageOf<EPNGHeaderNotPresent>([&] { png.Header(); }),
              "This operation is not valid because the current image contains no valid header.");
    EXPECT_THROW(png.Transparent(), EPNGHeaderNotPresent);
    EXPECT_THROW(png.AlphaRow(0), EPNGHeaderNotPresent);
    EXPECT_EQ(png.RowGeometry().RowBytes, 0u);
}

TEST(PNGObject, AddChunkOfClassInsertsWhereTheStandardWantsIt)
{
    struct TCase
    {
        const char* name;
        std::vector<std::string> list;
        const TChunkClass& added;
        const char* expected;
    };
    const TCase cases[] = {
        {"tRNS before IDAT without PLTE",
         {"IHDR", "IDAT", "IEND"},
         TChunktRNS::Class(),
         "IHDR tRNS IDAT IEND"},
        {"tRNS after PLTE",
         {"IHDR", "PLTE", "IDAT", "IEND"},
         TChunktRNS::Class(),
         "IHDR PLTE tRNS IDAT IEND"},
        {"tRNS after IHDR without PLTE and IDAT",
         {"IHDR", "tEXt", "IEND"},
         TChunktRNS::Class(),
         "IHDR tRNS tEXt IEND"},
        {"tRNS before the first of two IDAT",
         {"IHDR", "IDAT", "IDAT", "IEND"},
         TChunktRNS::Class(),
         "IHDR tRNS IDAT IDAT IEND"},
        {"gAMA right after IHDR",
         {"IHDR", "PLTE", "IDAT", "IEND"},
         TChunkgAMA::Class(),
         "IHDR gAMA PLTE IDAT IEND"},
        {"pHYs right after IHDR",
         {"IHDR", "gAMA", "IDAT", "IEND"},
         TChunkpHYs::Class(),
         "IHDR pHYs gAMA IDAT IEND"},
        {"tEXt before IEND", {"IHDR", "IDAT", "IEND"}, TChunktEXt::Class(), "IHDR IDAT tEXt IEND"},
        {"zTXt before IEND", {"IHDR", "IDAT", "IEND"}, TChunkzTXt::Class(), "IHDR IDAT zTXt IEND"},
        {"tIME before IEND", {"IHDR", "IDAT", "IEND"}, TChunktIME::Class(), "IHDR IDAT tIME IEND"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TPNGObject png;
        BuildList(png, c.list);
        TChunk* added = png.Chunks().AddChunkOfClass(c.added);
        EXPECT_EQ(&added->ChunkClass(), &c.added);
        EXPECT_EQ(&added->Owner(), &png);
        EXPECT_EQ(ListTypes(png), c.expected);
    }
}

TEST(PNGObject, AddChunkOfClassRefusals)
{
    const std::string existent = "The program tried to add a existent critical chunk to the "
                                 "current image which is not allowed.";
    const std::string invalid =
        "It's not allowed to add a new chunk because the current image is invalid.";
    struct TCase
    {
        const char* name;
        std::vector<std::string> list;
        const TChunkClass& added;
        const std::string& message;
    };
    const TCase cases[] = {
        {"IHDR", {"IHDR", "IDAT", "IEND"}, TChunkIHDR::Class(), existent},
        {"PLTE even when absent", {"IHDR", "IDAT", "IEND"}, TChunkPLTE::Class(), existent},
        {"IDAT", {"IHDR", "IDAT", "IEND"}, TChunkIDAT::Class(), existent},
        {"IEND", {"IHDR", "IDAT", "IEND"}, TChunkIEND::Class(), existent},
        {"second gAMA", {"IHDR", "gAMA", "IDAT", "IEND"}, TChunkgAMA::Class(), existent},
        {"second tRNS", {"IHDR", "tRNS", "IDAT", "IEND"}, TChunktRNS::Class(), existent},
        {"second pHYs", {"IHDR", "pHYs", "IDAT", "IEND"}, TChunkpHYs::Class(), existent},
        {"critical before the list check", {}, TChunkIDAT::Class(), existent},
        {"no IEND", {"IHDR", "IDAT"}, TChunktEXt::Class(), invalid},
        {"no IHDR", {"IDAT", "IEND"}, TChunkgAMA::Class(), invalid},
        {"empty image", {}, TChunktRNS::Class(), invalid},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TPNGObject png;
        BuildList(png, c.list);
        const size_t before = png.Chunks().Count();
        EXPECT_EQ(MessageOf<EPngError>([&] { png.Chunks().AddChunkOfClass(c.added); }), c.message);
        EXPECT_EQ(png.Chunks().Count(), before);
    }
    // Several tEXt chunks are allowed.
    TPNGObject png;
    BuildList(png, {"IHDR", "tEXt", "IDAT", "IEND"});
    EXPECT_NO_THROW(png.Chunks().AddChunkOfClass<TChunktEXt>());
}

TEST(PNGObject, ChunkClassForPicksTheRegisteredClassOrAGenericChunk)
{
    TPNGObject png;
    struct TCase
    {
        const char* type;
        const TChunkClass& expected;
    };
    const TCase cases[] = {
        {"IHDR", TChunkIHDR::Class()}, {"PLTE", TChunkPLTE::Class()}, {"IDAT", TChunkIDAT::Class()},
        {"IEND", TChunkIEND::Class()}, {"gAMA", TChunkgAMA::Class()}, {"tRNS", TChunktRNS::Class()},
        {"pHYs", TChunkpHYs::Class()}, {"tIME", TChunktIME::Class()}, {"tEXt", TChunktEXt::Class()},
        {"zTXt", TChunkzTXt::Class()}, {"iTXt", TChunk::Class()},     {"ihdr", TChunk::Class()},
        {"GAMA", TChunk::Class()},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.type);
        const char name[5] = {c.type[0], c.type[1], c.type[2], c.type[3], 0};
        auto chunk = ChunkClassFor(png, MakeChunkType(name));
        EXPECT_EQ(&chunk->ChunkClass(), &c.expected);
        EXPECT_EQ(chunk->ChunkType(), MakeChunkType(name));
        EXPECT_EQ(&chunk->Owner(), &png);
    }
    // A class registered later is found by its type.
    static const TChunkClass sBIT{"TChunksBIT", &TChunk::Class(),
                                  [](TPNGObject& owner) -> std::unique_ptr<TChunk> {
                                      return std::make_unique<TChunk>(owner);
                                  }};
    RegisterChunkClass(sBIT);
    EXPECT_EQ(std::string(ChunkClassFor(png, MakeChunkType("sBIT"))->TypeName()), "");
    EXPECT_TRUE(TChunkzTXt::Class().InheritsFrom(TChunktEXt::Class()));
    EXPECT_FALSE(TChunktEXt::Class().InheritsFrom(TChunkzTXt::Class()));
}

TEST(PNGObject, FindChunkAcceptsDerivedClasses)
{
    TPNGObject png;
    BuildList(png, {"IHDR", "zTXt", "tEXt", "IDAT", "IEND"});
    EXPECT_EQ(png.Chunks().FindChunk<TChunktEXt>(), png.Chunks().Item(1));
    EXPECT_EQ(png.Chunks().FindChunk<TChunkzTXt>(), png.Chunks().Item(1));
    EXPECT_EQ(png.Chunks().FindChunk<TChunkPLTE>(), nullptr);
    EXPECT_EQ(png.Chunks().Item(5), nullptr);
    EXPECT_EQ(png.Chunks().Item(3)->IndexInList(), 3);
}

TEST(PNGObject, HeaderMustBeTheFirstChunk)
{
    TPNGObject png;
    BuildList(png, {"tEXt", "IHDR", "IDAT", "IEND"});
    EXPECT_FALSE(png.HasHeader());
    EXPECT_THROW(png.Header(), EPNGHeaderNotPresent);
    EXPECT_EQ(png.Width(), 0);
    // A generic chunk typed IHDR is not a header either.
    png.Clear();
    auto generic = std::make_unique<TChunk>(png);
    generic->SetChunkType(MakeChunkType("IHDR"));
    png.Chunks().Add(std::move(generic));
    EXPECT_FALSE(png.HasHeader());
}

TEST(PNGObject, IdatSplitSizeSetterKeepsTheStandardMinimum)
{
    TPNGObject png;
    struct TCase
    {
        int32_t set;
        int32_t read;
    };
    for (const TCase& c : {TCase{1000, 65535}, TCase{-1, 65535}, TCase{65534, 65535},
                           TCase{65535, 65535}, TCase{65536, 65536}, TCase{1 << 30, 1 << 30}}) {
        png.SetIdatSplitSize(c.set);
        EXPECT_EQ(png.IdatSplitSize(), c.read) << c.set;
    }
}

TEST(PNGObject, PictureLayoutForEveryColourTypeAndBitDepth)
{
    struct TCase
    {
        uint8_t colorType;
        uint8_t bitDepth;
        uint32_t width;
        uint16_t dibBits;
        uint32_t rowStride;
        uint32_t paletteCount;
        bool alpha;
        bool lowBytes;
        size_t rowBytes;
        size_t pixelStride;
    };
    const TCase cases[] = {
        {COLOR_GRAYSCALE, 1, 3, 1, 4, 2, false, false, 1, 1},
        {COLOR_GRAYSCALE, 2, 3, 4, 4, 16, false, false, 1, 1},
        {COLOR_GRAYSCALE, 4, 9, 4, 8, 16, false, false, 5, 1},
        {COLOR_GRAYSCALE, 8, 3, 8, 4, 256, false, false, 3, 1},
        {COLOR_GRAYSCALE, 16, 3, 8, 4, 256, false, true, 6, 2},
        {COLOR_PALETTE, 1, 3, 1, 4, 2, false, false, 1, 1},
        {COLOR_PALETTE, 8, 5, 8, 8, 256, false, false, 5, 1},
        {COLOR_RGB, 8, 3, 24, 12, 0, false, false, 9, 3},
        {COLOR_RGB, 16, 3, 24, 12, 0, false, true, 18, 6},
        {COLOR_GRAYSCALEALPHA, 8, 3, 8, 4, 256, true, false, 6, 2},
        {COLOR_GRAYSCALEALPHA, 16, 3, 8, 4, 256, true, true, 12, 4},
        {COLOR_RGBALPHA, 8, 3, 24, 12, 0, true, false, 12, 4},
        {COLOR_RGBALPHA, 16, 2, 24, 8, 0, true, true, 16, 8},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.colorType) << "/" << int(c.bitDepth));
        TPNGObject png;
        png.CreateImage(c.width, 2, c.colorType, c.bitDepth);
        const TChunkIHDR& header = png.Header();
        EXPECT_EQ(header.DIBBitCount(), c.dibBits);
        EXPECT_EQ(header.RowStride(), c.rowStride);
        EXPECT_EQ(header.HasIndexedDib(), c.dibBits <= 8);
        EXPECT_EQ(header.PaletteCount(), c.paletteCount);
        EXPECT_EQ(header.ImageHandle()->ColorTable().size(), c.paletteCount);
        EXPECT_EQ(png.AlphaRow(1) != nullptr, c.alpha);
        EXPECT_EQ(png.LowByteRow(1) != nullptr, c.lowBytes);
        EXPECT_EQ(png.RowGeometry().RowBytes, c.rowBytes);
        EXPECT_EQ(png.RowGeometry().PixelStride, c.pixelStride);
        // Rows are stored bottom-up and the alpha plane top-down without padding.
        EXPECT_EQ(png.PixelRow(0), header.PixelBits() + c.rowStride);
        EXPECT_EQ(png.PixelRow(1), header.PixelBits());
        if (c.alpha) {
            EXPECT_EQ(png.AlphaRow(1), header.AlphaBits() + c.width);
            EXPECT_EQ(png.AlphaRow(1)[0], 0);
        }
        if (c.lowBytes) {
            EXPECT_EQ(png.LowByteRow(0), header.LowBytes() + c.rowStride);
        }
    }
}

TEST(PNGObject, StartPalettes)
{
    TPNGObject png;
    // Gray ramps of 2^bit depth levels go through GammaLUT.
    for (int i = 0; i < 256; ++i) {
        png.GammaLUT()[size_t(i)] = uint8_t(255 - i);
    }
    png.Chunks().Add(std::make_unique<TChunkIHDR>(png));
    TChunkIHDR& header = png.Header();
    header.Width = 1;
    header.Height = 1;
    header.ColorType = COLOR_GRAYSCALE;
    header.BitDepth = 2;
    header.AllocateImage();
    const auto& colors = header.DibInfo().Colors;
    EXPECT_EQ(colors[0].Red, 255);
    EXPECT_EQ(colors[1].Red, 255 - 85);
    EXPECT_EQ(colors[1].Green, colors[1].Blue);
    EXPECT_EQ(colors[3].Red, 0);
    EXPECT_EQ(colors[4].Red, 0); // padded to the 16 entries of a 4-bit DIB
    EXPECT_EQ(header.PaletteCount(), 16u);

    // Colour type 3 starts from the halftone palette, in blue, green, red order.
    png.CreateImage(1, 1, COLOR_PALETTE, 8);
    const auto halftone = CreateHalftonePalette();
    for (size_t i : {size_t(0), size_t(17), size_t(255)}) {
        const TRGBQuad entry = png.Header().DibInfo().Colors[i];
        EXPECT_EQ(entry.Red, halftone->Entries()[i].Red);
        EXPECT_EQ(entry.Blue, halftone->Entries()[i].Blue);
    }
}

TEST(PNGObject, AllocateImageRefusesBadHeaders)
{
    struct TCase
    {
        const char* name;
        uint32_t width;
        uint32_t height;
        uint8_t colorType;
        uint8_t bitDepth;
        bool outOfMemory;
    };
    const TCase cases[] = {
        {"zero width", 0, 1, COLOR_RGB, 8, false},
        {"zero height", 1, 0, COLOR_RGB, 8, false},
        {"RGB at 4 bits", 1, 1, COLOR_RGB, 4, false},
        {"colour type 5", 1, 1, 5, 8, false},
        {"bit depth 3", 1, 1, COLOR_GRAYSCALE, 3, false},
        {"wider than any image", 0x80000000u, 1, COLOR_GRAYSCALE, 8, true},
        {"more bytes than memory allows", 1u << 20, 1u << 20, COLOR_RGB, 8, true},
    };
    const TImageByteLimitScope limit(kMinImageByteLimit);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TPNGObject png;
        png.CreateImage(2, 2, COLOR_RGB, 8);
        png.PixelRow(0)[0] = 42;
        TChunkIHDR& header = png.Header();
        header.Width = c.width;
        header.Height = c.height;
        header.ColorType = c.colorType;
        header.BitDepth = c.bitDepth;
        if (c.outOfMemory && c.height > 1) {
            EXPECT_EQ(MessageOf<EPictureTooLarge>([&] { header.AllocateImage(); }),
                      "1048576 × 1048576 の画像には 3145728 MiB が必要です (上限 768 MiB、"
                      "--max-memory)");
        } else if (c.outOfMemory) {
            EXPECT_EQ(MessageOf<EPNGOutMemory>([&] { header.AllocateImage(); }),
                      "Some operation could not be performed because the system is out of "
                      "resources. Close some windows and try again.");
        } else {
            EXPECT_THROW(header.AllocateImage(), EPngInvalidIHDR);
        }
        // The previous picture stays.
        EXPECT_EQ(header.ImageHandle()->Width(), 2);
        EXPECT_EQ(png.PixelRow(0)[0], 42);
    }
}

TEST(PNGObject, CloneFromCopiesSettingsChunksAndPicture)
{
    TPNGObject source;
    source.CreateImage(3, 2, COLOR_RGBALPHA, 8);
    source.SetWriteInterlace(1);
    source.SetIdatSplitSize(100000);
    source.SetDeflateLevel(3);
    source.SetFilterSet({TFilter::Up, TFilter::Paeth});
    source.GammaLUT()[10] = 20;
    source.InverseGammaLUT()[20] = 10;
    source.PixelRow(1)[8] = 99;
    source.AlphaRow(1)[2] = 77;
    auto* text = source.Chunks().AddChunkOfClass<TChunkzTXt>();
    text->Keyword = "Title";
    text->Text = "kapto";
    source.Chunks().AddChunkOfClass<TChunkpHYs>()->PixelsPerUnitX = 3780;
    auto generic = std::make_unique<TChunk>(source);
    generic->SetChunkType(MakeChunkType("prVt"));
    generic->ResizePayload(2);
    generic->Payload()[1] = 5;
    source.Chunks().Add(std::move(generic));

    TPNGObject copy;
    copy.CreateImage(1, 1, COLOR_PALETTE, 1);
    copy.AssignFrom(&source);
    EXPECT_EQ(ListTypes(copy), "IHDR pHYs IDAT zTXt IEND prVt");
    EXPECT_EQ(copy.WriteInterlace(), 1);
    EXPECT_EQ(copy.IdatSplitSize(), 100000);
    EXPECT_EQ(copy.DeflateLevel(), 3);
    EXPECT_TRUE(copy.FilterSet() == (TFilterSet{TFilter::Up, TFilter::Paeth}));
    EXPECT_EQ(copy.GammaLUT()[10], 20);
    EXPECT_EQ(copy.InverseGammaLUT()[20], 10);
    EXPECT_EQ(copy.Header().ColorType, COLOR_RGBALPHA);
    EXPECT_EQ(copy.PixelRow(1)[8], 99);
    EXPECT_EQ(copy.AlphaRow(1)[2], 77);
    EXPECT_NE(copy.PixelRow(1), source.PixelRow(1));
    EXPECT_EQ(copy.Chunks().FindChunk<TChunkzTXt>()->Text, "kapto");
    EXPECT_EQ(copy.Chunks().FindChunk<TChunkpHYs>()->PixelsPerUnitX, 3780u);
    EXPECT_EQ(copy.Chunks().Item(5)->Payload()[1], 5);
    for (const auto& chunk : copy.Chunks()) {
        EXPECT_EQ(&chunk->Owner(), &copy);
    }

    // Cloning itself keeps everything; none empties the image.
    copy.CloneFrom(copy);
    EXPECT_EQ(copy.Chunks().Count(), 6u);
    copy.AssignFrom(nullptr);
    EXPECT_TRUE(copy.Empty());
    EXPECT_EQ(copy.GammaLUT()[10], 10);
}

TEST(PNGObject, CopyChunkRequiresACompatibleSource)
{
    TPNGObject png;
    png.CreateImage(2, 2, COLOR_PALETTE, 8);
    TChunkgAMA gamma(png);
    TChunktEXt text(png);
    TChunkzTXt compressed(png);
    compressed.Keyword = "k";
    const std::string message = "The chunks must be compatible to be assigned.";
    EXPECT_EQ(MessageOf<EPngError>([&] { png.Header().CopyChunk(gamma); }), message);
    EXPECT_EQ(MessageOf<EPngError>([&] { gamma.CopyChunk(text); }), message);
    EXPECT_EQ(MessageOf<EPngError>([&] { compressed.CopyChunk(text); }), message);
    EXPECT_EQ(MessageOf<EPngError>(
                  [&] { png.Chunks().FindChunk<TChunkPLTE>()->CopyChunk(png.Header()); }),
              message);
    text.CopyChunk(compressed);
    EXPECT_EQ(text.Keyword, "k");
}

TEST(PNGObject, PaletteEntriesBeyondTheCountDoNotExist)
{
    TPNGObject png;
    png.CreateImage(2, 2, COLOR_PALETTE, 4);
    auto* palette = png.Chunks().FindChunk<TChunkPLTE>();
    palette->EntryCount = 16;
    EXPECT_EQ(palette->Item(15), png.Header().DibInfo().Colors[15]);
    EXPECT_EQ(MessageOf<EPngError>([&] { palette->Item(16); }), "There is no such palette entry.");
}

TEST(PNGObject, ResizeImageKeepsTheCommonPart)
{
    TPNGObject png;
    png.CreateImage(3, 3, COLOR_RGBALPHA, 8);
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 3; ++x) {
            png.PixelRow(y)[3 * x] = uint8_t(10 * y + x);
            png.AlphaRow(y)[x] = uint8_t(100 + 10 * y + x);
        }
    }
    png.SetWidth(2);
    png.SetHeight(4);
    EXPECT_EQ(png.Width(), 2);
    EXPECT_EQ(png.Height(), 4);
    EXPECT_EQ(png.Header().RowStride(), 8u);
    for (uint32_t y = 0; y < 3; ++y) {
        EXPECT_EQ(png.PixelRow(y)[3], 10 * y + 1);
        EXPECT_EQ(png.AlphaRow(y)[0], 100 + 10 * y);
        EXPECT_EQ(png.AlphaRow(y)[1], 100 + 10 * y + 1);
    }
    EXPECT_EQ(png.PixelRow(3)[0], 0);
    EXPECT_EQ(png.AlphaRow(3)[1], 255);

    EXPECT_EQ(MessageOf<EPNGInvalidNewSize>([&] { png.ResizeImage(0, 3); }),
              "The new size provided for image resizing is invalid.");
    EXPECT_THROW(png.ResizeImage(3, -1), EPNGInvalidNewSize);
    TPNGObject empty;
    EXPECT_THROW(empty.ResizeImage(0, 0), EPNGInvalidNewSize);
    EXPECT_THROW(empty.ResizeImage(1, 1), EPNGHeaderNotPresent);
}

TEST(PNGObject, TransparencyKindFollowsColourTypeAndTRNS)
{
    struct TCase
    {
        uint8_t colorType;
        int transparency; // 0 none, 1 single key, 2 per-entry tRNS
        TTransparencyKind expected;
    };
    const TCase cases[] = {
        {COLOR_GRAYSCALE, 0, TTransparencyKind::None},
        {COLOR_GRAYSCALE, 1, TTransparencyKind::KeyColor},
        {COLOR_RGB, 0, TTransparencyKind::None},
        {COLOR_RGB, 2, TTransparencyKind::KeyColor},
        {COLOR_PALETTE, 0, TTransparencyKind::None},
        {COLOR_PALETTE, 1, TTransparencyKind::KeyColor},
        {COLOR_PALETTE, 2, TTransparencyKind::Alpha},
        {COLOR_GRAYSCALEALPHA, 0, TTransparencyKind::Alpha},
        {COLOR_RGBALPHA, 0, TTransparencyKind::Alpha},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.colorType) << " " << c.transparency);
        TPNGObject png;
        png.CreateImage(2, 2, c.colorType, 8);
        if (c.transparency != 0) {
            png.Chunks().AddChunkOfClass<TChunktRNS>()->SingleKey = c.transparency == 1;
        }
        EXPECT_EQ(png.TransparencyKind(), c.expected);
        EXPECT_EQ(png.Transparent(), c.expected != TTransparencyKind::None);
    }
}

TEST(PNGObject, TransparentKeyColorReadsTheTRNSKey)
{
    TPNGObject png;
    png.CreateImage(2, 2, COLOR_RGB, 8);
    EXPECT_EQ(png.TransparentKeyColor(), 0);
    auto* key = png.Chunks().AddChunkOfClass<TChunktRNS>();
    key->ResizePayload(6);
    key->AlphaValues = {0, 0x40, 0, 0x80, 0, 0xFF};
    png.GammaLUT()[0x40] = 0x41;
    EXPECT_EQ(png.TransparentKeyColor(), RGBColor(0x41, 0x80, 0xFF));

    png.CreateImage(2, 2, COLOR_PALETTE, 8);
    auto* alpha = png.Chunks().AddChunkOfClass<TChunktRNS>();
    png.Chunks().FindChunk<TChunkPLTE>()->EntryCount = 256;
    alpha->ResizePayload(4);
    alpha->AlphaValues = {255, 128, 0, 0};
    const TRGBQuad entry = png.Header().DibInfo().Colors[2];
    EXPECT_EQ(png.TransparentKeyColor(), RGBColor(entry.Red, entry.Green, entry.Blue));
    alpha->ResizePayload(2);
    EXPECT_EQ(png.TransparentKeyColor(), 0);

    png.CreateImage(2, 2, COLOR_GRAYSCALE, 4);
    auto* gray = png.Chunks().AddChunkOfClass<TChunktRNS>();
    gray->ResizePayload(2);
    gray->AlphaValues = {0, 3};
    EXPECT_EQ(png.TransparentKeyColor(), RGBColor(0x33, 0x33, 0x33));
}

TEST(PNGObject, CanvasDrawsOnThePicture)
{
    TPNGObject png;
    EXPECT_THROW(png.Canvas().Target(), EInvalidOperation);
    png.CreateImage(2, 2, COLOR_RGB, 8);
    png.Canvas().SetPixel(1, 0, RGBColor(10, 20, 30));
    EXPECT_EQ(png.PixelRow(0)[3], 30);
    EXPECT_EQ(png.PixelRow(0)[5], 10);
}
