#pragma once
// A conversion run on a thread of its own, so that the window keeps answering while files
// convert. Its reports reach the window's thread as queued calls; its questions (the
// overwrite question, a failed file) are answered there while the run waits.

#include "app/ConversionRun.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kapto {

// The run itself; RunConversion by default, slowed down by tests.
using TRunner = std::function<TRunSummary(const std::vector<std::string>& files,
                                          TTargetFormat format, const TConversionOptions& options,
                                          TOverwritePrompt& prompt, TRunProgress& progress)>;

// What the overwrite question tells about the output that exists.
struct TOverwriteQuestion
{
    QString Output;
    QString Source;
    bool ReplacesSource = false; // the output is the source file itself
    QString EarlierSource;       // the source of this run that wrote the output, if one did
};

// How a run ended.
struct TRunEnd
{
    TRunSummary Summary;
    QString Error;           // the failure that ended the run, empty when none did
    bool ErrorShown = false; // that failure has had its box already
    qint64 Milliseconds = 0;
};

class TRunThread : public QObject, private TOverwritePrompt, private TRunProgress
{
    Q_OBJECT

public:
    explicit TRunThread(QObject* parent);
    // Ends a run still going: questions still open are answered with a stop, and the thread
    // is joined.
    ~TRunThread() override;

    void SetRunner(TRunner runner) { m_runner = std::move(runner); }

    // Every call below comes on the window's thread.
    // The overwrite question; the run waits for its answer.
    std::function<TOverwriteAnswer(const TOverwriteQuestion&)> AskOverwrite;
    // A file failed: skip it and go on, or stop the run. The run waits for the answer.
    std::function<TFailureAnswer(const QString& path, const QString& message)> AskFailure;
    // A file is about to be converted: its index, the number of files and its path.
    std::function<void(int index, int count, const QString& path)> OnFileStarted;
    std::function<void(int position, int maximum)> OnPosition;
    // A file was written with a note the user is to read.
    std::function<void(const QString& path, const QString& message)> OnFileWarning;
    std::function<void(const TRunEnd&)> OnFinished;

    // Starts a run; none may be going.
    void Start(std::vector<std::string> files, TTargetFormat format,
               const TConversionOptions& options);
    // The run ends before the next file; the file in hand is finished first.
    void RequestStop() { m_stop = true; }
    bool IsRunning() const { return m_running; }

private:
    // TOverwritePrompt and TRunProgress, called on the run's thread.
    TOverwriteAnswer Ask(const std::string& outputName) override;
    void SetMaximum(int maximum) override;
    void SetPosition(int position) override;
    void FileStarted(int index, const std::string& sourceName) override;
    void FileFinished(int index, TFileResult result) override;
    void FileWarning(int index, const std::string& sourceName, const std::string& message) override;
    TFailureAnswer FileFailed(int index, const std::string& sourceName,
                              const TFailure& failure) override;
    bool StopRequested() override { return m_stop; }

    // Runs the action on the window's thread and waits for its result; ifClosing when the
    // window goes away first.
    template <typename T> T OnWindow(std::function<T()> action, T ifClosing);
    // Runs the action on the window's thread without waiting.
    void Post(std::function<void()> action);
    void Work(std::vector<std::string> files, TTargetFormat format, TConversionOptions options);

    TRunner m_runner;
    std::thread m_thread;
    bool m_running = false; // window's thread
    std::atomic<bool> m_stop{false};
    QElapsedTimer m_clock;

    // The run's thread only.
    int m_maximum = 0;
    TTargetFormat m_format = TTargetFormat::Png;
    std::string m_source;                         // the file in hand
    TOverwriteResult m_lastAnswer = owOverwrite;  // for the file in hand
    bool m_failureShown = false;                  // the failure that ends the run has had its box
    TRunSummary m_counts;                         // the files finished so far
    std::map<std::string, std::string> m_written; // canonical output name -> its source

    std::mutex m_mutex;
    std::condition_variable m_answered;
    bool m_closing = false;
};

} // namespace kapto
