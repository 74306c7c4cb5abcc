// kapto-convert stopped by a signal while it writes a large picture: the finished outputs
// stay, the temporary file goes, the summary of what was done is printed.

#include "png/PNGOracle.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

extern char** environ;

namespace {

// Whether the save of b.png is in flight: its temporary file is there.
bool SavingB(const TTempDir& dir)
{
    for (const std::string& name : dir.Entries()) {
        if (name.rfind(".b.png.kapto-", 0) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(SignalTest, SignalDuringASaveRemovesItsTemporaryFile)
{
    TTempDir sources;
    WriteTestBmp(sources.Path("a.bmp"), 8, 8, 0x336699);
    // Noise deflates slowly: the save of this picture lasts long enough to be interrupted.
    uint32_t seed = 1;
    WriteTestBmp(sources.Path("b.bmp"), 3000, 2000, [&seed](int, int) {
        seed = seed * 1103515245 + 12345;
        return kapto::TColor(seed >> 8 & 0xFFFFFF);
    });
    const struct
    {
        int Signal;
        int Status;
    } cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Signal);
        TTempDir dir;
        for (const char* name : {"a.bmp", "b.bmp"}) {
            WriteFileBytes(dir.Path(name), ReadFileBytes(sources.Path(name)));
        }
        const std::string out = dir.Path("out.txt");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        const std::string a = dir.Path("a.bmp");
        const std::string b = dir.Path("b.bmp");
        const char* argv[] = {KAPTO_CONVERT_EXE, "--jobs", "1", a.c_str(), b.c_str(), nullptr};
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, KAPTO_CONVERT_EXE, &actions, nullptr,
                              const_cast<char**>(argv), environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        bool inFlight = false;
        int status = 0;
        while (!(inFlight = SavingB(dir)) && std::chrono::steady_clock::now() < deadline &&
               ::waitpid(child, &status, WNOHANG) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_TRUE(inFlight) << "no save of b.png was seen in flight";
        ::kill(child, c.Signal);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), c.Status);
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.bmp", "a.png", "b.bmp", "out.txt"}));
        EXPECT_EQ(DecodeWithLibpng(ReadFileBytes(dir.Path("a.png"))).Error, "");
        const std::vector<uint8_t> summary = ReadFileBytes(out);
        EXPECT_EQ(std::string(summary.begin(), summary.end()), "1 converted, 0 skipped\n");
    }
}
