// kapto-convert over slices of one batch: N shards run side by side write what one run
// writes; file lists with any bytes in their names; --base; and a report that every line of
// which is JSON, also when the run is stopped by a signal.

#include "support/Images.h"
#include "support/JpegEncoder.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

extern char** environ;

namespace {

struct TRun
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

// A shell command in folder, with input on its standard input.
TRun Shell(const TTempDir& scratch, const std::string& folder, const std::string& command,
           const std::string& input = "")
{
    WriteFileBytes(scratch.Path("in"), std::vector<uint8_t>(input.begin(), input.end()));
    const std::string line = "cd " + Quote(folder) + " && (" + command + ") <" +
                             Quote(scratch.Path("in")) + " >" + Quote(scratch.Path("out")) + " 2>" +
                             Quote(scratch.Path("err"));
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFileText(scratch.Path("out")),
            ReadFileText(scratch.Path("err"))};
}

const std::string kConvert = Quote(KAPTO_CONVERT_EXE);

// Every line of the reports parsed by Python's json, as one sorted text: the file lines
// without their milliseconds, each with whether its bytes are the output's size on disk and
// with the exact names where source_bytes and output_bytes give them; then the totals added
// up. Fails (status 1) on a line that is not JSON, not UTF-8, or a totals line not last.
const char kReader[] = R"(import base64, json, os, sys
lines, totals = [], {}
for name in sys.argv[1:]:
    rows = open(name, 'rb').read().decode('utf-8').split('\n')
    assert rows[-1] == '', 'a line without its end'
    for i, row in enumerate(rows[:-1]):
        record = json.loads(row)
        if record.get('totals'):
            assert i == len(rows) - 2, 'totals before the end'
            for key in ('converted', 'skipped', 'failed', 'bytes'):
                totals[key] = totals.get(key, 0) + record[key]
            totals['signal'] = record['signal']
            continue
        del record['milliseconds']
        source = base64.b64decode(record.pop('source_bytes', '')) or record['source'].encode()
        output = record['output'] and (base64.b64decode(record.pop('output_bytes', ''))
                                       or record['output'].encode())
        record['source'] = repr(source)
        record['output'] = output and repr(output)
        record['size_matches'] = not output or os.path.getsize(output) == record['bytes']
        lines.append(json.dumps(record, sort_keys=True, ensure_ascii=False))
text = '\n'.join(sorted(lines) + [json.dumps(totals, sort_keys=True)]) + '\n'
sys.stdout.buffer.write(text.encode('utf-8'))
)";

TRun ReadReports(const TTempDir& scratch, const std::string& folder,
                 const std::vector<std::string>& reports)
{
    WriteFileBytes(scratch.Path("reader.py"),
                   std::vector<uint8_t>(std::begin(kReader), std::end(kReader) - 1));
    std::string command = "python3 " + Quote(scratch.Path("reader.py"));
    for (const std::string& report : reports) {
        command += " " + Quote(report);
    }
    return Shell(scratch, folder, command);
}

// The regular files below a folder with their bytes, by name relative to it.
std::map<std::string, std::vector<uint8_t>> FilesBelow(const std::string& root)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[entry.path().lexically_relative(root).string()] =
                ReadFileBytes(entry.path().string());
        }
    }
    return files;
}

// Pictures whose outputs meet: a.jpg and a.bmp in one folder, a source named like a numbered
// output, the same names in other folders, a PNG source that is its own output, outputs
// there before the run, a file that fails; and enough others to fill every shard.
void MakeBatch(const TTempDir& dir)
{
    const std::vector<uint8_t> jpeg = EncodeJpeg(
        {8, 6, 3, 90, 2, 2}, [](int x, int y, int c) { return uint8_t(x * 30 + y * 10 + c * 50); });
    WriteFileBytes(dir.Path("src/x/a.jpg"), jpeg);
    int colour = 0x102030;
    for (const char* name : {"src/x/a.bmp", "src/x/a-01.bmp", "src/y/a.bmp", "src/y/b.bmp"}) {
        WriteTestBmp(dir.Path(name), 5, 3, colour += 0x0A0B0C);
    }
    WriteFileBytes(dir.Path("src/y/broken.bmp"), {'B', 'M', 1, 2, 3});
    for (int i = 0; i < 16; ++i) {
        WriteTestBmp(dir.Path("src/z" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".bmp"),
                     1 + i, 2, colour += 0x030507);
    }
    // A PNG source, and outputs that stand in the way.
    const TTempDir scratch;
    const std::string png = dir.Path("src/y/b.png");
    Shell(scratch, dir.Root(), kConvert + " " + Quote(dir.Path("src/z0/f0.bmp")));
    std::filesystem::rename(dir.Path("src/z0/f0.png"), png);
    WriteFileBytes(dir.Path("src/x/a.png"), {'o', 'l', 'd'});
    WriteFileBytes(dir.Path("web/x/a.png"), {'o', 'l', 'd'});
    WriteFileBytes(dir.Path("flat/a.png"), {'o', 'l', 'd'});
}

} // namespace

TEST(BatchTest, ShardsSideBySideWriteWhatOneRunWrites)
{
    const bool hasParallel = std::system("command -v parallel >/dev/null 2>&1") == 0;
    const struct
    {
        const char* Name;
        std::string Arguments;
        bool ThroughParallel; // the shards started by GNU parallel, else by the shell
    } cases[] = {
        {"beside the sources, rename", "--on-exists rename src", false},
        {"below a base, overwrite",
         "--on-exists overwrite --base src --out-dir web src/x/a.jpg src/y src/z0 src/z1 src/z2",
         false},
        {"flattened into one folder, rename",
         "--on-exists rename --out-dir flat src/x/a.bmp src/y/a.bmp src/x/a.jpg src/z2 src/z1",
         false},
        {"GNU parallel, below a base, rename", "--on-exists rename --base src --out-dir web src",
         true},
    };
    TTempDir batch;
    MakeBatch(batch);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.ThroughParallel && !hasParallel) {
            ADD_FAILURE() << "GNU parallel is not installed (scripts/deps.sh test)";
            continue;
        }
        TTempDir one;
        TTempDir four;
        TTempDir scratch;
        for (const TTempDir* dir : {&one, &four}) {
            std::filesystem::copy(batch.Root(), dir->Root(),
                                  std::filesystem::copy_options::recursive);
        }
        const std::string arguments = "--keep-going -q " + c.Arguments;
        const std::string single = scratch.Path("single.jsonl");
        Shell(scratch, one.Root(), kConvert + " --report " + Quote(single) + " " + arguments);
        std::vector<std::string> reports;
        std::string command;
        for (int k = 1; k <= 4; ++k) {
            reports.push_back(scratch.Path("shard-" + std::to_string(k) + ".jsonl"));
            command += kConvert + " --shard " + std::to_string(k) + "/4 --report " +
                       Quote(reports.back()) + " " + arguments + " & ";
        }
        if (c.ThroughParallel) {
            command = "parallel --will-cite -j4 " + kConvert + " --shard {}/4 --report " +
                      Quote(scratch.Path("shard-")) + "{}.jsonl " + arguments + " ::: 1 2 3 4";
        } else {
            command += "wait";
        }
        Shell(scratch, four.Root(), command);
        EXPECT_EQ(FilesBelow(one.Root()), FilesBelow(four.Root()));
        const TRun whole = ReadReports(scratch, one.Root(), {single});
        const TRun sharded = ReadReports(scratch, four.Root(), reports);
        ASSERT_EQ(whole.Status, 0) << whole.Err;
        ASSERT_EQ(sharded.Status, 0) << sharded.Err;
        EXPECT_EQ(whole.Out, sharded.Out);
        EXPECT_GT(std::count(whole.Out.begin(), whole.Out.end(), '\n'), 10) << whole.Out;
    }
}

TEST(BatchTest, FileListsTakeAnyNameAndFollowTheArguments)
{
    TTempDir dir;
    TTempDir scratch;
    for (const char* name : {"first.bmp", "sp ace.bmp", "new\nline.bmp", "bad\xff.bmp",
                             "dir/in.bmp", "dir/sub/deep.bmp"}) {
        WriteTestBmp(dir.Path(name), 2, 2, 0x445566);
    }
    WriteFileBytes(dir.Path("list"), {});
    const std::string nul(1, '\0');
    const struct
    {
        const char* Name;
        std::string Options;
        std::string List;     // in the file "list", or on standard input with "-"
        std::string Expected; // what --list prints
    } cases[] = {
        {"lines from a file", "--files-from list", "sp ace.bmp\nbad\xff.bmp\ndir\n",
         "first.bmp\nsp ace.bmp\nbad\xff.bmp\ndir/in.bmp\ndir/sub/deep.bmp\n"},
        {"NUL-terminated from standard input", "-0 --files-from -",
         "new\nline.bmp" + nul + "dir/sub" + nul + "sp ace.bmp" + nul,
         "first.bmp" + nul + "new\nline.bmp" + nul + "dir/sub/deep.bmp" + nul + "sp ace.bmp" + nul},
        {"empty entries and a last one without its end", "--null --files-from list",
         nul + nul + "bad\xff.bmp", "first.bmp" + nul + "bad\xff.bmp" + nul},
        {"empty lines", "--files-from -", "\n\ndir/in.bmp\n\n", "first.bmp\ndir/in.bmp\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteFileBytes(dir.Path("list"), std::vector<uint8_t>(c.List.begin(), c.List.end()));
        const TRun run =
            Shell(scratch, dir.Root(), kConvert + " --list first.bmp " + c.Options, c.List);
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Out, c.Expected);
    }
    const TRun plan = Shell(scratch, dir.Root(),
                            kConvert + " --dry-run -0 --files-from - first.bmp", "dir/in.bmp");
    EXPECT_EQ(plan.Out, "first.bmp -> first.png" + nul + "dir/in.bmp -> dir/in.png" + nul);
    // A list that cannot be read, or a report that cannot be written, fails before anything
    // is done.
    const TRun missing = Shell(scratch, dir.Root(), kConvert + " --files-from nowhere first.bmp");
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err, "kapto-convert: cannot read nowhere: No such file or directory\n");
    const TRun unwritable = Shell(scratch, dir.Root(), kConvert + " --report no/r first.bmp");
    EXPECT_EQ(unwritable.Status, 1);
    EXPECT_EQ(unwritable.Err, "kapto-convert: cannot write no/r: No such file or directory\n");
    EXPECT_FALSE(FileExists(dir.Path("first.png")));
    // A report that fills the disk fails the run, with the reason.
    const TRun full = Shell(scratch, dir.Root(), kConvert + " -q --report /dev/full first.bmp");
    EXPECT_EQ(full.Status, 1);
    EXPECT_EQ(full.Err, "kapto-convert: cannot write /dev/full: No space left on device\n");
}

TEST(BatchTest, BaseKeepsEveryPathBelowIt)
{
    const struct
    {
        const char* Name;
        std::string Arguments;
        std::string List;
        int Status;
        std::string Err;
        std::vector<std::string> Written; // below web
    } cases[] = {
        {"a folder", "photos", "", 0, "", {"2024/a.png", "2024/trip/b.png"}},
        {"a file", "photos/2024/trip/b.bmp", "", 0, "", {"2024/trip/b.png"}},
        {"another spelling", "./photos//2024/../2024/a.bmp", "", 0, "", {"2024/a.png"}},
        {"a file list", "--files-from -", "photos/2024/trip\n", 0, "", {"2024/trip/b.png"}},
        {"a file outside",
         "photos/2024/a.bmp other/c.bmp",
         "",
         2,
         "kapto-convert: --base: other/c.bmp is not under photos\n",
         {}},
        {"a list entry outside",
         "--files-from -",
         "other/c.bmp\n",
         2,
         "kapto-convert: --base: other/c.bmp is not under photos\n",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        TTempDir scratch;
        for (const char* name : {"photos/2024/a.bmp", "photos/2024/trip/b.bmp", "other/c.bmp"}) {
            WriteTestBmp(dir.Path(name), 2, 2, 0x445566);
        }
        const TRun run = Shell(scratch, dir.Root(),
                               kConvert + " -q --base photos --out-dir web " + c.Arguments, c.List);
        EXPECT_EQ(run.Status, c.Status) << run.Err;
        EXPECT_EQ(run.Err, c.Err);
        std::vector<std::string> written;
        if (std::filesystem::exists(dir.Path("web"))) {
            for (const auto& file : FilesBelow(dir.Path("web"))) {
                written.push_back(file.first);
            }
        }
        EXPECT_EQ(written, c.Written);
    }
}

TEST(BatchTest, ReportStaysJsonWhenASignalStopsTheRun)
{
    TTempDir dir;
    TTempDir scratch;
    WriteTestBmp(dir.Path("a.bmp"), 8, 8, 0x336699);
    // Noise deflates slowly: the save of this picture lasts long enough to be interrupted.
    WriteNoiseBmp(dir.Path("b.bmp"), 1500, 1000, 1);
    const std::string report = scratch.Path("report.jsonl");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const std::string a = dir.Path("a.bmp");
    const std::string b = dir.Path("b.bmp");
    const char* argv[] = {KAPTO_CONVERT_EXE, "--jobs",  "1",       "--report",
                          report.c_str(),    a.c_str(), b.c_str(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, KAPTO_CONVERT_EXE, &actions, nullptr, const_cast<char**>(argv),
                          environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    // Once b's save is in flight, a's line is written.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool inFlight = false;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline && ::waitpid(child, &status, WNOHANG) == 0) {
        const std::vector<std::string> entries = dir.Entries();
        inFlight = std::any_of(entries.begin(), entries.end(), [](const std::string& name) {
            return name.rfind(".b.png.kapto-", 0) == 0;
        });
        if (inFlight) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(inFlight) << "no save of b.png was seen in flight";
    ::kill(child, SIGINT);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const TRun read = ReadReports(scratch, dir.Root(), {report});
    ASSERT_EQ(read.Status, 0) << read.Err;
    EXPECT_EQ(read.Out,
              "{\"bytes\": " + std::to_string(ReadFileBytes(dir.Path("a.png")).size()) +
                  ", \"height\": 8, \"message\": null, \"output\": \"b'" + dir.Path("a.png") +
                  "'\", \"result\": \"converted\", \"size_matches\": true, \"source\": \"b'" + a +
                  "'\", \"warning\": null, \"width\": 8}\n"
                  "{\"bytes\": " +
                  std::to_string(ReadFileBytes(dir.Path("a.png")).size()) +
                  ", \"converted\": 1, \"failed\": 0, \"signal\": 2, \"skipped\": 0}\n");
}

TEST(BatchTest, ReportLinesNameEveryOutcome)
{
    TTempDir dir;
    TTempDir scratch;
    WriteTestBmp(dir.Path("bad\xff name.bmp"), 3, 2, 0x445566);
    WriteTestBmp(dir.Path("kept.bmp"), 3, 2, 0x445566);
    WriteFileBytes(dir.Path("kept.png"), {'o', 'l', 'd'});
    WriteFileBytes(dir.Path("broken.bmp"), {'B', 'M'});
    const TRun run = Shell(scratch, dir.Root(),
                           kConvert + " --keep-going --on-exists skip --report - -0 "
                                      "--files-from - kept.bmp broken.bmp",
                           std::string("bad\xff name.bmp", 13) + '\0');
    EXPECT_EQ(run.Status, 1);
    WriteFileBytes(scratch.Path("report"), std::vector<uint8_t>(run.Out.begin(), run.Out.end()));
    const TRun read = ReadReports(scratch, dir.Root(), {scratch.Path("report")});
    ASSERT_EQ(read.Status, 0) << read.Err;
    const std::string bytes = std::to_string(ReadFileBytes(dir.Path("bad\xff name.png")).size());
    // Sorted as text: "bytes": 0 first.
    EXPECT_EQ(read.Out,
              "{\"bytes\": 0, \"height\": 0, \"message\": \"ストリームからの読み込みエラー\", "
              "\"output\": null, \"result\": \"failed\", \"size_matches\": true, \"source\": "
              "\"b'broken.bmp'\", \"warning\": null, \"width\": 0}\n"
              "{\"bytes\": 0, \"height\": 2, \"message\": null, \"output\": null, \"result\": "
              "\"skipped\", \"size_matches\": true, \"source\": \"b'kept.bmp'\", \"warning\": "
              "null, \"width\": 3}\n"
              "{\"bytes\": " +
                  bytes +
                  ", \"height\": 2, \"message\": null, \"output\": \"b'bad\\\\xff name.png'\", "
                  "\"result\": \"converted\", \"size_matches\": true, \"source\": \"b'bad\\\\xff "
                  "name.bmp'\", \"warning\": null, \"width\": 3}\n"
                  "{\"bytes\": " +
                  bytes + ", \"converted\": 1, \"failed\": 1, \"signal\": null, \"skipped\": 1}\n");
}

TEST(BatchTest, ShardsPartitionTheSourcesByTheNamesTheyMayWrite)
{
    // Groups of sources whose outputs or numbered names may meet: each group must fall in
    // one shard, whatever the hash does with the others.
    TTempDir dir;
    TTempDir scratch;
    std::map<std::string, std::string> groupOf; // source -> group
    std::string arguments;
    for (int n = 0; n < 40; ++n) {
        const std::string stem = "p" + std::to_string(n);
        for (const std::string& folder : {std::string("x"), std::string("y")}) {
            for (const std::string& name :
                 {stem + ".bmp", stem + ".jpg", stem + "-01.bmp", stem + "-07-99.gif"}) {
                const std::string source = folder + "/" + name;
                WriteFileBytes(dir.Path(source), {0});
                groupOf[source] = folder + "/" + stem;
                groupOf["./" + folder + "//" + name] = groupOf[source];
                arguments += " " + source + " ./" + folder + "//" + name;
            }
        }
    }
    const struct
    {
        const char* Name;
        std::string Options;
        bool FoldersMeet; // x/p1.bmp and y/p1.bmp write the same name
    } cases[] = {
        {"beside the sources", "", false},
        {"flattened into one folder", "--out-dir flat", true},
        {"below a base", "--out-dir web --base .", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::map<std::string, std::set<int>> shardsOf; // group -> shards it fell in
        size_t listed = 0;
        for (int k = 1; k <= 4; ++k) {
            const TRun run = Shell(scratch, dir.Root(),
                                   kConvert + " --list -0 --shard " + std::to_string(k) + "/4 " +
                                       c.Options + arguments);
            ASSERT_EQ(run.Status, 0) << run.Err;
            for (size_t start = 0; start < run.Out.size();) {
                const size_t end = run.Out.find('\0', start);
                const std::string source = run.Out.substr(start, end - start);
                std::string group = groupOf.at(source);
                shardsOf[c.FoldersMeet ? group.substr(2) : group].insert(k);
                ++listed;
                start = end + 1;
            }
        }
        EXPECT_EQ(listed, groupOf.size());
        std::set<int> used;
        for (const auto& entry : shardsOf) {
            EXPECT_EQ(entry.second.size(), 1u) << entry.first;
            used.insert(entry.second.begin(), entry.second.end());
        }
        EXPECT_EQ(used.size(), 4u);
    }
}
