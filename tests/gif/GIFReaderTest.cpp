// Reading the GIF block structure: signatures, block loop, frames, extensions, the fatal
// messages and the warnings, progress and the stream position afterwards.

#include "GIFTestLoad.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFSubImage.h"
#include "support/GIFTestWriter.h"
#include "support/ImageLimit.h"

#include <gtest/gtest.h>

using namespace kapto;
using namespace giftest;

namespace {

const TBytes kPixels{0, 1, 2, 3};

// A valid 2x2 image: header with a 4-colour global table, one frame, trailer.
TGIFBuilder Simple()
{
    TGIFBuilder gif;
    gif.Header(2, 2, 1).Image(0, 0, 2, 2, kPixels);
    return gif;
}

TBytes Cat(std::initializer_list<TBytes> parts)
{
    TBytes out;
    for (const TBytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

TBytes Text(const std::string& text)
{
    return TBytes(text.begin(), text.end());
}

} // namespace

TEST(GIFReader, SignatureVariants)
{
    struct TCase
    {
        const char* name;
        TBytes prefix;
        std::string signature;
        const char* error;
    };
    const TCase cases[] = {
        {"lower case", {}, "gif89a", ""},
        {"any version", {}, "GIFxyz", ""},
        {"87a", {}, "GIF87a", ""},
        {"four bytes in front", {1, 2, 3, 4}, "GIF89a", ""},
        {"three bytes in front", {1, 2, 3}, "GIF89a", "Invalid GIF signature"},
        {"five bytes in front", {1, 2, 3, 4, 5}, "GIF89a", "Invalid GIF signature"},
        {"not GIF", {}, "GIX89a", "Invalid GIF signature"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TGIFBuilder gif;
        gif.Raw(c.prefix).Header(2, 2, 1, c.signature).Image(0, 0, 2, 2, kPixels).Trailer();
        EXPECT_EQ(LoadError(gif.Bytes()), c.error);
    }
    TGIFBuilder gif;
    gif.Header(2, 2, 1, "gif87q").Trailer();
    EXPECT_EQ(LoadGIF(gif.Bytes()).image->Header().Version(), "87q");
}

TEST(GIFReader, FatalProblemsAndTheirMessages)
{
    const TBytes header = TGIFBuilder().Header(2, 2, 1).Bytes();
    const TBytes image = TGIFBuilder().Image(0, 0, 2, 2, kPixels).Bytes();
    const TBytes app = {0x21, 0xFF, 11};
    struct TCase
    {
        const char* name;
        TBytes bytes;
        const char* error;
    };
    const TCase cases[] = {
        {"signature cut", Text("GIF89"), "Premature end of data"},
        {"screen descriptor cut", Cat({Text("GIF89a"), {2, 0, 2}}), "Premature end of data"},
        {"global table cut", TBytes(header.begin(), header.end() - 1), "Premature end of data"},
        {"image descriptor cut", Cat({header, {0x2C, 0, 0, 0, 0, 2}}), "Premature end of data"},
        {"local table cut", Cat({header, {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x82, 1, 2, 3}}),
         "Premature end of data"},
        {"comment sub-block cut", Cat({header, {0x21, 0xFE, 5, 'a', 'b'}}),
         "Premature end of data"},
        {"plain text block cut", Cat({header, {0x21, 0x01, 12, 0, 0, 0}}), "Premature end of data"},
        {"application identifier cut", Cat({header, app, Text("NETSC")}), "Premature end of data"},
        {"loop count cut", Cat({header, app, Text("NETSCAPE2.0"), {3, 1, 5}}),
         "Premature end of data"},
        {"loop sub-blocks cut", Cat({header, app, Text("NETSCAPE2.0"), {3, 1, 5, 0}}),
         "Premature end of data"},
        {"loop sub-block skipped past the end", Cat({header, app, Text("NETSCAPE2.0"), {9, 3}}),
         "Premature end of data"},
        {"unknown label", Cat({header, {0x21, 0x2A, 1, 9, 0}, image}), "Unknown extension type"},
        {"10-byte identifier cut", Cat({header, {0x21, 0xFF, 10}, Text("ABCD")}),
         "Unknown extension type"},
        {"application block size 9", Cat({header, {0x21, 0xFF, 9}, Text("ABCDEFGHIJKLMN")}),
         "Unsupported Application Extension block size"},
        {"loop count in 1 byte", Cat({header, app, Text("NETSCAPE2.0"), {2, 1, 5, 0}, image}),
         "Invalid GIF data"},
        {"buffer size in 3 bytes",
         Cat({header, app, Text("NETSCAPE2.0"), {4, 2, 1, 2, 3, 0}, image}), "Invalid GIF data"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadError(c.bytes), c.error);
    }
    // A frame larger than the memory allowed says so.
    const TImageByteLimitScope limit(kMinImageByteLimit);
    EXPECT_EQ(MessageOf<kapto::EPictureTooLarge>(
                  [&] {
                      LoadGIF(Cat(
                          {header, {0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 1, 0x44, 0}}));
                  },
                  ""),
              "65535 × 65535 の画像には 4096 MiB が必要です (上限 768 MiB、--max-memory)");
}

TEST(GIFReader, FailureRewindsStreamAndKeepsEarlierFrames)
{
    TGIFBuilder gif = Simple();
    gif.Raw({0x21, 0x2A, 0});
    TMemoryStream stream(Cat({{7, 7}, gif.Bytes()}));
    stream.SetPosition(2);
    TGIFImage image;
    EXPECT_THROW(image.LoadFromStream(stream), GIFException);
    EXPECT_EQ(stream.Position(), 2);
    EXPECT_EQ(image.Images().Count(), 1);
}

TEST(GIFReader, BlockStructureVariants)
{
    {
        SCOPED_TRACE("no frames");
        TLoaded loaded = LoadGIF(TGIFBuilder().Header(5, 3, 1).Trailer().Bytes());
        EXPECT_TRUE(loaded.image->Empty());
        EXPECT_EQ(loaded.image->Width(), 5);
        EXPECT_EQ(loaded.image->Height(), 3);
        EXPECT_TRUE(loaded.warnings.empty());
    }
    {
        SCOPED_TRACE("no trailer, zero bytes between blocks");
        TGIFBuilder gif;
        gif.Header(2, 2, 1).Raw({0, 0}).Image(0, 0, 2, 2, kPixels).Raw({0, 0, 0});
        gif.Image(0, 0, 2, 2, {3, 3, 3, 3});
        TLoaded loaded = LoadGIF(gif.Bytes());
        ASSERT_EQ(loaded.image->Images().Count(), 2);
        EXPECT_EQ(FrameData(loaded.image->Images()[1]), (TBytes{3, 3, 3, 3}));
        EXPECT_TRUE(loaded.warnings.empty());
        EXPECT_EQ(loaded.endPosition, int64_t(gif.Bytes().size()));
    }
    {
        SCOPED_TRACE("comment after the last image");
        TGIFBuilder gif = Simple();
        gif.Comment({"done"}).Trailer();
        TLoaded loaded = LoadGIF(gif.Bytes());
        ASSERT_EQ(loaded.image->Images().Count(), 2);
        TGIFSubImage& extra = loaded.image->Images()[1];
        EXPECT_TRUE(extra.Empty());
        ASSERT_EQ(extra.Extensions().Count(), 1);
        auto* comment = dynamic_cast<TGIFCommentExtension*>(&extra.Extensions()[0]);
        ASSERT_NE(comment, nullptr);
        EXPECT_EQ(comment->Text(), std::vector<std::string>{"done"});
        EXPECT_EQ(loaded.endPosition, int64_t(gif.Bytes().size()));
    }
    {
        SCOPED_TRACE("unknown block type");
        TGIFBuilder gif = Simple();
        gif.Raw({0x99}).Image(0, 0, 2, 2, kPixels).Trailer();
        TLoaded loaded = LoadGIF(gif.Bytes());
        EXPECT_EQ(loaded.image->Images().Count(), 1);
        EXPECT_EQ(loaded.warnings,
                  (std::vector<std::string>{"Unknown GIF block type", "Invalid Image trailer"}));
    }
}

TEST(GIFReader, FrameVariants)
{
    {
        SCOPED_TRACE("width 0 takes the screen size");
        TGIFBuilder gif;
        gif.Header(3, 2, 1).Descriptor(1, 1, 0, 7).ImageData(2, EncodeLZW(TBytes(6, 2), 2));
        TLoaded loaded = LoadGIF(gif.Trailer().Bytes());
        TGIFSubImage& frame = loaded.image->Images()[0];
        EXPECT_EQ(frame.Width(), 3);
        EXPECT_EQ(frame.Height(), 2);
        EXPECT_EQ(FrameData(frame), TBytes(6, 2));
        EXPECT_EQ(loaded.warnings, std::vector<std::string>{"Image exceeds Logical Screen size"});
    }
    {
        SCOPED_TRACE("local table with size code 0");
        TGIFBuilder gif;
        gif.Header(2, 1, -1).Image(0, 0, 2, 1, {1, 0}, false, 0).Trailer();
        TLoaded loaded = LoadGIF(gif.Bytes());
        EXPECT_EQ(loaded.image->Images()[0].ColorMap().Count(), 2);
        EXPECT_EQ(loaded.image->Header().ColorMap().Count(), 0);
    }
    {
        SCOPED_TRACE("frame outside the screen is kept as it is");
        TGIFBuilder gif;
        gif.Header(2, 2, 1).Image(500, 600, 2, 2, kPixels).Trailer();
        TLoaded loaded = LoadGIF(gif.Bytes());
        EXPECT_EQ(loaded.image->Images()[0].Left(), 500);
        EXPECT_EQ(loaded.image->Images()[0].Top(), 600);
    }
}

TEST(GIFReader, TwoGraphicControlExtensions)
{
    // The first one's index serves (also as the fill value of pixels never decoded), the
    // frame is transparent because the second one says so.
    TGIFBuilder gif;
    gif.Header(2, 2, 3).GraphicControl(false, 5, 20).GraphicControl(true, 7, 30);
    TCodePacker onePixel;
    onePixel.Put(8, 4);
    onePixel.Put(1, 4);
    onePixel.Put(9, 4);
    gif.Descriptor(0, 0, 2, 2).ImageData(3, onePixel.Bytes()).Trailer();
    TLoaded loaded = LoadGIF(gif.Bytes());
    TGIFSubImage& frame = loaded.image->Images()[0];
    EXPECT_EQ(frame.Extensions().Count(), 2);
    EXPECT_TRUE(frame.Transparent());
    ASSERT_NE(frame.GraphicControlExtension(), nullptr);
    EXPECT_EQ(frame.GraphicControlExtension()->TransparentColorIndex(), 5);
    EXPECT_EQ(frame.GraphicControlExtension()->DelayTime(), 20);
    EXPECT_EQ(FrameData(frame), (TBytes{1, 5, 5, 5}));
}

TEST(GIFReader, ZeroByteBetweenExtensionAndImageEndsTheFrame)
{
    TGIFBuilder gif;
    gif.Header(2, 2, 1).GraphicControl(true, 1).Raw({0}).Image(0, 0, 2, 2, kPixels).Trailer();
    TLoaded loaded = LoadGIF(gif.Bytes());
    ASSERT_EQ(loaded.image->Images().Count(), 2);
    EXPECT_TRUE(loaded.image->Images()[0].Empty());
    EXPECT_EQ(loaded.image->Images()[0].Extensions().Count(), 1);
    TGIFSubImage& image = loaded.image->Images()[1];
    EXPECT_EQ(image.Extensions().Count(), 0);
    EXPECT_FALSE(image.Transparent());
    EXPECT_EQ(FrameData(image), kPixels);
    EXPECT_EQ(loaded.warnings, std::vector<std::string>{"Invalid extension introducer"});
}

TEST(GIFReader, GraphicControlCutShortWarnsAndKeepsWhatWasRead)
{
    TGIFBuilder gif;
    gif.Header(2, 2, 1).Raw({0x21, 0xF9, 4, 1, 10});
    TLoaded loaded = LoadGIF(gif.Bytes());
    ASSERT_EQ(loaded.image->Images().Count(), 1);
    TGIFSubImage& frame = loaded.image->Images()[0];
    auto* control = frame.GraphicControlExtension();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->DelayTime(), 10);
    EXPECT_TRUE(control->Transparent());
    EXPECT_FALSE(frame.Transparent());
    EXPECT_EQ(loaded.warnings, std::vector<std::string>{"Premature end of data"});
}

TEST(GIFReader, ApplicationExtensions)
{
    const auto firstExtension = [](TLoaded& loaded) -> TGIFExtension& {
        return loaded.image->Images()[0].Extensions()[0];
    };
    {
        SCOPED_TRACE("loop count under sub-block id 9, and the buffer size");
        TGIFBuilder gif;
        gif.Header(2, 2, 1).Application(11, "NETSCAPE2.0", {{9, 0x34, 0x12}, {2, 1, 2, 3, 4}});
        gif.Image(0, 0, 2, 2, kPixels).Trailer();
        TLoaded loaded = LoadGIF(gif.Bytes());
        auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(&firstExtension(loaded));
        ASSERT_NE(loop, nullptr);
        EXPECT_EQ(loop->Loops(), 0x1234);
        EXPECT_EQ(loop->BufferSize(), 0x04030201u);
        EXPECT_EQ(FrameData(loaded.image->Images()[0]), kPixels);
    }
    {
        SCOPED_TRACE("second loop identifier, unknown sub-block id skipped");
        TGIFBuilder gif;
        gif.Header(2, 2, 1).Application(11, "ANIMEXTS1.0", {{5, 9, 9}, {1, 7, 0}});
        gif.Image(0, 0, 2, 2, kPixels).Trailer();
        TLoaded loaded = LoadGIF(gif.Bytes());
        auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(&firstExtension(loaded));
        ASSERT_NE(loop, nullptr);
        EXPECT_EQ(loop->Loops(), 7);
    }
    struct TUnknownCase
    {
        const char* name;
        int blockSize;
        std::string identifier;
        std::string expectedIdentifier;
    };
    const TUnknownCase unknown[] = {
        {"other identifier", 11, "XMP DataXMP", "XMP DataXMP"},
        // The 10 bytes of the block and, as 11th byte, the sub-block size that follows.
        {"10-byte block", 10, "ICCRGBG1ab", std::string("ICCRGBG1ab") + char(2)},
        // Longer blocks keep their first 11 bytes.
        {"12-byte block", 12, "ICCRGBG1abcd", "ICCRGBG1abc"},
        {"255-byte block", 255, std::string(255, 'q'), std::string(11, 'q')},
    };
    for (const TUnknownCase& c : unknown) {
        SCOPED_TRACE(c.name);
        TGIFBuilder gif;
        gif.Header(2, 2, 1).Application(c.blockSize, c.identifier, {{1, 2}, {3}});
        gif.Image(0, 0, 2, 2, kPixels).Trailer();
        TLoaded loaded = LoadGIF(gif.Bytes());
        auto* app = dynamic_cast<TGIFUnknownAppExtension*>(&firstExtension(loaded));
        ASSERT_NE(app, nullptr);
        const auto& id = app->ApplicationIdentifier();
        EXPECT_EQ(std::string(id.begin(), id.end()), c.expectedIdentifier);
        ASSERT_EQ(app->Blocks().size(), 2u);
        EXPECT_EQ(app->Blocks()[0]->Data(), (TBytes{1, 2}));
        EXPECT_EQ(app->Blocks()[1]->Data(), (TBytes{3}));
        EXPECT_EQ(FrameData(loaded.image->Images()[0]), kPixels);
        EXPECT_TRUE(loaded.warnings.empty());
    }
}

TEST(GIFReader, TextAndCommentExtensions)
{
    TGIFBuilder gif;
    gif.Header(2, 2, 1).Comment({std::string("ab\0cd", 5), "ef"});
    gif.Raw({0x21, 0x01, 12, 1, 0, 2, 0, 30, 0, 40, 0, 8, 16, 1, 0, 2, 'h', 'i', 0});
    gif.Image(0, 0, 2, 2, kPixels).Trailer();
    TLoaded loaded = LoadGIF(gif.Bytes());
    TGIFSubImage& frame = loaded.image->Images()[0];
    ASSERT_EQ(frame.Extensions().Count(), 2);
    auto* comment = dynamic_cast<TGIFCommentExtension*>(&frame.Extensions()[0]);
    auto* text = dynamic_cast<TGIFTextExtension*>(&frame.Extensions()[1]);
    ASSERT_NE(comment, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(comment->Text(), (std::vector<std::string>{"ab", "ef"}));
    EXPECT_EQ(text->Text(), std::vector<std::string>{"hi"});
    EXPECT_EQ(text->Block().Width, 30);
    EXPECT_EQ(text->Block().CellHeight, 16);
    EXPECT_EQ(FrameData(frame), kPixels);
}

TEST(GIFReader, ProgressReportsLoading)
{
    TGIFBuilder gif = Simple();
    gif.Image(0, 0, 2, 2, kPixels).Trailer();
    std::vector<std::string> events;
    TGIFImage image;
    image.OnProgress = [&events](TGraphic&, TProgressStage stage, uint8_t percent, bool,
                                 const TRect&, const std::string& message) {
        events.push_back(std::to_string(int(stage)) + " " + std::to_string(percent) + " " +
                         message);
    };
    TMemoryStream stream(gif.Bytes());
    image.LoadFromStream(stream);
    const size_t size = gif.Bytes().size();
    const std::string afterFirst = std::to_string(Simple().Bytes().size() * 100 / size);
    const std::string afterSecond = std::to_string((size - 1) * 100 / size);
    EXPECT_EQ(events,
              (std::vector<std::string>{"0 0 Loading...", "1 " + afterFirst + " Loading...",
                                        "1 " + afterSecond + " Loading...", "2 100 Loading..."}));
    events.clear();
    TMemoryStream broken(Text("GIF8"));
    EXPECT_THROW(image.LoadFromStream(broken), GIFException);
    EXPECT_EQ(events, (std::vector<std::string>{"0 0 Loading...", "2 0 Loading..."}));
}
