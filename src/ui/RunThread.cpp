#include "ui/RunThread.h"

#include "app/FileNames.h"
#include "runtime/Exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <optional>

namespace kapto {

namespace {

QString DisplayName(const std::string& name)
{
    return QFile::decodeName(QByteArray::fromStdString(name));
}

// The name of the file itself, behind links and relative paths; empty when it does not exist.
std::string CanonicalName(const std::string& name)
{
    return QFile::encodeName(QFileInfo(DisplayName(name)).canonicalFilePath()).toStdString();
}

} // namespace

TRunThread::TRunThread(QObject* parent) : QObject(parent)
{
    m_runner = [](const std::vector<std::string>& files, TTargetFormat format,
                  const TConversionOptions& options, TOverwritePrompt& prompt,
                  TRunProgress& progress) {
        // One file per core loaded and encoded ahead, as kapto-convert does by default.
        return RunConversion(files, format, options, prompt, progress, 0);
    };
}

TRunThread::~TRunThread()
{
    m_stop = true;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_closing = true;
    }
    m_answered.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void TRunThread::Start(std::vector<std::string> files, TTargetFormat format,
                       const TConversionOptions& options)
{
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_running = true;
    m_stop = false;
    m_maximum = 0;
    m_counts = TRunSummary();
    m_failureShown = false;
    m_written.clear();
    m_clock.start();
    m_thread = std::thread([this, files = std::move(files), format, options]() mutable {
        Work(std::move(files), format, options);
    });
}

void TRunThread::Work(std::vector<std::string> files, TTargetFormat format,
                      TConversionOptions options)
{
    m_format = format;
    TRunEnd end;
    try {
        end.Summary = m_runner(files, format, options, *this, *this);
    } catch (...) {
        end.Error = QString::fromStdString(DescribeFailure(std::current_exception()).TwoLines());
        end.ErrorShown = m_failureShown;
        // What the run did up to the file that ended it, which counts as failed.
        end.Summary = m_counts;
        ++end.Summary.Failed;
    }
    Post([this, end]() mutable {
        if (m_thread.joinable()) {
            m_thread.join();
        }
        m_running = false;
        end.Milliseconds = m_clock.elapsed();
        if (OnFinished) {
            OnFinished(end);
        }
    });
}

void TRunThread::Post(std::function<void()> action)
{
    QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

template <typename T> T TRunThread::OnWindow(std::function<T()> action, T ifClosing)
{
    // The answer lives as long as whichever of the two threads needs it last.
    struct TSlot
    {
        std::optional<T> Answer;
    };
    auto slot = std::make_shared<TSlot>();
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_closing) {
            return ifClosing;
        }
    }
    Post([this, slot, action] {
        T answer = action();
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            slot->Answer = answer;
        }
        m_answered.notify_all();
    });
    std::unique_lock<std::mutex> lock(m_mutex);
    m_answered.wait(lock, [&] { return m_closing || slot->Answer.has_value(); });
    return slot->Answer.value_or(ifClosing);
}

TOverwriteAnswer TRunThread::Ask(const std::string& outputName)
{
    TOverwriteQuestion question;
    question.Output = DisplayName(outputName);
    question.Source = DisplayName(m_source);
    question.ReplacesSource = IsSameFile(m_source, outputName);
    const auto earlier = m_written.find(CanonicalName(outputName));
    if (earlier != m_written.end()) {
        question.EarlierSource = DisplayName(earlier->second);
    }
    TOverwriteAnswer stop;
    stop.Result = owAbort;
    const TOverwriteAnswer answer = OnWindow<TOverwriteAnswer>(
        [this, question] { return AskOverwrite ? AskOverwrite(question) : TOverwriteAnswer{}; },
        stop);
    m_lastAnswer = answer.Result;
    return answer;
}

TFailureAnswer TRunThread::FileFailed(int, const std::string& sourceName, const TFailure& failure)
{
    const QString path = DisplayName(sourceName);
    const QString text = QString::fromStdString(failure.TwoLines());
    const TFailureAnswer answer = OnWindow<TFailureAnswer>(
        [this, path, text] { return AskFailure ? AskFailure(path, text) : TFailureAnswer::Stop; },
        TFailureAnswer::Stop);
    m_failureShown = answer == TFailureAnswer::Stop;
    return answer;
}

void TRunThread::FileWarning(int, const std::string& sourceName, const std::string& message)
{
    const QString path = DisplayName(sourceName);
    const QString text = QString::fromStdString(message);
    Post([this, path, text] {
        if (OnFileWarning) {
            OnFileWarning(path, text);
        }
    });
}

void TRunThread::SetMaximum(int maximum)
{
    m_maximum = maximum;
    Post([this, maximum] {
        if (OnPosition) {
            OnPosition(0, maximum);
        }
    });
}

void TRunThread::SetPosition(int position)
{
    const int maximum = m_maximum;
    Post([this, position, maximum] {
        // The engine sets the position to 0 before it tells the maximum.
        if (OnPosition && maximum > 0) {
            OnPosition(position, maximum);
        }
    });
}

void TRunThread::FileStarted(int index, const std::string& sourceName)
{
    m_source = sourceName;
    m_lastAnswer = owOverwrite;
    const int count = m_maximum;
    const QString path = DisplayName(sourceName);
    Post([this, index, count, path] {
        if (OnFileStarted) {
            OnFileStarted(index, count, path);
        }
    });
}

void TRunThread::FileFinished(int, TFileResult result)
{
    ++(result == TFileResult::Converted ? m_counts.Converted
       : result == TFileResult::Skipped ? m_counts.Skipped
                                        : m_counts.Failed);
    // Remembered so that a later question about the same output can name this source. A
    // numbered name is not recorded; after "残りのファイルも同様に処理" nothing more is asked.
    if (result == TFileResult::Converted && m_lastAnswer != owRename) {
        const std::string output = OutputFileName(m_source, TargetExtension(m_format));
        const std::string canonical = CanonicalName(output);
        if (!canonical.empty()) {
            m_written[canonical] = m_source;
        }
    }
}

} // namespace kapto
