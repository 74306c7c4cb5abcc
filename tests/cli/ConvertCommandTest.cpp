// kapto-convert end to end on temporary folders: listing, conversion, overwrite policies,
// the terminal question, usage errors and exit statuses.

#include "png/PNGOracle.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct TCommandResult
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string ReadText(const std::string& fileName)
{
    std::ifstream in(fileName);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ConvertCommandTest : public ::testing::Test
{
protected:
    TCommandResult Convert(const std::string& arguments, const std::string& input = "")
    {
        const std::string in = m_scratch.Path("in");
        WriteFileBytes(in, std::vector<uint8_t>(input.begin(), input.end()));
        const std::string command = std::string(KAPTO_CONVERT_EXE) + " " + arguments + " <" +
                                    Quote(in) + " >" + Quote(m_scratch.Path("out")) + " 2>" +
                                    Quote(m_scratch.Path("err"));
        const int raw = std::system(command.c_str());
        TCommandResult result;
        result.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.Out = ReadText(m_scratch.Path("out"));
        result.Err = ReadText(m_scratch.Path("err"));
        return result;
    }
    std::string Image(const std::string& name)
    {
        return WriteTestBmp(m_dir.Path(name), 4, 3, 0x336699);
    }

    TTempDir m_dir;
    TTempDir m_scratch;
};

} // namespace

TEST_F(ConvertCommandTest, ListShowsFilesAndScannedFolders)
{
    Image("b.bmp");
    Image("sub/a.BMP");
    WriteFileBytes(m_dir.Path("sub/readme.txt"), {0});
    WriteFileBytes(m_dir.Path("given.txt"), {0});
    const TCommandResult result =
        Convert("--list " + Quote(m_dir.Path("given.txt")) + " " + Quote(m_dir.Root()));
    EXPECT_EQ(result.Status, 0);
    // A path given by name is listed whatever its extension; a folder gives its images.
    EXPECT_EQ(result.Out, m_dir.Path("given.txt") + "\n" + m_dir.Path("b.bmp") + "\n" +
                              m_dir.Path("sub/a.BMP") + "\n");
}

TEST_F(ConvertCommandTest, ConvertsAFolderToBmpWithPolicies)
{
    Image("a.bmp");
    Image("b.BMP");
    TCommandResult result = Convert("--to bmp --on-exists skip " + Quote(m_dir.Root()));
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(result.Out, "1 converted, 1 skipped\n");
    EXPECT_TRUE(FileExists(m_dir.Path("b.bmp")));

    result = Convert("--to bmp --on-exists rename -q " + Quote(m_dir.Root()));
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(result.Out, "");
    EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"a-01.bmp", "a.bmp", "b-01.bmp",
                                                         "b-02.bmp", "b.BMP", "b.bmp"}));

    result = Convert("--to bmp --on-exists abort " + Quote(m_dir.Path("a.bmp")));
    EXPECT_EQ(result.Status, 3);
}

TEST_F(ConvertCommandTest, AskPutsTheDialogOnTheTerminal)
{
    const std::string a = Image("a.bmp");
    const std::string b = Image("b.bmp");
    // A wrong key is asked again; "r" renames, "y" applies it to the rest without asking.
    const TCommandResult result =
        Convert("--to bmp --on-exists ask " + Quote(a) + " " + Quote(b), "x\nr\ny\n");
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_NE(result.Err.find("同名のファイルが存在します。処理を選択してください。"),
              std::string::npos);
    EXPECT_NE(result.Err.find("残りのファイルも同様に処理"), std::string::npos);
    EXPECT_EQ(result.Out, "2 converted, 0 skipped\n");
    EXPECT_TRUE(FileExists(m_dir.Path("a-01.bmp")));
    EXPECT_TRUE(FileExists(m_dir.Path("b-01.bmp")));
}

TEST_F(ConvertCommandTest, ErrorsAndUsage)
{
    const std::string missing = m_dir.Path("missing.bmp");
    TCommandResult result = Convert("--to bmp " + Quote(missing));
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Err, "ファイル " + missing + " は開けません\n");

    const struct
    {
        const char* arguments;
        const char* reason;
    } usage[] = {
        {"", "PATH is required"},
        {"--to gif x", "--to"},
        {"--opacity 101 x", "--opacity"},
        {"--key middle x", "--key"},
        {"--edge --key top-left x", "--edge needs --key and --opacity"},
        {"--brightness-alpha darker --opacity 5 x", "cannot be combined"},
        {"--flatten x", "--flatten needs --brightness-alpha"},
        {"--brightness-alpha darker --invert x", "--invert needs --flatten"},
        {"--fast --to bmp x", "--fast needs PNG output"},
    };
    for (const auto& c : usage) {
        result = Convert(c.arguments);
        EXPECT_EQ(result.Status, 2) << c.arguments;
        EXPECT_NE(result.Err.find(c.reason), std::string::npos) << result.Err;
        EXPECT_EQ(std::count(result.Err.begin(), result.Err.end(), '\n'), 1) << result.Err;
    }
    EXPECT_EQ(Convert("--version").Status, 0);
    EXPECT_EQ(Convert("--help").Status, 0);
}

TEST_F(ConvertCommandTest, TransparencyOptionsReachThePngOutput)
{
    // Top-left black, the rest a left-to-right grey ramp with a red corner.
    WriteTestBmp(m_dir.Path("pic.bmp"), 4, 2, [](int x, int y) {
        if (x == 0 && y == 0) {
            return kapto::clBlack;
        }
        if (x == 3 && y == 1) {
            return kapto::TColor(0x0000FF);
        }
        return kapto::RGBColor(uint8_t(x * 80), uint8_t(x * 80), uint8_t(x * 80));
    });
    const std::string source = Quote(m_dir.Path("pic.bmp"));
    const struct
    {
        const char* options;
        const char* chunks;
        int colorType;
        std::vector<unsigned> alphaRow0; // empty: no alpha
    } cases[] = {
        {"", "IHDR IDAT IEND", 2, {}},
        {"--key top-left", "IHDR tRNS IDAT IEND", 2, {}},
        {"--key '#FF0000'", "IHDR tRNS IDAT IEND", 2, {}},
        {"--opacity 50", "IHDR IDAT IEND", 6, {127, 127, 127, 127}},
        {"--key top-left --opacity 40", "IHDR IDAT IEND", 6, {0, 102, 102, 102}},
        {"--key top-left --opacity 40 --edge", "IHDR IDAT IEND", 6, {255, 102, 102, 102}},
        {"--brightness-alpha darker", "IHDR IDAT IEND", 6, {0, 80, 160, 240}},
        {"--brightness-alpha brighter", "IHDR IDAT IEND", 6, {255, 175, 95, 15}},
        {"--brightness-alpha darker --flatten --invert", "IHDR IDAT IEND", 6, {0, 80, 160, 240}},
    };
    for (const auto& c : cases) {
        const TCommandResult result =
            Convert(std::string("--on-exists overwrite -q ") + c.options + " " + source);
        ASSERT_EQ(result.Status, 0) << c.options << ": " << result.Err;
        const std::vector<uint8_t> bytes = ReadFileBytes(m_dir.Path("pic.png"));
        EXPECT_EQ(ChunkTypes(SplitChunks(bytes)), c.chunks) << c.options;
        const TDecodedPng png = DecodeWithLibpng(bytes);
        EXPECT_EQ(png.ColorType, c.colorType) << c.options;
        for (uint32_t x = 0; x < c.alphaRow0.size(); ++x) {
            EXPECT_EQ(SampleAt(png.Rows[0], x, 3, 4, 8), c.alphaRow0[x]) << c.options << " " << x;
        }
    }
    // Flattened and inverted: every colour black.
    const std::vector<uint8_t> bytes = ReadFileBytes(m_dir.Path("pic.png"));
    const TDecodedPng png = DecodeWithLibpng(bytes);
    EXPECT_EQ(SampleAt(png.Rows[1], 3, 0, 4, 8), 0u);
}

TEST_F(ConvertCommandTest, JobsAndDeflateThreadsKeepThePixels)
{
    for (int i = 0; i < 4; ++i) {
        WriteTestBmp(m_dir.Path("serial/p" + std::to_string(i) + ".bmp"), 300 + i, 200,
                     [i](int x, int y) { return kapto::RGBColor(uint8_t(x * i), uint8_t(y), 9); });
        WriteTestBmp(m_dir.Path("pipelined/p" + std::to_string(i) + ".bmp"), 300 + i, 200,
                     [i](int x, int y) { return kapto::RGBColor(uint8_t(x * i), uint8_t(y), 9); });
    }
    EXPECT_EQ(Convert("-q --jobs 1 " + Quote(m_dir.Path("serial"))).Status, 0);
    EXPECT_EQ(Convert("-q --jobs 3 " + Quote(m_dir.Path("pipelined"))).Status, 0);
    for (int i = 0; i < 4; ++i) {
        const std::string name = "/p" + std::to_string(i) + ".png";
        EXPECT_EQ(ReadFileBytes(m_dir.Path("serial") + name),
                  ReadFileBytes(m_dir.Path("pipelined") + name));
    }
    const std::string source = Quote(m_dir.Path("serial/p1.bmp"));
    EXPECT_EQ(Convert("-q --on-exists overwrite --deflate-threads 2 " + source).Status, 0);
    const TDecodedPng parallel = DecodeWithLibpng(ReadFileBytes(m_dir.Path("serial/p1.png")));
    EXPECT_EQ(parallel.Error, "");
    EXPECT_EQ(parallel.Rows, DecodeWithLibpng(ReadFileBytes(m_dir.Path("pipelined/p1.png"))).Rows);
    EXPECT_EQ(Convert("--jobs 0 x").Status, 2);
}

TEST_F(ConvertCommandTest, FastKeepsThePixelsOnAnyNumberOfThreads)
{
    // 300 x 400 pixels: the filtered rows fill several segments of the fast profile.
    const auto color = [](int x, int y) { return kapto::RGBColor(uint8_t(x), uint8_t(y), 40); };
    const std::string source = Quote(WriteTestBmp(m_dir.Path("p.bmp"), 300, 400, color));
    const auto convert = [&](const std::string& options) {
        EXPECT_EQ(Convert("-q --on-exists overwrite --key top-left --opacity 60 " + options + " " +
                          source)
                      .Status,
                  0);
        return ReadFileBytes(m_dir.Path("p.png"));
    };
    const std::vector<uint8_t> standard = convert("");
    const std::vector<uint8_t> fast = convert("--fast");
    EXPECT_NE(fast, standard);
    EXPECT_EQ(DecodeWithLibpng(fast).Error, "");
    EXPECT_EQ(DecodeWithLibpng(fast).Rows, DecodeWithLibpng(standard).Rows);
    EXPECT_EQ(convert("--fast --deflate-threads 1"), fast);
}
