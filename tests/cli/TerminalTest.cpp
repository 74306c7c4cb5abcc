// What kapto-convert shows a person: names that cannot drive the terminal, and the overwrite
// question on the controlling terminal, driven through a pseudo-terminal.

#include "cli/Terminal.h"
#include "support/Images.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace kapto;

TEST(TerminalTest, NamesAndMessagesCannotDriveTheTerminal)
{
    const struct
    {
        std::string raw, quoted, printable;
    } cases[] = {
        {"photos/a.jpg", "photos/a.jpg", "photos/a.jpg"},
        {"写真/猫.jpg", "写真/猫.jpg", "写真/猫.jpg"},
        {"\033[2Ja.jpg", "$'\\e[2Ja.jpg'", "?[2Ja.jpg"},
        {"two\nlines.jpg", "$'two\\nlines.jpg'", "two lines.jpg"},
        {"data.\r\n(IHDR)", "$'data.\\r\\n(IHDR)'", "data. (IHDR)"},
        {"it's\t\x01.jpg", "$'it\\'s\\t\\x01.jpg'", "it's??.jpg"},
        {"bad\xff\xc3.jpg", "$'bad\\xff\\xc3.jpg'", "bad??.jpg"},
        {"c1\xc2\x9b.jpg", "$'c1\\xc2\\x9b.jpg'", "c1?.jpg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QuotedName(c.raw), c.quoted);
        EXPECT_EQ(PrintableText(c.raw), c.printable);
    }
    // Cut at a character boundary, never inside one.
    EXPECT_EQ(TextTail("ab写真猫", 9), "...真猫");
    EXPECT_EQ(TextTail("ab写真猫", 8), "...猫");
    EXPECT_EQ(TextTail("abc", 9), "abc");
}

namespace {

struct TTerminalRun
{
    int Status = -1;
    std::string Screen; // everything the terminal showed
    std::string Err;    // standard error, when it went to a file
};

// kapto-convert on a new pseudo-terminal, the keys typed at once; with errToFile its standard
// error goes to a file instead. Without a terminal (keys through standard input, as a script
// gives them) when onTerminal is false.
TTerminalRun RunOnTerminal(const std::vector<std::string>& arguments, const std::string& keys,
                           const std::string& errToFile, bool onTerminal)
{
    if (!onTerminal) {
        std::string command = "KAPTO_LANG=en setsid -w " + std::string(KAPTO_CONVERT_EXE);
        for (const std::string& a : arguments) {
            command += " " + Quote(a);
        }
        std::ofstream(errToFile + ".in") << keys;
        command += " <" + Quote(errToFile + ".in") + " 2>" + Quote(errToFile);
        const int raw = std::system(command.c_str());
        TTerminalRun run;
        run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream in(errToFile);
        std::stringstream text;
        text << in.rdbuf();
        run.Err = text.str();
        run.Screen = run.Err;
        return run;
    }
    std::vector<std::string> args = {KAPTO_CONVERT_EXE};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        if (!errToFile.empty()) {
            const int fd = ::open(errToFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, STDERR_FILENO);
        }
        ::setenv("KAPTO_LANG", "en", 1);
        ::execv(KAPTO_CONVERT_EXE, argv.data());
        ::_exit(127);
    }
    TTerminalRun run;
    if (child < 0) {
        return run;
    }
    // Canonical mode hands the program one line per read, so every key can go at once.
    if (::write(master, keys.data(), keys.size()) != ssize_t(keys.size())) {
        ADD_FAILURE() << "keys not written";
    }
    char buffer[4096];
    for (;;) {
        // A program still waiting after 20 s waits for good: the case fails, nothing hangs.
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 20000) <= 0) {
            ::kill(child, SIGKILL);
            ADD_FAILURE() << "still waiting: " << run.Screen;
            break;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            break; // EIO once the program has ended
        }
        run.Screen.append(buffer, size_t(n));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (!errToFile.empty()) {
        std::ifstream in(errToFile);
        std::stringstream text;
        text << in.rdbuf();
        run.Err = text.str();
    }
    return run;
}

} // namespace

TEST(TerminalTest, TheQuestionIsAskedOnTheTerminal)
{
    const std::string gaveUp = "the overwrite question went unanswered";
    const struct
    {
        const char* name;
        std::string keys;
        bool renamed;   // a-01.bmp written
        bool givesUp;   // stops asking: b.bmp's output is skipped without a question
        bool errToFile; // standard error goes to a file, the question still to the terminal
        bool onTerminal;
    } cases[] = {
        {"answers ending in CR LF from a script", "r\r\ny\r\n", true, false, true, false},
        {"three answers that mean nothing", "x\nyes\n\n", false, true, false, true},
        {"end of input", "\x04", false, true, false, true},
        {"end of a script's input", "", false, true, true, false},
        {"standard error in a file", "r\ny\n", true, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTempDir dir;
        const std::string a = WriteTestBmp(dir.Path("a.bmp"), 4, 3, 0x336699);
        const std::string b = WriteTestBmp(dir.Path("b.bmp"), 4, 3, 0x336699);
        // Both outputs exist already: b's question comes only if the first did not settle it.
        for (const std::string& name : {dir.Path("a.png"), dir.Path("b.png")}) {
            std::ofstream(name) << "old";
        }
        const TTerminalRun run =
            RunOnTerminal({"--on-exists", "ask", a, b}, c.keys,
                          c.errToFile ? dir.Path("err.txt") : "", c.onTerminal);
        EXPECT_EQ(run.Status, 0) << run.Screen;
        EXPECT_NE(run.Screen.find("Confirm overwrite: " + dir.Path("a.png")), std::string::npos)
            << run.Screen;
        EXPECT_EQ(FileExists(dir.Path("a-01.png")), c.renamed);
        EXPECT_EQ(FileExists(dir.Path("b-01.png")), c.renamed);
        EXPECT_EQ(run.Screen.find("Confirm overwrite: " + dir.Path("b.png")), std::string::npos);
        const std::string& err = c.errToFile ? run.Err : run.Screen;
        EXPECT_EQ(err.find(gaveUp) != std::string::npos, c.givesUp) << err;
        if (c.errToFile && c.onTerminal) {
            EXPECT_EQ(run.Err.find("Confirm overwrite"), std::string::npos);
        }
    }
}
