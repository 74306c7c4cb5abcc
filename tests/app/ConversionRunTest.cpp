// The conversion run headless: output names, every overwrite decision, numbered names,
// progress, the end of a run on an error or an abort, outputs that another program made
// while the run encoded, and the permissions of new outputs.

#include "app/ConversionRun.h"
#include "graphics/Bitmap.h"
#include "runtime/Exceptions.h"
#include "runtime/Stream.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <deque>

using namespace kapto;

namespace {

// Answers the overwrite question from a script and records every question.
class TScriptedPrompt : public TOverwritePrompt
{
public:
    explicit TScriptedPrompt(std::deque<TOverwriteAnswer> answers) : m_answers(std::move(answers))
    {}
    TOverwriteAnswer Ask(const std::string& outputName) override
    {
        Asked.push_back(outputName);
        if (m_answers.empty()) {
            ADD_FAILURE() << "unexpected question for " << outputName;
            return {owAbort, false};
        }
        TOverwriteAnswer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    std::vector<std::string> Asked;

private:
    std::deque<TOverwriteAnswer> m_answers;
};

// Where another program makes a file while the run encodes: once, when the next save has
// its data on the disk and is about to be put in place.
std::string g_plantAt;

void PlantOnce(TAtomicFileStream::TStep step)
{
    if (step == TAtomicFileStream::TStep::SyncFile && !g_plantAt.empty()) {
        WriteFileBytes(g_plantAt, {'p'});
        g_plantAt.clear();
    }
}

// Where another program puts a link in place of an output folder the run has walked into.
std::string g_swapFolder;

void SwapForALinkOnce(TAtomicFileStream::TStep step)
{
    if (step == TAtomicFileStream::TStep::SyncFile && !g_swapFolder.empty()) {
        ::rename(g_swapFolder.c_str(), (g_swapFolder + "-walked").c_str());
        ::symlink("../outside", g_swapFolder.c_str());
        g_swapFolder.clear();
    }
}

class TRecordedProgress : public TRunProgress
{
public:
    void SetMaximum(int maximum) override { Maximum = maximum; }
    void SetPosition(int position) override { Positions.push_back(position); }
    int Maximum = -1;
    std::vector<int> Positions;
};

// Every case runs serially and pipelined: the answers must not differ.
class ConversionRunTest : public ::testing::TestWithParam<int>
{
protected:
    // A BMP source whose single colour tells which file it came from.
    std::string Source(const std::string& name, TColor color)
    {
        return WriteTestBmp(m_dir.Path(name), 3, 2, color);
    }
    // The colour of the top-left pixel of a written BMP.
    TColor ColorOf(const std::string& name)
    {
        TBitmap bitmap;
        bitmap.LoadFile(m_dir.Path(name));
        return bitmap.Canvas().GetPixel(0, 0);
    }
    TRunSummary Run(const std::vector<std::string>& files, TScriptedPrompt& prompt)
    {
        return RunConversion(files, TTargetFormat::Bmp, TConversionOptions(), prompt, m_progress,
                             GetParam());
    }

    TTempDir m_dir;
    TRecordedProgress m_progress;
};

} // namespace

TEST_P(ConversionRunTest, EmptyListWritesNothing)
{
    TScriptedPrompt prompt({});
    const TRunSummary summary = Run({}, prompt);
    EXPECT_EQ(m_progress.Maximum, 0);
    EXPECT_EQ(m_progress.Positions, std::vector<int>{0});
    EXPECT_EQ(summary.Converted + summary.Skipped, 0);
    EXPECT_TRUE(m_dir.Entries().empty());
}

TEST_P(ConversionRunTest, OutputBesideTheSourceWithoutAQuestion)
{
    // On a case-sensitive file system "pic.BMP" and "pic.bmp" are two names.
    const std::string source = Source("pic.BMP", clBlack);
    TScriptedPrompt prompt({});
    const TRunSummary summary = Run({source}, prompt);
    EXPECT_EQ(summary.Converted, 1);
    EXPECT_TRUE(prompt.Asked.empty());
    EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"pic.BMP", "pic.bmp"}));
    EXPECT_EQ(m_progress.Maximum, 1);
    EXPECT_EQ(m_progress.Positions, (std::vector<int>{0, 1}));
}

TEST_P(ConversionRunTest, OverwriteReplacesTheSourceItself)
{
    const std::string source = Source("a.bmp", 0x0000FF);
    const std::vector<uint8_t> before = ReadFileBytes(source);
    TScriptedPrompt prompt({{owOverwrite, false}});
    EXPECT_EQ(Run({source}, prompt).Converted, 1);
    EXPECT_EQ(prompt.Asked, std::vector<std::string>{source});
    EXPECT_EQ(ColorOf("a.bmp"), 0x0000FF);
    EXPECT_EQ(m_dir.Entries(), std::vector<std::string>{"a.bmp"});
}

TEST_P(ConversionRunTest, RenameTakesTheFirstFreeNumber)
{
    const std::string cat = Source("cat.bmp", 0x112233);
    Source("cat-01.bmp", clBlack);
    TScriptedPrompt prompt({{owRename, false}});
    Run({cat}, prompt);
    EXPECT_EQ(ColorOf("cat-02.bmp"), 0x112233);

    // A gap is filled before higher numbers.
    const std::string dog = Source("dog.bmp", 0x445566);
    Source("dog-02.bmp", clBlack);
    TScriptedPrompt again({{owRename, false}});
    Run({dog}, again);
    EXPECT_EQ(ColorOf("dog-01.bmp"), 0x445566);
}

TEST_P(ConversionRunTest, ApplyToRestRenamesEachFileFromOne)
{
    const std::string a = Source("a.bmp", 0x0A);
    const std::string b = Source("b.bmp", 0x0B);
    Source("b-01.bmp", clBlack);
    TScriptedPrompt prompt({{owRename, true}});
    const TRunSummary summary = Run({a, b}, prompt);
    EXPECT_EQ(prompt.Asked.size(), 1u);
    EXPECT_EQ(summary.Converted, 2);
    EXPECT_EQ(ColorOf("a-01.bmp"), 0x0A);
    EXPECT_EQ(ColorOf("b-02.bmp"), 0x0B);
}

TEST_P(ConversionRunTest, ApplyToRestSkipStillWritesNewNames)
{
    const std::string a = Source("a.bmp", 0x0A);
    const std::string b = Source("b.bmp", 0x0B);
    const std::string c = Source("c.BMP", 0x0C);
    const std::vector<uint8_t> bBefore = ReadFileBytes(b);
    TScriptedPrompt prompt({{owSkip, true}});
    const TRunSummary summary = Run({a, b, c}, prompt);
    EXPECT_EQ(prompt.Asked, std::vector<std::string>{a});
    EXPECT_EQ(summary.Skipped, 2);
    EXPECT_EQ(summary.Converted, 1);
    EXPECT_EQ(ReadFileBytes(b), bBefore);
    EXPECT_EQ(ColorOf("c.bmp"), 0x0C);
    EXPECT_EQ(m_progress.Positions, (std::vector<int>{0, 1, 2, 3}));
}

TEST_P(ConversionRunTest, WithoutTheTickEveryExistingNameIsAsked)
{
    const std::string a = Source("a.bmp", 0x0A);
    const std::string b = Source("b.bmp", 0x0B);
    TScriptedPrompt prompt({{owSkip, false}, {owOverwrite, false}});
    const TRunSummary summary = Run({a, b}, prompt);
    EXPECT_EQ(prompt.Asked, (std::vector<std::string>{a, b}));
    EXPECT_EQ(summary.Skipped, 1);
    EXPECT_EQ(summary.Converted, 1);
}

TEST_P(ConversionRunTest, AbortEndsTheRunWhateverTheTick)
{
    const std::string a = Source("a.BMP", 0x0A);
    const std::string b = Source("b.bmp", 0x0B);
    const std::string c = Source("c.BMP", 0x0C);
    TScriptedPrompt prompt({{owAbort, true}});
    const TRunSummary summary = Run({a, b, c}, prompt);
    EXPECT_TRUE(summary.Aborted);
    EXPECT_EQ(summary.Converted, 1);
    // The first file was written, the abort did not advance the bar, c was never handled.
    EXPECT_EQ(m_progress.Positions, (std::vector<int>{0, 1}));
    EXPECT_TRUE(FileExists(m_dir.Path("a.bmp")));
    EXPECT_FALSE(FileExists(m_dir.Path("c.bmp")));
}

TEST_P(ConversionRunTest, AnErrorEndsTheRunAtThatFile)
{
    const std::string a = Source("a.BMP", 0x0A);
    const std::string missing = m_dir.Path("missing.bmp");
    const std::string c = Source("c.BMP", 0x0C);
    TScriptedPrompt prompt({});
    try {
        Run({a, missing, c}, prompt);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "ファイル " + missing + " は開けません");
    }
    EXPECT_TRUE(FileExists(m_dir.Path("a.bmp")));
    EXPECT_FALSE(FileExists(m_dir.Path("c.bmp")));
    EXPECT_EQ(m_progress.Positions, (std::vector<int>{0, 1}));
}

TEST_P(ConversionRunTest, UnknownExtensionsAreRefusedNotFilledFromThePreviousFile)
{
    const std::string a = Source("a.BMP", 0x0A);
    const std::string text = m_dir.Path("notes.Tiff");
    WriteFileBytes(text, {1, 2, 3});
    TScriptedPrompt prompt({});
    try {
        Run({a, text}, prompt);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), "拡張子 .Tiff の画像形式は処理できません");
    }
    EXPECT_FALSE(FileExists(m_dir.Path("notes.bmp")));
}

TEST_P(ConversionRunTest, AllHundredNumberedNamesTakenIsAnError)
{
    const std::string cat = Source("cat.bmp", 0x0A);
    for (int n = 0; n < 100; ++n) {
        WriteFileBytes(
            m_dir.Path("cat-" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".bmp"), {0});
    }
    EXPECT_EQ(FirstFreeNumberedName(m_dir.Path("dog.bmp")), m_dir.Path("dog-01.bmp"));
    TScriptedPrompt prompt({{owRename, false}});
    try {
        Run({cat}, prompt);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "ファイル " + cat + " を作成できません");
    }
}

TEST_P(ConversionRunTest, NumberedNamesWrapFromNinetyNineToZero)
{
    const std::string cat = Source("cat.bmp", 0x0A);
    for (int n = 1; n < 100; ++n) {
        WriteFileBytes(
            m_dir.Path("cat-" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".bmp"), {0});
    }
    EXPECT_EQ(FirstFreeNumberedName(cat), m_dir.Path("cat-00.bmp"));
}

TEST_P(ConversionRunTest, AnOutputMadeMeanwhileIsDecidedAgain)
{
    const std::vector<uint8_t> planted = {'p'};
    struct TCase
    {
        const char* Name;
        bool ExistsBefore; // a.png is there from the start, and the answer was "rename"
        TOverwriteResult Answer;
        std::vector<std::string> Entries;
        int Converted;
        bool Aborted;
    };
    const TCase cases[] = {
        {"skip", false, owSkip, {"a.bmp", "a.png", "b.bmp", "b.png"}, 1, false},
        {"rename", false, owRename, {"a-01.png", "a.bmp", "a.png", "b.bmp", "b.png"}, 2, false},
        {"overwrite", false, owOverwrite, {"a.bmp", "a.png", "b.bmp", "b.png"}, 2, false},
        {"abort", false, owAbort, {"a.bmp", "a.png", "b.bmp"}, 0, true},
        {"numbered name",
         true,
         owRename,
         {"a-01.png", "a-02.png", "a.bmp", "a.png", "b.bmp", "b.png"},
         2,
         false},
    };
    TAtomicFileStream::SetStepObserver(PlantOnce);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const std::string a = WriteTestBmp(dir.Path("a.bmp"), 3, 2, 0x0000FF);
        const std::string b = WriteTestBmp(dir.Path("b.bmp"), 3, 2, 0x00FF00);
        if (c.ExistsBefore) {
            WriteFileBytes(dir.Path("a.png"), planted);
        }
        g_plantAt = dir.Path(c.ExistsBefore ? "a-01.png" : "a.png");
        TScriptedPrompt prompt({{c.Answer, false}});
        TRecordedProgress progress;
        const TRunSummary summary = RunConversion({a, b}, TTargetFormat::Png, TConversionOptions(),
                                                  prompt, progress, GetParam());
        // The question is asked once, about the name the file was to have.
        EXPECT_EQ(prompt.Asked, std::vector<std::string>{dir.Path("a.png")});
        EXPECT_EQ(dir.Entries(), c.Entries);
        EXPECT_EQ(summary.Converted, c.Converted);
        EXPECT_EQ(summary.Skipped, c.Answer == owSkip ? 1 : 0);
        EXPECT_EQ(summary.Aborted, c.Aborted);
        // Only an overwrite replaces what the other program wrote.
        EXPECT_EQ(ReadFileBytes(dir.Path("a.png")) == planted, c.Answer != owOverwrite);
        if (c.ExistsBefore) {
            EXPECT_EQ(ReadFileBytes(dir.Path("a-01.png")), planted);
        }
    }
    TAtomicFileStream::SetStepObserver(nullptr);
}

TEST_P(ConversionRunTest, NewOutputsTakeTheSourcesReadAndWriteBits)
{
    const mode_t mask = ::umask(022);
    const struct
    {
        const char* Name;
        mode_t Source;
        mode_t Output;
    } cases[] = {{"private", 0600, 0600},
                 {"group", 0640, 0640},
                 {"executable", 0755, 0644},
                 {"open", 0666, 0644},
                 {"read only", 0400, 0400}};
    std::vector<std::string> files;
    for (const auto& c : cases) {
        files.push_back(Source(std::string(c.Name) + ".bmp", clBlack));
        ::chmod(files.back().c_str(), c.Source);
    }
    // A link takes the bits of what it points to: a link to a private picture in a shared
    // folder must not give everyone a copy.
    ASSERT_EQ(::symlink(files[0].c_str(), m_dir.Path("link.bmp").c_str()), 0);
    files.push_back(m_dir.Path("link.bmp"));
    TScriptedPrompt prompt({});
    RunConversion(files, TTargetFormat::Png, TConversionOptions(), prompt, m_progress, GetParam());
    for (const auto& c : cases) {
        struct stat info
        {};
        ASSERT_EQ(::stat(m_dir.Path(std::string(c.Name) + ".png").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.Output) << c.Name;
    }
    struct stat info
    {};
    ASSERT_EQ(::stat(m_dir.Path("link.png").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode_t(0600));
    ::umask(mask);
    if (::geteuid() == 0) {
        // Root converting a shared folder where another user planted the link: that user
        // cannot read the copy of root's private picture.
        ::chmod(m_dir.Root().c_str(), 0777);
        const pid_t child = ::fork();
        if (child == 0) {
            const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            std::_Exit(dropped && ::access(m_dir.Path("link.png").c_str(), R_OK) != 0 ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(status, 0) << "another user can read the output";
    }
}

TEST_P(ConversionRunTest, AnOutputFolderSwappedForALinkMidSaveIsNotFollowed)
{
    const std::string source = Source("trip/a.bmp", 0x123456);
    ASSERT_EQ(::mkdir(m_dir.Path("outside").c_str(), 0777), 0);
    TRunSettings settings;
    settings.Jobs = GetParam();
    settings.OutputFolder = m_dir.Path("out");
    settings.OutputPlaces = {m_dir.Path("out/trip/a.bmp")};
    g_swapFolder = m_dir.Path("out/trip");
    TAtomicFileStream::SetStepObserver(SwapForALinkOnce);
    TScriptedPrompt prompt({});
    const TRunSummary summary = RunConversion({source}, TTargetFormat::Bmp, TConversionOptions(),
                                              prompt, m_progress, settings);
    TAtomicFileStream::SetStepObserver(nullptr);
    EXPECT_EQ(summary.Converted, 1);
    EXPECT_TRUE(m_dir.Entries("outside").empty());
    EXPECT_EQ(m_dir.Entries("out/trip-walked"), std::vector<std::string>{"a.bmp"});
}

INSTANTIATE_TEST_SUITE_P(Jobs, ConversionRunTest, ::testing::Values(1, 3),
                         [](const ::testing::TestParamInfo<int>& parameter) {
                             return parameter.param == 1 ? std::string("Serial")
                                                         : std::string("Pipelined");
                         });
