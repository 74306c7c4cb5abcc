// The pipelined run against the serial one on the same folders: the same questions in the
// same order, the same files with the same bytes, the same end.

#include "app/ConversionRun.h"
#include "runtime/Exceptions.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace kapto;

namespace {

// Answers from a script, recording the questions (by file name within the folder).
class TRecordingPrompt : public TOverwritePrompt
{
public:
    TRecordingPrompt(std::vector<TOverwriteAnswer> answers, std::string root)
        : m_answers(std::move(answers)), m_root(std::move(root))
    {}
    TOverwriteAnswer Ask(const std::string& outputName) override
    {
        Questions.push_back(outputName.substr(m_root.size()));
        if (m_next < m_answers.size()) {
            return m_answers[m_next++];
        }
        return {owOverwrite, false};
    }
    std::vector<std::string> Questions;

private:
    std::vector<TOverwriteAnswer> m_answers;
    std::string m_root;
    size_t m_next = 0;
};

class TNoProgress : public TRunProgress
{
public:
    explicit TNoProgress(bool keepGoing) : m_keepGoing(keepGoing) {}
    void SetMaximum(int) override {}
    void SetPosition(int position) override { Last = position; }
    TFailureAnswer FileFailed(int index, const std::string&, const TFailure&) override
    {
        Failed.push_back(index);
        return m_keepGoing ? TFailureAnswer::SkipFile : TFailureAnswer::Stop;
    }
    int Last = 0;
    std::vector<int> Failed;

private:
    bool m_keepGoing;
};

// How a scenario runs besides its number of jobs.
struct TMode
{
    bool KeepGoing = false;
    bool OutDir = false; // outputs under out/, the sources at their place below it
};

struct TOutcome
{
    std::vector<std::string> Questions;
    std::map<std::string, std::vector<uint8_t>> Files;
    int Converted = -1;
    int Skipped = -1;
    bool Aborted = false;
    std::string Error;
    int Position = 0;
    std::vector<int> Failed;
};

bool operator==(const TOutcome& a, const TOutcome& b)
{
    return a.Questions == b.Questions && a.Files == b.Files && a.Converted == b.Converted &&
           a.Skipped == b.Skipped && a.Aborted == b.Aborted && a.Error == b.Error &&
           a.Position == b.Position && a.Failed == b.Failed;
}

// A folder of sources of every kind, several of which collide on their output names.
void MakeSources(const std::string& root)
{
    const std::string data = TestDataPath("");
    WriteTestBmp(root + "/a.bmp", 31, 17, [](int x, int y) { return RGBColor(x * 8, y * 15, 3); });
    WriteFileBytes(root + "/a.jpg", ReadFileBytes(data + "jpeg/wuffs/peacock.default.jpeg"));
    WriteFileBytes(root + "/b.gif", ReadFileBytes(data + "gif/image-gif/sample_1.gif"));
    WriteTestBmp(root + "/c.bmp", 5, 5, 0x00FF00);
    WriteTestBmp(root + "/d.bmp", 7, 3, 0x0000FF);
    WriteFileBytes(root + "/c.png", {1, 2, 3});     // an old output
    WriteFileBytes(root + "/e.bmp", {'B', 'M', 0}); // broken
}

TOutcome RunIn(const std::vector<std::string>& names, const std::vector<TOverwriteAnswer>& answers,
               int jobs, TTargetFormat format = TTargetFormat::Png,
               const std::function<void(const std::string&)>& setUp = MakeSources, TMode mode = {})
{
    TTempDir dir;
    setUp(dir.Root());
    TRunSettings settings;
    settings.Jobs = jobs;
    std::vector<std::string> files;
    for (const std::string& name : names) {
        files.push_back(dir.Path(name));
        if (mode.OutDir) {
            settings.OutputPlaces.push_back(dir.Path("out/" + name));
        }
    }
    TRecordingPrompt prompt(answers, dir.Root() + "/");
    TNoProgress progress(mode.KeepGoing);
    TConversionOptions options;
    options.KeyTransparent = true;
    options.KeySource = TKeySource::TopLeft;
    options.UniformOpacity = true;
    options.OpacityPercent = 70;
    TOutcome outcome;
    try {
        const TRunSummary summary =
            RunConversion(files, format, options, prompt, progress, settings);
        outcome.Converted = summary.Converted;
        outcome.Skipped = summary.Skipped;
        outcome.Aborted = summary.Aborted;
    } catch (const Exception& e) {
        // Names in messages differ between the two folders; keep the file name only.
        outcome.Error = e.Message();
        const size_t at = outcome.Error.find(dir.Root());
        if (at != std::string::npos) {
            outcome.Error.erase(at, dir.Root().size());
        }
    }
    outcome.Questions = prompt.Questions;
    outcome.Position = progress.Last;
    outcome.Failed = progress.Failed;
    for (const std::string& folder : {std::string(""), std::string("out/")}) {
        if (folder.empty() || mode.OutDir) {
            for (const std::string& name : dir.Entries(folder)) {
                outcome.Files[folder + name] =
                    name == "out" ? std::vector<uint8_t>{} : ReadFileBytes(dir.Path(folder + name));
            }
        }
    }
    return outcome;
}

} // namespace

TEST(PipelineTest, SameQuestionsFilesAndBytesAsTheSerialRun)
{
    const std::vector<std::string> list = {"a.bmp", "a.jpg", "b.gif", "c.bmp", "d.bmp"};
    const struct
    {
        const char* name;
        std::vector<TOverwriteAnswer> answers;
    } scenarios[] = {
        {"overwrite each", {{owOverwrite, false}, {owOverwrite, false}}},
        {"rename all", {{owRename, true}}},
        {"skip all", {{owSkip, true}}},
        {"skip then overwrite", {{owSkip, false}, {owOverwrite, false}}},
        {"abort", {{owAbort, false}}},
    };
    for (const auto& s : scenarios) {
        const TOutcome serial = RunIn(list, s.answers, 1);
        for (int jobs : {2, 4}) {
            const TOutcome pipelined = RunIn(list, s.answers, jobs);
            EXPECT_TRUE(pipelined == serial) << s.name << " with " << jobs << " jobs";
        }
    }
    // The two sources of a.png really collide: the second is asked about.
    EXPECT_EQ(RunIn(list, {{owSkip, true}}, 2).Questions, std::vector<std::string>{"a.png"});
}

TEST(PipelineTest, KeepGoingAndOutDirRunAlikeToo)
{
    // Broken files at the start, the middle and the end, collisions and an old output.
    const std::vector<std::string> list = {"e.bmp", "a.bmp", "a.jpg", "e.bmp",
                                           "b.gif", "c.bmp", "d.bmp", "e.bmp"};
    const auto withOldOutput = [](const std::string& root) {
        MakeSources(root);
        WriteFileBytes(root + "/out/c.png", {4, 5});
    };
    const TMode modes[] = {{true, false}, {false, true}, {true, true}};
    for (const TMode& mode : modes) {
        for (const auto& answers : std::vector<std::vector<TOverwriteAnswer>>{
                 {{owRename, true}}, {{owSkip, false}, {owAbort, false}}}) {
            const TOutcome serial =
                RunIn(list, answers, 1, TTargetFormat::Png, withOldOutput, mode);
            EXPECT_EQ(serial.Failed.front(), 0);
            for (int jobs : {2, 4}) {
                EXPECT_TRUE(RunIn(list, answers, jobs, TTargetFormat::Png, withOldOutput, mode) ==
                            serial)
                    << mode.KeepGoing << mode.OutDir << " with " << jobs << " jobs";
            }
        }
    }
}

TEST(PipelineTest, AnErrorInTheMiddleEndsBothRunsAlike)
{
    const std::vector<std::string> list = {"a.bmp", "b.gif", "e.bmp", "c.bmp", "d.bmp"};
    const TOutcome serial = RunIn(list, {}, 1);
    EXPECT_EQ(serial.Error, "ストリームからの読み込みエラー");
    EXPECT_EQ(serial.Position, 2);
    EXPECT_TRUE(RunIn(list, {}, 3) == serial);
    // Nothing prepared after the error reaches the disk.
    EXPECT_EQ(RunIn(list, {}, 3).Files.count("d.png"), 0u);
}

TEST(PipelineTest, ASourceWrittenEarlierInTheRunIsReadAsWritten)
{
    // a.bmp becomes a.png; then a.png itself is listed and read after that write.
    const std::vector<std::string> list = {"a.bmp", "a.png", "a.png"};
    auto setUp = [](const std::string& root) {
        WriteTestBmp(root + "/a.bmp", 9, 9, 0x102030);
        WriteTestBmp(root + "/old.bmp", 3, 3, 0xFFFFFF);
    };
    // The listed a.png does not exist before the run; serially it is the new output.
    const TOutcome serial = RunIn(list, {{owRename, true}}, 1, TTargetFormat::Png, setUp);
    EXPECT_EQ(serial.Error, "");
    EXPECT_EQ(serial.Converted, 3);
    for (int jobs : {2, 3}) {
        EXPECT_TRUE(RunIn(list, {{owRename, true}}, jobs, TTargetFormat::Png, setUp) == serial)
            << jobs;
    }
}
