// kapto-convert on sources that hold no picture or too large a one: each fails with its own
// message, in both output formats, and an existing output stays as it was.

#include "support/GIFTestWriter.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct TRun
{
    int Status = -1;
    std::string Err;
};

TRun RunConvert(const TTempDir& scratch, const std::string& language, const std::string& args)
{
    const std::string err = scratch.Path("err");
    const std::string command = "KAPTO_LANG=" + language + " " + KAPTO_CONVERT_EXE + " " + args +
                                " </dev/null >/dev/null 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    std::ifstream in(err);
    std::stringstream text;
    text << in.rdbuf();
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text.str()};
}

} // namespace

TEST(UnusableSourceTest, AGifWithoutAPictureWritesNothing)
{
    using giftest::TGIFBuilder;
    const struct
    {
        const char* name;
        giftest::TBytes file;
    } cases[] = {
        {"no frame", TGIFBuilder().Header(4, 3).Trailer().Bytes()},
        {"screen width 0",
         TGIFBuilder().Header(0, 3).Image(0, 0, 2, 2, {0, 1, 1, 0}).Trailer().Bytes()},
        {"screen height 0",
         TGIFBuilder().Header(3, 0).Image(0, 0, 2, 2, {0, 1, 1, 0}).Trailer().Bytes()},
    };
    TTempDir dir;
    TTempDir scratch;
    const std::string source = dir.Path("empty.gif");
    for (const auto& c : cases) {
        WriteFileBytes(source, c.file);
        for (const char* format : {"png", "bmp"}) {
            SCOPED_TRACE(std::string(c.name) + " to " + format);
            const std::string output = dir.Path(std::string("empty.") + format);
            const std::vector<uint8_t> good = {'k', 'e', 'e', 'p'};
            WriteFileBytes(output, good);
            for (const char* language : {"ja", "en"}) {
                const TRun run = RunConvert(scratch, language,
                                            std::string("--on-exists overwrite --to ") + format +
                                                " '" + source + "'");
                EXPECT_EQ(run.Status, 1);
                EXPECT_EQ(run.Err,
                          source + ": " +
                              (language == std::string("ja") ? "画像がありません"
                                                             : "The file holds no picture") +
                              "\n");
                EXPECT_EQ(ReadFileBytes(output), good);
            }
        }
    }
}
