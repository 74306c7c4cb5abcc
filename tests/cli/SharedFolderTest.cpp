// Several kapto-convert processes at once into one output folder, with every overwrite
// policy: whatever the interleaving, no decision but overwrite replaces a file, every picture
// a run counts as converted is there afterwards, and the summaries add up.

#include "app/LoadSource.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "runtime/Stream.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>

extern char** environ;

using namespace kapto;

namespace {

constexpr int kFiles = 8;

// The bytes a run writes for a source, made in this process.
std::vector<uint8_t> ConvertedBytes(const std::string& source)
{
    TBitmap bitmap;
    LoadSource(source, bitmap);
    TMemoryStream stream;
    EncodeConverted(TConversionOptions(), TTargetFormat::Png, bitmap, stream);
    return stream.Bytes();
}

struct TSummary
{
    int Converted = -1;
    int Skipped = -1;
};

TSummary ReadSummary(const std::string& fileName)
{
    const std::vector<uint8_t> bytes = ReadFileBytes(fileName);
    TSummary summary;
    std::sscanf(std::string(bytes.begin(), bytes.end()).c_str(), "%d converted, %d skipped",
                &summary.Converted, &summary.Skipped);
    return summary;
}

} // namespace

TEST(SharedFolderTest, RunsIntoOneFolderLoseNothing)
{
    const struct
    {
        const char* Name;
        std::vector<std::string> Policies; // one process each
        bool OutputsExist;                 // out/fK.png are there before the runs
    } cases[] = {
        {"rename x2", {"rename", "rename"}, true},
        {"rename x4", {"rename", "rename", "rename", "rename"}, true},
        {"skip x2", {"skip", "skip"}, false},
        {"skip x4", {"skip", "skip", "skip", "skip"}, false},
        {"overwrite x2", {"overwrite", "overwrite"}, false},
        {"overwrite x4", {"overwrite", "overwrite", "overwrite", "overwrite"}, true},
        {"rename and skip", {"rename", "skip", "rename", "skip"}, false},
    };
    const std::vector<uint8_t> marker = {'o', 'l', 'd'};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const size_t runs = c.Policies.size();
        // expected[k]: the bytes of file k of each run, by run.
        std::vector<std::map<std::vector<uint8_t>, size_t>> expected(kFiles);
        for (size_t p = 0; p < runs; ++p) {
            for (int k = 0; k < kFiles; ++k) {
                const std::string source = WriteTestBmp(
                    dir.Path("d" + std::to_string(p) + "/f" + std::to_string(k) + ".bmp"), 8, 8,
                    TColor(0x010101 * (16 * p + size_t(k) + 1)));
                expected[size_t(k)][ConvertedBytes(source)] = p;
            }
        }
        for (int k = 0; c.OutputsExist && k < kFiles; ++k) {
            WriteFileBytes(dir.Path("out/f" + std::to_string(k) + ".png"), marker);
        }
        std::vector<pid_t> children;
        for (size_t p = 0; p < runs; ++p) {
            const std::string out = dir.Path("summary" + std::to_string(p));
            const std::string source = dir.Path("d" + std::to_string(p));
            const std::string target = dir.Path("out");
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
            const char* argv[] = {KAPTO_CONVERT_EXE,
                                  "--on-exists",
                                  c.Policies[p].c_str(),
                                  "--out-dir",
                                  target.c_str(),
                                  source.c_str(),
                                  nullptr};
            pid_t child = 0;
            EXPECT_EQ(posix_spawn(&child, KAPTO_CONVERT_EXE, &actions, nullptr,
                                  const_cast<char**>(argv), environ),
                      0);
            posix_spawn_file_actions_destroy(&actions);
            children.push_back(child);
        }
        int converted = 0;
        for (size_t p = 0; p < runs; ++p) {
            int status = 0;
            ASSERT_EQ(::waitpid(children[p], &status, 0), children[p]);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            const TSummary summary = ReadSummary(dir.Path("summary" + std::to_string(p)));
            EXPECT_EQ(summary.Converted + summary.Skipped, kFiles) << p;
            if (c.Policies[p] != "skip") {
                EXPECT_EQ(summary.Skipped, 0) << p;
            }
            converted += summary.Converted;
        }
        // Every output is a picture of one run, at most one per run and name; none is left
        // half-written.
        std::vector<std::set<size_t>> found(kFiles);
        size_t outputs = 0;
        for (const std::string& name : dir.Entries("out")) {
            int k = -1;
            ASSERT_EQ(std::sscanf(name.c_str(), "f%d", &k), 1) << name;
            const std::vector<uint8_t> bytes = ReadFileBytes(dir.Path("out/" + name));
            if (bytes == marker) {
                EXPECT_EQ(name, "f" + std::to_string(k) + ".png");
                continue;
            }
            const auto run = expected[size_t(k)].find(bytes);
            ASSERT_NE(run, expected[size_t(k)].end()) << name;
            EXPECT_TRUE(found[size_t(k)].insert(run->second).second) << name;
            ++outputs;
        }
        const bool overwrites = c.Policies[0] == "overwrite";
        for (int k = 0; k < kFiles; ++k) {
            // The markers stay unless overwritten; one output per name when runs skip or
            // overwrite each other's, one per run and name when they rename.
            EXPECT_EQ(FileExists(dir.Path("out/f" + std::to_string(k) + ".png")), true);
            if (c.OutputsExist && !overwrites) {
                EXPECT_EQ(ReadFileBytes(dir.Path("out/f" + std::to_string(k) + ".png")), marker);
            }
        }
        if (overwrites) {
            EXPECT_EQ(outputs, size_t(kFiles));
            EXPECT_EQ(converted, int(runs) * kFiles);
            continue;
        }
        // Nothing was replaced: every file a run counts as converted is still there.
        EXPECT_EQ(int(outputs), converted);
        for (size_t p = 0; p < runs; ++p) {
            for (int k = 0; c.Policies[p] == "rename" && k < kFiles; ++k) {
                EXPECT_EQ(found[size_t(k)].count(p), 1u) << "run " << p << " file " << k;
            }
        }
        if (c.Policies[0] == "skip" && c.Policies[1] == "skip") {
            EXPECT_EQ(converted, kFiles);
        }
    }
}
