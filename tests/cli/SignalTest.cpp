// kapto-convert stopped by a signal while it writes a large picture: the finished outputs
// stay, the temporary file goes, the summary of what was done is printed. And kapto-convert
// under system limits: a file-size limit fails the file it stops, with its message; a
// process limit leaves fewer threads, never a failed file.

#include "png/PNGOracle.h"
#include "support/Images.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

struct TLimitedRun
{
    int Status = -1; // the exit status, or -1 when the process did not exit
    std::string Out;
    std::string Err;
};

// kapto-convert in a child under one resource limit, as the user of that id (-1: as it is).
TLimitedRun RunLimited(const TTempDir& dir, std::vector<std::string> arguments, int resource,
                       rlim_t limit, uid_t user = uid_t(-1))
{
    const std::string out = dir.Path("out.txt");
    const std::string err = dir.Path("err.txt");
    arguments.insert(arguments.begin(), KAPTO_CONVERT_EXE);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    // The leak check at the end of a sanitized process starts a thread of its own, which a
    // process limit refuses.
    std::vector<std::string> environment;
    std::string sanitizerOptions = "ASAN_OPTIONS=detect_leaks=0";
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("ASAN_OPTIONS=", 0) == 0) {
            sanitizerOptions = text + ":detect_leaks=0";
        } else {
            environment.push_back(text);
        }
    }
    environment.push_back(sanitizerOptions);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int inFd = ::open("/dev/null", O_RDONLY);
        const rlimit value = {limit, limit};
        if (outFd < 0 || errFd < 0 || inFd < 0 || ::dup2(outFd, STDOUT_FILENO) < 0 ||
            ::dup2(errFd, STDERR_FILENO) < 0 || ::dup2(inFd, STDIN_FILENO) < 0 ||
            ::setrlimit(resource, &value) != 0 ||
            (user != uid_t(-1) && (::setgid(user) != 0 || ::setuid(user) != 0))) {
            std::_Exit(99);
        }
        ::execve(KAPTO_CONVERT_EXE, argv.data(), envp.data());
        std::_Exit(98);
    }
    TLimitedRun run;
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        run.Status = WEXITSTATUS(status);
    }
    run.Out = ReadFileText(out);
    run.Err = ReadFileText(err);
    ::unlink(out.c_str());
    ::unlink(err.c_str());
    return run;
}

} // namespace

TEST(SignalTest, SignalDuringASaveRemovesItsTemporaryFile)
{
    TTempDir sources;
    WriteTestBmp(sources.Path("a.bmp"), 8, 8, 0x336699);
    // Noise deflates slowly: the save of this picture lasts long enough to be interrupted.
    WriteNoiseBmp(sources.Path("b.bmp"), 1500, 1000, 1);
    const struct
    {
        int Signal;
        int Status;
    } cases[] = {{SIGINT, 130},  {SIGTERM, 143}, {SIGHUP, 129},  {SIGQUIT, 131},
                 {SIGUSR1, 138}, {SIGUSR2, 140}, {SIGALRM, 142}, {SIGPIPE, 141}};
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

TEST(LimitTest, AFileOverTheSizeLimitFailsWithItsMessage)
{
    TTempDir dir;
    const std::string a = WriteTestBmp(dir.Path("a.bmp"), 8, 8, 0x336699);
    // Noise: its PNG is far above the 64 KiB limit; the small one is far below.
    const std::string b = WriteNoiseBmp(dir.Path("b.bmp"), 200, 200, 7);
    const TLimitedRun run =
        RunLimited(dir, {"--keep-going", "--jobs", "1", a, b}, RLIMIT_FSIZE, 64 * 1024);
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_EQ(run.Out, "1 converted, 0 skipped, 1 failed\n");
    EXPECT_EQ(run.Err, b + ": ストリームへの書き込みエラー (File too large)\n" + b + "\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.bmp", "a.png", "b.bmp"}));
}

TEST(LimitTest, ThreadsThatCannotStartLeaveTheirWorkToOthers)
{
    // The process limit binds only a user without the right to exceed it: root runs the
    // conversions as nobody.
    const uid_t user = ::geteuid() == 0 ? 65534 : uid_t(-1);
    if (user == uid_t(-1)) {
        GTEST_SKIP() << "the limit counts every process of this user; the test drops from root";
    }
    TTempDir dir;
    ::chmod(dir.Root().c_str(), 0777);
    uint32_t seed = 3;
    // Two segments of zlib's parallel deflate, five of the fast profile.
    for (const char* name : {"p0.bmp", "p1.bmp"}) {
        WriteTestBmp(dir.Path(name), 640, 600, [&seed](int x, int) {
            seed = seed * 1103515245 + 12345;
            return kapto::TColor(x % 7 == 0 ? seed >> 8 & 0xFFFFFF : 0x204060);
        });
    }
    const std::string p0 = dir.Path("p0.bmp");
    const std::string p1 = dir.Path("p1.bmp");
    // Limits: 1, no thread at all; 2, the signal thread alone; 3, one worker beside it, which
    // only the long-lived file workers reach every time.
    const struct
    {
        const char* Name;
        std::vector<std::string> Options;
        std::vector<rlim_t> Limits;
    } modes[] = {{"files side by side", {"--jobs", "2"}, {1, 2, 3}},
                 {"fast deflate", {"--fast", "--deflate-threads", "8"}, {1, 2}},
                 {"zlib deflate", {"--jobs", "1", "--deflate-threads", "8"}, {1, 2}}};
    for (const auto& mode : modes) {
        std::vector<std::string> arguments = mode.Options;
        arguments.insert(arguments.end(), {"--keep-going", "--on-exists", "overwrite", p0, p1});
        // The bytes without a limit, to compare with.
        rlimit current{};
        ::getrlimit(RLIMIT_NPROC, &current);
        const TLimitedRun free = RunLimited(dir, arguments, RLIMIT_NPROC, current.rlim_cur, user);
        ASSERT_EQ(free.Status, 0) << free.Err;
        const std::vector<uint8_t> expected0 = ReadFileBytes(dir.Path("p0.png"));
        const std::vector<uint8_t> expected1 = ReadFileBytes(dir.Path("p1.png"));
        for (const rlim_t limit : mode.Limits) {
            SCOPED_TRACE(std::string(mode.Name) + ", limit " + std::to_string(limit));
            const TLimitedRun run = RunLimited(dir, arguments, RLIMIT_NPROC, limit, user);
            EXPECT_EQ(run.Status, 0) << run.Err;
            EXPECT_EQ(run.Out, "2 converted, 0 skipped, 0 failed\n");
            EXPECT_EQ(run.Err.rfind("kapto-convert: これ以上スレッドを開始できません。", 0), 0u)
                << run.Err;
            EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
            EXPECT_EQ(ReadFileBytes(dir.Path("p0.png")), expected0);
            EXPECT_EQ(ReadFileBytes(dir.Path("p1.png")), expected1);
            EXPECT_EQ(dir.Entries().size(), 4u);
        }
    }
}

TEST(LimitTest, WhatAScanCannotReadIsReportedNotLeftOut)
{
    // Root reads every folder: the scan runs as nobody then.
    const uid_t user = ::geteuid() == 0 ? 65534 : uid_t(-1);
    TTempDir dir;
    ::chmod(dir.Root().c_str(), 0777);
    const std::string photos = dir.Path("photos");
    ::mkdir(photos.c_str(), 0777);
    ::chmod(photos.c_str(), 0777);
    WriteTestBmp(photos + "/a.bmp", 4, 3, 0x336699);
    const std::string closed = photos + "/closed";
    ::mkdir(closed.c_str(), 0777);
    WriteTestBmp(closed + "/b.bmp", 4, 3, 0x336699);
    ::chmod(closed.c_str(), 0);
    const std::string loop = photos + "/loop.bmp";
    ASSERT_EQ(::symlink("loop.bmp", loop.c_str()), 0);
    const std::string reasons = closed + ": Cannot open file " + closed + " (Permission denied)\n" +
                                loop + ": Cannot open file " + loop +
                                " (Too many levels of symbolic links)\n";
    ::setenv("KAPTO_LANG", "en", 1);
    const TLimitedRun stopped = RunLimited(dir, {photos}, RLIMIT_CORE, 0, user);
    const TLimitedRun kept = RunLimited(dir, {"--keep-going", photos}, RLIMIT_CORE, 0, user);
    ::unsetenv("KAPTO_LANG");
    ::chmod(closed.c_str(), 0700);
    EXPECT_EQ(stopped.Status, 1);
    EXPECT_EQ(stopped.Err, reasons);
    EXPECT_EQ(kept.Status, 1);
    EXPECT_EQ(kept.Out, "1 converted, 0 skipped, 2 failed\n");
    EXPECT_EQ(kept.Err, reasons + closed + "\n" + loop + "\n");
    EXPECT_TRUE(FileExists(photos + "/a.png"));
}

TEST(LimitTest, AFailedSystemCallGivesItsReason)
{
    // Root may write anywhere: the runs are made as nobody then.
    const uid_t user = ::geteuid() == 0 ? 65534 : uid_t(-1);
    TTempDir dir;
    ::chmod(dir.Root().c_str(), 0777);
    const std::string source = WriteTestBmp(dir.Path("a.bmp"), 4, 3, 0x336699);
    const std::string closed = dir.Path("closed");
    ::mkdir(closed.c_str(), 0755);
    const std::string inClosed = WriteTestBmp(closed + "/a.bmp", 4, 3, 0x336699);
    ::chmod(closed.c_str(), 0555);
    const std::string file = dir.Path("file");
    WriteFileBytes(file, {'x'});
    const std::string longBase(251, 'x');
    const std::string longName = dir.Path(longBase);
    WriteTestBmp(longName + ".bmp", 4, 3, 0x336699);
    WriteTestBmp(longName + ".png", 4, 3, 0x336699);
    const struct
    {
        std::vector<std::string> Arguments;
        std::string Expected;
    } cases[] = {
        {{inClosed}, inClosed + ": Cannot create file " + closed + "/a.png (Permission denied)"},
        {{"--out-dir", file, source},
         source + ": Cannot create file " + file + "/a.png (Not a directory)"},
        {{"--on-exists", "rename", longName + ".bmp"},
         longName + ".bmp: Cannot create file " + longName + "-01.png (File name too long)"},
        {{dir.Path("missing/a.bmp")},
         dir.Path("missing/a.bmp") + ": Cannot open file " + dir.Path("missing/a.bmp") +
             " (No such file or directory)"},
    };
    ::setenv("KAPTO_LANG", "en", 1);
    for (const auto& c : cases) {
        const TLimitedRun run = RunLimited(dir, c.Arguments, RLIMIT_CORE, 0, user);
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Err, c.Expected + "\n");
    }
    // Out of descriptors: the first limit that lets the program start fails a file. The
    // sanitizers need descriptors of their own for their checks, and report false faults
    // without them.
#if !defined(__SANITIZE_ADDRESS__)
    std::string outOfFiles;
    for (rlim_t limit = 4; limit < 64 && outOfFiles.empty(); ++limit) {
        const TLimitedRun run =
            RunLimited(dir, {"--on-exists", "overwrite", source}, RLIMIT_NOFILE, limit);
        if (run.Err.find("Too many open files") != std::string::npos) {
            outOfFiles = run.Err;
        }
    }
    EXPECT_EQ(outOfFiles.rfind(source + ": Cannot ", 0), 0u) << outOfFiles;
    EXPECT_NE(outOfFiles.find(" (Too many open files)\n"), std::string::npos) << outOfFiles;
#endif

    // A full disk: a file system of 64 KiB, mounted where a user may mount one, in a
    // namespace of its own.
    if (std::system("unshare -Urm true 2>/dev/null") != 0) {
        ::unsetenv("KAPTO_LANG");
        GTEST_SKIP() << "no namespace to mount a small file system in";
    }
    const std::string noise = WriteNoiseBmp(dir.Path("noise.bmp"), 200, 200, 5);
    const std::string full = dir.Path("full");
    ::mkdir(full.c_str(), 0755);
    const std::string err = dir.Path("err.txt");
    const int status = std::system(
        ("unshare -Urm sh -c 'mount -t tmpfs -o size=64k none \"$0\" && exec \"$1\" -q "
         "--out-dir \"$0\" \"$2\"' " +
         Quote(full) + " " + Quote(KAPTO_CONVERT_EXE) + " " + Quote(noise) + " 2>" + Quote(err))
            .c_str());
    ::unsetenv("KAPTO_LANG");
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadFileText(err), noise + ": Stream write error (No space left on device)\n");
    // Nothing was written anywhere.
    EXPECT_EQ(dir.Entries(),
              (std::vector<std::string>{"a.bmp", "closed", "err.txt", "file", "full", "noise.bmp",
                                        longBase + ".bmp", longBase + ".png"}));
}
