// kapto-convert: converts the listed images (and the images of listed folders) to PNG or
// BMP beside their sources, with the same engine and the same options as the main window.

#include "app/ConversionRun.h"
#include "app/FileNames.h"
#include "app/Options.h"
#include "app/RunPlan.h"
#include "app/ScanFolder.h"
#include "cli/Batch.h"
#include "cli/CommandLine.h"
#include "cli/Report.h"
#include "cli/Terminal.h"
#include "platform/MemoryBudget.h"
#include "runtime/Exceptions.h"
#include "runtime/Interrupt.h"
#include "runtime/Language.h"
#include "runtime/Messages.h"
#include "runtime/Threads.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <vector>

using namespace kapto;

namespace {

// The same decision for every existing output, without asking.
class TFixedPrompt : public TOverwritePrompt
{
public:
    explicit TFixedPrompt(TOverwriteResult result) : m_result(result) {}
    TOverwriteAnswer Ask(const std::string&) override { return {m_result, true}; }

private:
    TOverwriteResult m_result;
};

// A one-line progress bar on standard error, and the count of files done for the summary,
// which a signal may ask for from another thread at any moment.
class TTerminalProgress : public TRunProgress
{
public:
    TTerminalProgress(bool visible, bool keepGoing) : m_visible(visible), m_keepGoing(keepGoing) {}
    ~TTerminalProgress() override { Clear(); }

    void SetMaximum(int maximum) override { m_maximum = maximum; }
    void SetPosition(int position) override
    {
        m_position = position;
        Draw();
    }
    void FileStarted(int, const std::string& sourceName) override
    {
        m_current = sourceName;
        Draw();
    }
    void FileFinished(int, TFileResult result) override
    {
        ++(result == TFileResult::Converted ? m_converted
           : result == TFileResult::Skipped ? m_skipped
                                            : m_failed);
    }
    // "PATH: MESSAGE" on standard error; the file was written.
    void FileWarning(int, const std::string& sourceName, const std::string& message) override
    {
        Clear();
        std::cerr << QuotedName(sourceName) << ": " << PrintableText(message) << std::endl;
        ++m_warnings;
    }
    // "PATH: MESSAGE" on standard error; with --keep-going the file is passed over.
    TFailureAnswer FileFailed(int, const std::string& sourceName, const TFailure& failure) override
    {
        Clear();
        std::cerr << QuotedName(sourceName) << ": " << PrintableText(failure.OneLine())
                  << std::endl;
        m_failedFiles.push_back(sourceName);
        m_reportedFailure = true;
        return m_keepGoing ? TFailureAnswer::SkipFile : TFailureAnswer::Stop;
    }
    // Whether the run's failure has been reported already.
    bool ReportedFailure() const { return m_reportedFailure; }
    // Counts what a folder scan could not read, reported already, as failed.
    void AddUnreadable(const std::vector<std::string>& paths)
    {
        m_failed += int(paths.size());
        m_failedFiles.insert(m_failedFiles.begin(), paths.begin(), paths.end());
    }
    const std::vector<std::string>& FailedFiles() const { return m_failedFiles; }
    void Clear()
    {
        if (m_visible && m_drawn) {
            std::fputs("\r\033[K", stderr);
            m_drawn = false;
        }
    }

    // "N converted, M skipped", with ", F failed" when failures pass, and a line end.
    std::string SummaryLine() const
    {
        return std::to_string(m_converted.load()) + " converted, " +
               std::to_string(m_skipped.load()) + " skipped" +
               (m_keepGoing ? ", " + std::to_string(m_failed.load()) + " failed" : "") +
               (m_warnings > 0 ? ", " + std::to_string(m_warnings.load()) + " warnings" : "") +
               "\n";
    }

    // The bar's line cleared and the summary printed, with plain writes that no lock held
    // by the interrupted threads can stop.
    void EndOnSignal(bool quiet) const
    {
        if (m_visible && m_drawn) {
            WriteAll(STDERR_FILENO, "\r\033[K");
        }
        if (!quiet) {
            WriteAll(STDOUT_FILENO, SummaryLine());
        }
    }

private:
    static void WriteAll(int fd, const std::string& text)
    {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n <= 0 && errno != EINTR) {
                return;
            }
            done += n > 0 ? size_t(n) : 0;
        }
    }

    void Draw()
    {
        if (!m_visible || m_maximum <= 0) {
            return;
        }
        constexpr int kWidth = 24;
        const int filled = m_position * kWidth / m_maximum;
        std::string bar(size_t(filled), '#');
        bar.append(size_t(kWidth - filled), '.');
        const std::string name = TextTail(QuotedName(m_current), 60);
        std::fprintf(stderr, "\r\033[K[%s] %d/%d %s", bar.c_str(), m_position, m_maximum,
                     name.c_str());
        std::fflush(stderr);
        m_drawn = true;
    }

    bool m_visible;
    bool m_keepGoing;
    std::atomic<bool> m_drawn{false};
    int m_maximum = 0;
    int m_position = 0;
    std::string m_current;
    std::atomic<int> m_converted{0};
    std::atomic<int> m_skipped{0};
    std::atomic<int> m_failed{0};
    std::atomic<int> m_warnings{0};
    std::vector<std::string> m_failedFiles;
    bool m_reportedFailure = false;
};

// Standard output that could not take everything (a full disk, a closed pipe) fails the run.
int CheckStandardOutput(int status)
{
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || !std::cout) {
        const int error = errno;
        std::cerr << "kapto-convert: cannot write to standard output: " << std::strerror(error)
                  << std::endl;
        return 1;
    }
    return status;
}

std::unique_ptr<TOverwritePrompt> MakePrompt(TOnExists onExists, TTerminalPrompt** asking = nullptr)
{
    switch (onExists) {
    case TOnExists::Overwrite:
        return std::make_unique<TFixedPrompt>(owOverwrite);
    case TOnExists::Rename:
        return std::make_unique<TFixedPrompt>(owRename);
    case TOnExists::Abort:
        return std::make_unique<TFixedPrompt>(owAbort);
    case TOnExists::Skip:
        return std::make_unique<TFixedPrompt>(owSkip);
    case TOnExists::Ask:
        break;
    }
    auto prompt = std::make_unique<TTerminalPrompt>();
    if (asking != nullptr) {
        *asking = prompt.get();
    }
    return prompt;
}

// The files of the PATHs in order, and with --out-dir the place of each file's output: a
// file PATH straight in DIR, the files of a folder PATH at their place below that folder.
// Missing PATHs are reported (false); so is what a folder scan could not read, with the
// system's reason, which is counted in unreadable.
bool CollectFiles(const TCommandLine& commandLine, const std::vector<std::string>& paths,
                  std::vector<std::string>& files, std::vector<std::string>& places,
                  std::vector<std::string>& unreadable)
{
    bool allFound = true;
    for (const std::string& path : paths) {
        const size_t first = files.size();
        std::vector<TScanProblem> problems;
        // DIR inside a scanned folder holds outputs, never sources.
        const bool folder = ScanFolder(path, files, commandLine.OutDir, &problems);
        for (const TScanProblem& problem : problems) {
            const TFailure failure{FormatMessage(TMessage::FileOpenError, {problem.Path}),
                                   SystemReason(problem.Error)};
            std::cerr << QuotedName(problem.Path) << ": " << PrintableText(failure.OneLine())
                      << std::endl;
            unreadable.push_back(problem.Path);
        }
        if (folder) {
            for (size_t i = first; i < files.size(); ++i) {
                places.push_back(PlaceBelow(commandLine.OutDir, path, files[i]));
            }
        } else if (FileExists(path)) {
            files.push_back(path);
            places.push_back(commandLine.OutDir + "/" + path.substr(path.rfind('/') + 1));
        } else {
            struct stat info
            {};
            const int error = ::stat(path.c_str(), &info) != 0 ? errno : 0;
            const TFailure failure{FormatMessage(TMessage::FileOpenError, {path}),
                                   error != 0 ? SystemReason(error) : ""};
            std::cerr << QuotedName(path) << ": " << PrintableText(failure.OneLine()) << std::endl;
            allFound = false;
        }
    }
    if (commandLine.OutDir.empty()) {
        places.clear();
    }
    return allFound;
}

// The run's decisions without the run: with --on-exists ask, where the answer is not known,
// an existing output is shown as it is.
void PrintPlan(const std::vector<std::string>& files, const TCommandLine& commandLine,
               const TRunSettings& settings)
{
    const char end = commandLine.NulTerminated ? '\0' : '\n';
    std::unique_ptr<TOverwritePrompt> prompt =
        MakePrompt(commandLine.OnExists == TOnExists::Ask ? TOnExists::Skip : commandLine.OnExists);
    for (const TPlannedOutput& entry : PlanRun(files, commandLine.Format, settings, *prompt)) {
        if (!entry.Problem.empty()) {
            std::cout << entry.Source << ": " << entry.Problem << end;
            continue;
        }
        std::string tags;
        if (entry.Exists) {
            tags += "[exists]";
        }
        if (entry.SameAsEarlier >= 0) {
            tags += (tags.empty() ? "" : " ") + std::string("[same output as ") +
                    files[size_t(entry.SameAsEarlier)] + "]";
        }
        if (entry.ReplacesSource) {
            tags += (tags.empty() ? "" : " ") + std::string("[replaces its source]");
        }
        std::cout << entry.Source << " -> " << entry.Output << (tags.empty() ? "" : "  ") << tags
                  << end;
    }
}

int Convert(const std::vector<std::string>& files, const TCommandLine& commandLine,
            const TRunSettings& settings, const std::vector<std::string>& unreadable)
{
    TTerminalPrompt* asking = nullptr;
    std::unique_ptr<TOverwritePrompt> prompt = MakePrompt(commandLine.OnExists, &asking);
    TTerminalProgress progress(!commandLine.Quiet && ::isatty(STDERR_FILENO) != 0,
                               commandLine.KeepGoing);
    progress.AddUnreadable(unreadable);
    // A report on standard output has it to itself.
    const bool quiet = commandLine.Quiet || commandLine.ReportFile == "-";
    const int reportFd = commandLine.ReportFile.empty() ? -1 : OpenReport(commandLine.ReportFile);
    if (!commandLine.ReportFile.empty() && reportFd < 0) {
        return 1;
    }
    TReportProgress report(progress, reportFd);
    TRunProgress& runProgress = reportFd >= 0 ? static_cast<TRunProgress&>(report) : progress;
    // Before the run starts its threads, so that they leave the signals to this handler.
    EndCleanlyOnSignals([&progress, &report, quiet, reportFd](int signal) {
        progress.EndOnSignal(quiet);
        if (reportFd >= 0) {
            report.WriteTotals(false, signal);
        }
    });
    SetThreadsLimitedNote([&progress](const std::string& message) {
        progress.Clear();
        std::cerr << "kapto-convert: " << message << std::endl;
    });
    int status = 1;
    bool aborted = false;
    try {
        const TRunSummary summary = RunConversion(files, commandLine.Format, commandLine.Options,
                                                  *prompt, runProgress, settings);
        aborted = summary.Aborted;
        status = summary.Aborted ? 3 : summary.Failed > 0 || !unreadable.empty() ? 1 : 0;
    } catch (...) {
        const std::string message = DescribeFailure(std::current_exception()).OneLine();
        if (!progress.ReportedFailure()) {
            progress.Clear();
            std::cerr << PrintableText(message) << std::endl;
        }
    }
    progress.Clear();
    if (asking != nullptr && asking->GaveUp()) {
        std::cerr << "kapto-convert: "
                  << InLanguage(
                         "上書き確認に答えがないため、残りの既存のファイルは保存しませんでした",
                         "the overwrite question went unanswered; the remaining existing "
                         "outputs were skipped")
                  << std::endl;
    }
    if (reportFd >= 0) {
        report.WriteTotals(aborted);
        const int closeError =
            reportFd != STDOUT_FILENO && ::close(reportFd) != 0 ? (errno != 0 ? errno : EIO) : 0;
        if (!report.Written() || closeError != 0) {
            const int error = report.Written() ? closeError : report.WriteError();
            std::cerr << "kapto-convert: cannot write " << commandLine.ReportFile
                      << (error != 0 ? ": " + SystemReason(error) : "") << std::endl;
            status = 1;
        }
    }
    if (!quiet) {
        std::cout << progress.SummaryLine() << std::flush;
    }
    if (commandLine.KeepGoing) {
        for (const std::string& file : progress.FailedFiles()) {
            std::cerr << QuotedName(file) << "\n";
        }
    }
    return CheckStandardOutput(status);
}

} // namespace

int main(int argc, char** argv)
{
    SetLanguage(LanguageFromEnvironment());
    TCommandLine commandLine;
    const TParseResult parsed =
        ParseCommandLine(argc, argv, ::isatty(STDIN_FILENO) != 0, commandLine);
    if (parsed != TParseResult::Run) {
        return int(parsed);
    }
    if (commandLine.MaxMemory != 0) {
        SharedMemoryBudget().SetLimit(commandLine.MaxMemory);
    }

    std::vector<std::string> files;
    TRunSettings settings;
    settings.Jobs = commandLine.Jobs;
    settings.OutputFolder = commandLine.OutDir;
    settings.StrictSources = commandLine.Strict;
    std::vector<std::string> paths = commandLine.Paths;
    if (!commandLine.FilesFrom.empty() &&
        !AppendFileList(commandLine.FilesFrom, commandLine.NulTerminated, paths)) {
        return 1;
    }
    std::vector<std::string> unreadable;
    if (!CollectFiles(commandLine, paths, files, settings.OutputPlaces, unreadable)) {
        return 1;
    }
    // What a scan could not read stops the run as a bad file would, or with --keep-going
    // counts as failed.
    if (!unreadable.empty() && !commandLine.KeepGoing) {
        return 1;
    }
    if (!commandLine.Base.empty()) {
        const std::string outside =
            PlaceUnderBase(commandLine.Base, commandLine.OutDir, files, settings.OutputPlaces);
        if (!outside.empty()) {
            std::cerr << "kapto-convert: --base: " << outside << " is not under "
                      << commandLine.Base << std::endl;
            return 2;
        }
    }
    if (commandLine.ShardCount > 0) {
        KeepShard(commandLine.ShardIndex, commandLine.ShardCount,
                  TargetExtension(commandLine.Format), commandLine.OutDir, files,
                  settings.OutputPlaces);
    }
    if (commandLine.ListOnly) {
        for (const std::string& file : files) {
            std::cout << file << (commandLine.NulTerminated ? '\0' : '\n');
        }
        return CheckStandardOutput(unreadable.empty() ? 0 : 1);
    }
    if (commandLine.DryRun) {
        PrintPlan(files, commandLine, settings);
        return CheckStandardOutput(unreadable.empty() ? 0 : 1);
    }
    return Convert(files, commandLine, settings, unreadable);
}
