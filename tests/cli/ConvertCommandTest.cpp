// kapto-convert end to end on temporary folders: listing, conversion, overwrite policies,
// the terminal question, usage errors and exit statuses.

#include "png/PNGOracle.h"
#include "support/Images.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace {

struct TCommandResult
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

class ConvertCommandTest : public ::testing::Test
{
protected:
    TCommandResult Convert(const std::string& arguments, const std::string& input = "")
    {
        const std::string in = m_scratch.Path("in");
        WriteFileBytes(in, std::vector<uint8_t>(input.begin(), input.end()));
        const std::string command =
            // Without a controlling terminal, so that the question reads standard input.
            "KAPTO_LANG=" + m_language + " setsid -w " + KAPTO_CONVERT_EXE + " " + arguments +
            " <" + Quote(in) + " >" + Quote(m_scratch.Path("out")) + " 2>" +
            Quote(m_scratch.Path("err"));
        const int raw = std::system(command.c_str());
        TCommandResult result;
        result.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.Out = ReadFileText(m_scratch.Path("out"));
        result.Err = ReadFileText(m_scratch.Path("err"));
        return result;
    }
    std::string Image(const std::string& name)
    {
        return WriteTestBmp(m_dir.Path(name), 4, 3, 0x336699);
    }

    TTempDir m_dir;
    TTempDir m_scratch;
    std::string m_language = "ja";
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
    EXPECT_EQ(result.Err,
              missing + ": ファイル " + missing + " は開けません (No such file or directory)\n");

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
        {"--max-memory 12Q x", "--max-memory"},
        {"--max-memory 0 x", "--max-memory"},
        {"--key-tolerance 10 x", "--key-tolerance needs --key"},
        {"--key-tolerance 0 x", "--key-tolerance needs --key"},
        {"--key top-left --key-tolerance 101 x", "--key-tolerance"},
        {"--key top-left --key-tolerance ten x", "--key-tolerance"},
        {"--key top-left --key-soft x", "--key-soft needs"},
        {"--key top-left --key-tolerance 0 --key-soft x", "--key-soft needs"},
        {"--key-soft --key-tolerance 10 x", "--key-tolerance needs --key"},
        {"--fast --to bmp x", "--fast needs PNG output"},
        {"--optimize --to bmp x", "--optimize needs PNG output"},
        {"--optimize --fast x", "--optimize and --fast"},
        {"--out-dir '' x", "--out-dir: expected a folder"},
        {"--base x x", "--base needs --out-dir"},
        {"--shard 0/4 x", "--shard: expected K/N"},
        {"--shard 5/4 x", "--shard: expected K/N"},
        {"--shard 1/0 x", "--shard: expected K/N"},
        {"--shard 1/4x x", "--shard: expected K/N"},
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
        // Greys 80 and up lie beyond a 35 % tolerance (89); over black the soft edge reads
        // them as white at their own grey level of alpha.
        {"--key top-left --key-tolerance 35", "IHDR IDAT IEND", 6, {0, 0, 255, 255}},
        {"--key top-left --key-tolerance 35 --key-soft", "IHDR IDAT IEND", 6, {0, 0, 160, 240}},
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
    // A budget below one picture: every file waits for the one before it, with the same bytes.
    for (int i = 0; i < 4; ++i) {
        ::unlink(m_dir.Path("pipelined/p" + std::to_string(i) + ".png").c_str());
    }
    EXPECT_EQ(Convert("-q --jobs 3 --max-memory 1K " + Quote(m_dir.Path("pipelined"))).Status, 0);
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

TEST_F(ConvertCommandTest, DanglingLinkTakesItsName)
{
    const std::string a = Quote(Image("a.bmp"));
    ASSERT_EQ(::symlink("nowhere", m_dir.Path("a.png").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", m_dir.Path("a-01.png").c_str()), 0);
    TCommandResult result = Convert("--on-exists skip " + a);
    EXPECT_EQ(result.Out, "0 converted, 1 skipped\n");
    result = Convert("--on-exists rename " + a);
    EXPECT_EQ(result.Out, "1 converted, 0 skipped\n");
    EXPECT_EQ(m_dir.Entries(),
              (std::vector<std::string>{"a-01.png", "a-02.png", "a.bmp", "a.png"}));
    for (const char* link : {"a.png", "a-01.png"}) {
        struct stat info
        {};
        EXPECT_EQ(::lstat(m_dir.Path(link).c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << link;
    }
}

TEST_F(ConvertCommandTest, FailedWriteToStandardOutputFailsTheRun)
{
    Image("a.bmp");
    const std::string command = std::string(KAPTO_CONVERT_EXE) + " --list " + Quote(m_dir.Root()) +
                                " >/dev/full 2>" + Quote(m_scratch.Path("err"));
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw;
    EXPECT_EQ(ReadFileText(m_scratch.Path("err")),
              "kapto-convert: cannot write to standard output: No space left on device\n");
}

TEST_F(ConvertCommandTest, EveryMessageNamesItsFile)
{
    const std::string good = Image("good.bmp");
    const std::string bad = m_dir.Path("bad.bmp");
    WriteFileBytes(bad, {'B', 'M'});
    TCommandResult result = Convert("-q " + Quote(good) + " " + Quote(bad) + " " + Quote(good));
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Err, bad + ": ストリームからの読み込みエラー\n");
    // The summary of what was done still comes, unless -q.
    result = Convert("--on-exists overwrite " + Quote(good) + " " + Quote(bad));
    EXPECT_EQ(result.Out, "1 converted, 0 skipped\n");

    // A missing PATH is reported before anything is converted.
    ::unlink(m_dir.Path("good.png").c_str());
    result = Convert(Quote(good) + " " + Quote(m_dir.Path("photo")));
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Err, m_dir.Path("photo") + ": ファイル " + m_dir.Path("photo") +
                              " は開けません (No such file or directory)\n");
    EXPECT_FALSE(FileExists(m_dir.Path("good.png")));

    // A PATH that looks like an option.
    Image("-dash.bmp");
    ASSERT_EQ(::chdir(m_dir.Root().c_str()), 0);
    result = Convert("-dash.bmp");
    EXPECT_EQ(result.Status, 2);
    EXPECT_NE(result.Err.find("put -- before a PATH that starts with -"), std::string::npos);
    EXPECT_EQ(Convert("-- -dash.bmp").Status, 0);
    ASSERT_EQ(::chdir("/"), 0);
}

TEST_F(ConvertCommandTest, KeepGoingPassesFailedFilesOver)
{
    const struct
    {
        const char* Name;
        std::vector<const char*> Files; // "x" is broken, "e" has an existing output
        const char* OnExists;
        int Status;
        const char* Summary;
        std::vector<const char*> Failed;
    } cases[] = {
        {"at the start", {"x1", "a", "b"}, "skip", 1, "2 converted, 0 skipped, 1 failed", {"x1"}},
        {"in the middle", {"a", "x1", "b"}, "skip", 1, "2 converted, 0 skipped, 1 failed", {"x1"}},
        {"at the end",
         {"a", "b", "x1", "x2"},
         "skip",
         1,
         "2 converted, 0 skipped, 2 failed",
         {"x1", "x2"}},
        {"none", {"a", "e"}, "skip", 0, "1 converted, 1 skipped, 0 failed", {}},
        {"then abort",
         {"x1", "a", "e", "b"},
         "abort",
         3,
         "1 converted, 0 skipped, 1 failed",
         {"x1"}},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        std::string arguments = std::string("--keep-going --on-exists ") + c.OnExists;
        for (const char* name : c.Files) {
            const std::string path = dir.Path(std::string(name) + ".bmp");
            if (name[0] == 'x') {
                WriteFileBytes(path, {'B', 'M'});
            } else {
                WriteTestBmp(path, 3, 2, 0x112233);
            }
            if (name[0] == 'e') {
                WriteFileBytes(dir.Path("e.png"), {1});
            }
            arguments += " " + Quote(path);
        }
        const TCommandResult result = Convert(arguments);
        EXPECT_EQ(result.Status, c.Status) << c.Name;
        EXPECT_EQ(result.Out, std::string(c.Summary) + "\n") << c.Name;
        std::string messages;
        std::string list;
        for (const char* name : c.Failed) {
            const std::string path = dir.Path(std::string(name) + ".bmp");
            messages += path + ": ストリームからの読み込みエラー\n";
            list += path + "\n";
        }
        EXPECT_EQ(result.Err, messages + list) << c.Name;
        for (const char* name : c.Failed) {
            EXPECT_FALSE(FileExists(dir.Path(std::string(name) + ".png"))) << c.Name;
        }
    }
}

TEST_F(ConvertCommandTest, OutDirKeepsTheFolderTreeAndSettlesNamesThere)
{
    Image("photos/trip/a.bmp");
    Image("photos/b.bmp");
    const std::string loose = Image("b.bmp");
    const std::string out = m_dir.Path("out");
    const std::string photos = Quote(m_dir.Path("photos/"));
    TCommandResult result =
        Convert("--out-dir " + Quote(out) + " --on-exists rename " + photos + " " + Quote(loose));
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(result.Out, "3 converted, 0 skipped\n");
    EXPECT_EQ(m_dir.Entries("out"), (std::vector<std::string>{"b-01.png", "b.png", "trip"}));
    EXPECT_EQ(m_dir.Entries("out/trip"), std::vector<std::string>{"a.png"});
    EXPECT_FALSE(FileExists(m_dir.Path("photos/b.png")));

    // Existing names in DIR are settled as beside the sources.
    result = Convert("--out-dir " + Quote(out) + " --on-exists skip " + photos);
    EXPECT_EQ(result.Out, "0 converted, 2 skipped\n");

    // A source is never its own output, even when DIR is its own folder.
    const std::string png = Quote(m_dir.Path("out/trip/a.png"));
    result =
        Convert("--out-dir " + Quote(m_dir.Path("out/trip")) + " --on-exists overwrite " + png);
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(m_dir.Entries("out/trip"), (std::vector<std::string>{"a-01.png", "a.png"}));
}

TEST_F(ConvertCommandTest, DryRunShowsThePlanAndWritesNothing)
{
    Image("a.bmp");
    Image("a.jpg");
    Image("c.bmp");
    WriteFileBytes(m_dir.Path("c.png"), {1});
    const std::string folder = m_dir.Root();
    const std::string png = m_dir.Path("c.png");
    const TCommandResult result = Convert("--dry-run " + Quote(folder));
    EXPECT_EQ(result.Status, 0);
    const std::string a = m_dir.Path("a.png");
    EXPECT_EQ(result.Out, m_dir.Path("a.bmp") + " -> " + a + "\n" + m_dir.Path("a.jpg") + " -> " +
                              a + "  [same output as " + m_dir.Path("a.bmp") + "]\n" +
                              m_dir.Path("c.bmp") + " -> " + png + "  [exists]\n" + png + " -> " +
                              png + "  [exists] [same output as " + m_dir.Path("c.bmp") +
                              "] [replaces its source]\n");
    EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"a.bmp", "a.jpg", "c.bmp", "c.png"}));
}

// The regular files below a folder with their bytes, by name.
std::map<std::string, std::vector<uint8_t>> FilesBelow(const std::string& root)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            files[entry.path().string()] = ReadFileBytes(entry.path().string());
        }
    }
    return files;
}

TEST_F(ConvertCommandTest, DryRunShowsWhatTheRunDoesLineForLine)
{
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    const struct
    {
        const char* Name;
        std::vector<const char*> Sources;
        std::vector<const char*> Olds; // files that stand in the way before the run
        const char* Arguments;         // the names are below the test's folder
    } cases[] = {
        {"numbered names for one output",
         {"x/a.bmp", "y/a.bmp"},
         {"out/a.png"},
         "--on-exists rename --out-dir out x/a.bmp y/a.bmp"},
        {"a source in DIR is never its own output",
         {"photos/sub/b.bmp"},
         {},
         "--to bmp --on-exists overwrite --out-dir photos/sub photos/sub"},
        {"DIR inside the scanned folder",
         {"photos/a.bmp"},
         {"photos/out/a.png"},
         "--on-exists overwrite --out-dir photos/out photos"},
        {"a link inside DIR",
         {"photos/trip/a.bmp", "photos/b.bmp"},
         {"outside/keep"},
         "--out-dir out photos"},
        {"beside the sources",
         {"p/a.bmp", "p/b.bmp"},
         {"p/a.png"},
         "--on-exists rename p/a.bmp p/b.bmp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        for (const char* source : c.Sources) {
            WriteTestBmp(dir.Path(source), 4, 3, 0x336699);
        }
        for (const char* name : c.Olds) {
            WriteFileBytes(dir.Path(name), old);
        }
        if (FileExists(dir.Path("outside/keep"))) {
            std::filesystem::create_directories(dir.Path("out"));
            std::filesystem::create_directory_symlink("../outside", dir.Path("out/trip"));
        }
        const std::string arguments = "--keep-going " + std::string(c.Arguments);
        const std::string command = "cd " + Quote(dir.Root()) + " && " + KAPTO_CONVERT_EXE + " ";
        const auto run = [&](const std::string& extra) {
            const std::string out = m_scratch.Path("out");
            const std::string err = m_scratch.Path("err");
            std::system(
                (command + extra + arguments + " </dev/null >" + Quote(out) + " 2>" + Quote(err))
                    .c_str());
            return std::make_pair(ReadFileText(out), ReadFileText(err));
        };
        const std::string plan = run("--dry-run ").first;
        const auto before = FilesBelow(dir.Root());
        const std::string errors = run("").second;
        const auto after = FilesBelow(dir.Root());
        std::set<std::string> written;
        for (const auto& [name, bytes] : after) {
            const auto earlier = before.find(name);
            if (earlier == before.end() || earlier->second != bytes) {
                written.insert(name.substr(dir.Root().size() + 1));
            }
        }
        // Each line names the file the run writes, or the message the run fails it with.
        std::set<std::string> planned;
        std::istringstream lines(plan);
        for (std::string line; std::getline(lines, line);) {
            const size_t arrow = line.find(" -> ");
            if (arrow == std::string::npos) {
                EXPECT_NE(errors.find(line + "\n"), std::string::npos) << line << "\n" << errors;
                continue;
            }
            planned.insert(line.substr(arrow + 4, line.find("  ", arrow + 4) - arrow - 4));
        }
        EXPECT_EQ(planned, written) << plan;
        const bool overwrites = std::string(c.Arguments).find("overwrite") != std::string::npos;
        for (const char* name : c.Olds) {
            EXPECT_EQ(ReadFileBytes(dir.Path(name)) == old, !overwrites) << name;
        }
    }
}

TEST_F(ConvertCommandTest, EnglishMessagesSummaryAndQuestion)
{
    const std::string a = Image("a.bmp");
    const std::string missing = m_dir.Path("missing.bmp");
    WriteFileBytes(m_dir.Path("a.png"), {1});
    for (const char* language : {"en", "ja"}) {
        m_language = language;
        const bool english = m_language == "en";
        TCommandResult result = Convert("--on-exists ask " + Quote(a), "s\nn\n");
        EXPECT_EQ(result.Out, "0 converted, 1 skipped\n");
        EXPECT_NE(result.Err.find(english ? "A file of that name exists. Choose what to do."
                                          : "同名のファイルが存在します。処理を選択してください。"),
                  std::string::npos)
            << result.Err;
        EXPECT_NE(result.Err.find(english ? "[a] Stop the whole run" : "[a] 全体の処理を中止"),
                  std::string::npos);
        result = Convert(Quote(missing));
        EXPECT_EQ(result.Err, missing +
                                  (english ? ": Cannot open file " + missing
                                           : ": ファイル " + missing + " は開けません") +
                                  " (No such file or directory)\n");
    }
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

TEST_F(ConvertCommandTest, OptimizeReachesThePngOutput)
{
    // Four colours with the top-left one keyed: a 2-bit palette with a one-entry tRNS.
    const auto color = [](int x, int y) { return kapto::TColor((x / 8 + y / 8) % 4 * 0x102030); };
    const std::string source = Quote(WriteTestBmp(m_dir.Path("p.bmp"), 64, 64, color));
    const auto convert = [&](const std::string& options) {
        EXPECT_EQ(Convert("-q --on-exists overwrite --key top-left " + options + source).Status, 0);
        return ReadFileBytes(m_dir.Path("p.png"));
    };
    const std::vector<uint8_t> plain = convert("");
    const std::vector<uint8_t> optimized = convert("--optimize ");
    const TDecodedPng decoded = DecodeWithLibpng(optimized);
    EXPECT_EQ(decoded.Error, "");
    EXPECT_EQ(decoded.ColorType, 3);
    EXPECT_EQ(decoded.BitDepth, 2);
    EXPECT_LT(optimized.size(), plain.size());
}
