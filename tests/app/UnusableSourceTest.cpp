// kapto-convert on sources that hold no picture or too large a one: each fails with its own
// message, in both output formats, and an existing output stays as it was; a large picture
// that fits --max-memory converts.

#include "png/PNGTestFile.h"
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

TEST(UnusableSourceTest, APictureBeyondMaxMemorySaysSo)
{
    TTempDir dir;
    TTempDir scratch;
    // 30000 x 30000 RGB needs 2575 MiB; only the header is read before the refusal.
    const std::string huge = dir.Path("huge.png");
    WriteFileBytes(huge, SimplePng(IhdrData(30000, 30000, 8, 2), {TBytes(90001)}));
    for (const char* format : {"png", "bmp"}) {
        const std::string output = scratch.Path(std::string("huge.") + format);
        WriteFileBytes(output, {'k', 'e', 'e', 'p'});
        const std::string args = std::string("--max-memory 1G --on-exists overwrite --to ") +
                                 format + " --out-dir '" + scratch.Path("") + "' '" + huge + "'";
        TRun run = RunConvert(scratch, "ja", args);
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Err, huge + ": 30000 × 30000 の画像には 2575 MiB が必要です (上限 1024 MiB、"
                                  "--max-memory)\n");
        run = RunConvert(scratch, "en", args);
        EXPECT_EQ(run.Err, huge + ": A 30000 × 30000 picture needs 2575 MiB (the limit is 1024 "
                                  "MiB, see --max-memory)\n");
        EXPECT_EQ(ReadFileBytes(output), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    }
    // 10000 x 10000 gray converts under 1G (to BMP, which takes the least time); under the
    // address sanitizer, which makes that take minutes, 2500 x 2500.
#ifdef KAPTO_ADDRESS_SANITIZER
    const uint32_t side = 2500;
#else
    const uint32_t side = 10000;
#endif
    const std::string large = dir.Path("large.png");
    WriteFileBytes(large, SimplePng(IhdrData(side, side, 8, 0),
                                    std::vector<TBytes>(side, TBytes(side, 0x80))));
    const TRun run = RunConvert(scratch, "en",
                                "--max-memory 1G --to bmp --out-dir '" + scratch.Path("out") +
                                    "' '" + large + "'");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(ReadFileBytes(scratch.Path("out/large.bmp")).size(), 54u + 3u * side * side);
}
