#include "app/ConversionRun.h"

#include "app/FileNames.h"
#include "app/LoadSource.h"
#include "app/OutputDecision.h"
#include "app/OutputFolders.h"
#include "app/SaveConverted.h"
#include "graphics/Bitmap.h"
#include "platform/MemoryBudget.h"
#include "runtime/Assert.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "runtime/Stream.h"
#include "runtime/Threads.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace kapto {

std::string TargetExtension(TTargetFormat format)
{
    return format == TTargetFormat::Png ? ".png" : ".bmp";
}

int DefaultJobs()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : int(cores);
}

std::string FirstFreeNumberedName(const std::string& outputName)
{
    return FirstFreeNumberedName(outputName, FileExists);
}

namespace {

// One file loaded and encoded ahead of the run. The errors are kept apart because the serial
// run raises them at different points: a load error before the overwrite question, an
// encoding error only when the file is written.
struct TPrepared
{
    std::vector<uint8_t> Bytes;
    TWarnings SourceWarnings;
    TWarnings Warnings;
    std::exception_ptr LoadError;
    std::exception_ptr EncodeError;
    int Width = 0; // the loaded picture's size
    int Height = 0;
    uint64_t WritesBeforeLoad = 0; // the run's writes done when loading began
};

TPrepared Prepare(const std::string& source, TTargetFormat format,
                  const TConversionOptions& options, uint64_t writesBeforeLoad,
                  TMemoryBudget& budget, size_t index)
{
    // The pictures of this file are charged to its place in the run.
    const TBudgetScope scope(budget, index);
    TPrepared prepared;
    prepared.WritesBeforeLoad = writesBeforeLoad;
    // Nothing may leave a worker thread but through these two slots.
    try {
        // Every file starts from a new, empty bitmap, so nothing of another file (its
        // pixels, its transparent colour) can reach this file's output.
        TBitmap bitmap;
        try {
            LoadSource(source, bitmap, &prepared.SourceWarnings);
        } catch (...) {
            prepared.LoadError = std::current_exception();
            return prepared;
        }
        prepared.Width = bitmap.Width();
        prepared.Height = bitmap.Height();
        TMemoryStream stream;
        prepared.Warnings = EncodeConverted(options, format, bitmap, stream);
        prepared.Bytes = std::move(stream.Bytes());
    } catch (...) {
        prepared.EncodeError = std::current_exception();
    }
    return prepared;
}

// Loads and encodes the files of a run on worker threads, at most `jobs` files ahead of
// the file the run is deciding, so that no more than that many decoded images are alive.
// The options are a copy taken when the run starts: the window takes no input during a run,
// so encoding ahead gives the bytes the run would write itself.
class TPreparer
{
public:
    TPreparer(const std::vector<std::string>& files, TTargetFormat format,
              const TConversionOptions& options, int jobs, TMemoryBudget& budget)
        : m_files(files), m_format(format), m_options(options), m_jobs(jobs), m_budget(budget),
          m_results(files.size())
    {
        for (int i = 0; i < jobs; ++i) {
            std::thread worker;
            if (!TryStartThread(worker, [this] { Work(); })) {
                // The threads that started take the work of those that did not; with none,
                // the run prepares each file itself when it comes to it.
                NoteThreadsLimited(std::max(i, 1));
                break;
            }
            m_workers.push_back(std::move(worker));
        }
    }

    ~TPreparer()
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_cancelled = true;
        }
        m_changed.notify_all();
        for (std::thread& worker : m_workers) {
            worker.join();
        }
    }

    TPreparer(const TPreparer&) = delete;
    TPreparer& operator=(const TPreparer&) = delete;

    // The prepared file of that index; the run takes them in list order.
    TPrepared Take(size_t index)
    {
        if (m_workers.empty()) {
            return Prepare(m_files[index], m_format, m_options, Writes(), m_budget, index);
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_taken = index + 1;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_results[index].has_value(); });
        TPrepared prepared = std::move(*m_results[index]);
        m_results[index].reset();
        return prepared;
    }

    void CountWrite()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        ++m_writes;
    }

    uint64_t Writes()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_writes;
    }

private:
    void Work()
    {
        for (;;) {
            size_t index = 0;
            uint64_t writes = 0;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] {
                    return m_cancelled ||
                           (m_next < m_files.size() && m_next < m_taken + size_t(m_jobs));
                });
                if (m_cancelled) {
                    return;
                }
                index = m_next++;
                writes = m_writes;
            }
            TPrepared prepared =
                Prepare(m_files[index], m_format, m_options, writes, m_budget, index);
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                m_results[index] = std::move(prepared);
            }
            m_changed.notify_all();
        }
    }

    const std::vector<std::string>& m_files;
    const TTargetFormat m_format;
    const TConversionOptions m_options;
    const int m_jobs;
    TMemoryBudget& m_budget;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::optional<TPrepared>> m_results;
    size_t m_next = 0;
    size_t m_taken = 0;
    uint64_t m_writes = 0;
    bool m_cancelled = false;
    std::vector<std::thread> m_workers;
};

// The canonical name of an existing file, to recognise one file under several names; empty
// when it does not exist.
std::string CanonicalName(const std::string& fileName)
{
    char* resolved = ::realpath(fileName.c_str(), nullptr);
    if (resolved == nullptr) {
        return "";
    }
    std::string name = resolved;
    std::free(resolved);
    return name;
}

// The prepared bytes in a save not yet put in place.
std::unique_ptr<TAtomicFileStream> WriteBytes(int folder, const std::string& fileName,
                                              unsigned newFileMode, const TPrepared& prepared)
{
    auto stream = std::make_unique<TAtomicFileStream>(folder, fileName, newFileMode);
    if (prepared.EncodeError) {
        std::rethrow_exception(prepared.EncodeError);
    }
    stream->WriteBuffer(prepared.Bytes.data(), prepared.Bytes.size());
    return stream;
}

// The permission bits of the source, which a new output takes: a private picture gives a
// private output. Read and write bits only, and of what a link points to.
unsigned SourceMode(const std::string& source)
{
    struct stat info
    {};
    return ::stat(source.c_str(), &info) == 0 ? unsigned(info.st_mode & 0666) : 0666;
}

void ReportLoaded(TRunProgress& progress, size_t index, const std::unique_ptr<TBitmap>& bitmap)
{
    progress.FileLoaded(int(index), bitmap->Width(), bitmap->Height());
}

void ReportLoaded(TRunProgress& progress, size_t index, const TPrepared& prepared)
{
    progress.FileLoaded(int(index), prepared.Width, prepared.Height);
}

// The steps every run takes for each file, in list order: load (or take the file prepared
// ahead), decide against an existing output, write or skip, advance the progress. A failure
// on the way is reported and, if progress says so, passes the file over. An output decided
// as new is put in place only where nothing has its name by then; when something does (a
// file another program made while this one was encoded), the decision is made again.
template <typename TLoad, typename TEncode, typename TWritten>
TRunSummary Walk(const std::vector<std::string>& files, TTargetFormat format,
                 const TRunSettings& settings, TOverwriteDecisions& decisions,
                 TRunProgress& progress, TLoad load, TEncode encode, TWritten written)
{
    const bool placed = !settings.OutputPlaces.empty();
    TRunSummary summary;
    for (size_t i = 0; i < files.size(); ++i) {
        if (progress.StopRequested()) {
            summary.Aborted = true;
            return summary;
        }
        const std::string& source = files[i];
        progress.FileStarted(int(i), source);
        try {
            TWarnings sourceWarnings;
            auto loaded = load(i, sourceWarnings);
            if (settings.StrictSources && !sourceWarnings.empty()) {
                throw EInvalidGraphic(sourceWarnings.front());
            }
            ReportLoaded(progress, i, loaded);
            const std::string outputName = PlannedOutputName(files, i, format, settings);
            // Names found taken when the output was to go there, whatever they are now.
            std::set<std::string> lost;
            const TNameTaken taken = [&lost](const std::string& name) {
                return lost.count(name) != 0 || FileExists(name);
            };
            TOutputChoice choice = ChooseOutput(decisions, source, outputName, placed, taken);
            std::unique_ptr<TAtomicFileStream> stream;
            uint64_t bytes = 0;
            TWarnings warnings;
            TFileResult result = TFileResult::Skipped;
            while (choice.Action && *choice.Action != TOutputAction::Skip) {
                if (!stream) {
                    TOpenFolder folder;
                    if (placed) {
                        folder = MakeOutputFolders(settings.OutputFolder, choice.Name);
                    }
                    stream = encode(loaded, folder.Fd(), choice.Name, SourceMode(source), warnings);
                    // Written from the start; the committed stream is closed.
                    bytes = uint64_t(stream->Position());
                }
                if (*choice.Action == TOutputAction::Overwrite) {
                    KAPTO_ASSERT(choice.Name == stream->FileName());
                    stream->Commit();
                } else if (!stream->CommitNew(choice.Name)) {
                    lost.insert(choice.Name);
                    choice = ChooseAgain(decisions, choice, source, outputName, placed, taken);
                    continue;
                }
                progress.FileWritten(int(i), choice.Name, bytes);
                written(choice.Name);
                result = TFileResult::Converted;
                break;
            }
            if (!choice.Action) {
                summary.Aborted = true;
                return summary;
            }
            if (result == TFileResult::Converted) {
                warnings.insert(warnings.begin(), sourceWarnings.begin(), sourceWarnings.end());
                for (const std::string& warning : warnings) {
                    progress.FileWarning(int(i), source, warning);
                }
            }
            ++(result == TFileResult::Converted ? summary.Converted : summary.Skipped);
            progress.FileFinished(int(i), result);
        } catch (...) {
            const std::exception_ptr failure = std::current_exception();
            if (progress.FileFailed(int(i), source, DescribeFailure(failure)) ==
                TFailureAnswer::Stop) {
                throw;
            }
            ++summary.Failed;
            progress.FileFinished(int(i), TFileResult::Failed);
        }
        progress.SetPosition(int(i) + 1);
    }
    return summary;
}

TRunSummary RunSerial(const std::vector<std::string>& files, TTargetFormat format,
                      const TConversionOptions& options, const TRunSettings& settings,
                      TOverwriteDecisions& decisions, TRunProgress& progress)
{
    return Walk(
        files, format, settings, decisions, progress,
        [&](size_t i, TWarnings& sourceWarnings) {
            // Every file starts from a new, empty bitmap (see Prepare).
            auto bitmap = std::make_unique<TBitmap>();
            LoadSource(files[i], *bitmap, &sourceWarnings);
            return bitmap;
        },
        [&](std::unique_ptr<TBitmap>& bitmap, int folder, const std::string& name,
            unsigned newFileMode, TWarnings& warnings) {
            auto stream = std::make_unique<TAtomicFileStream>(folder, name, newFileMode);
            warnings = EncodeConverted(options, format, *bitmap, *stream);
            return stream;
        },
        [](const std::string&) {});
}

TRunSummary RunPipelined(const std::vector<std::string>& files, TTargetFormat format,
                         const TConversionOptions& options, const TRunSettings& settings,
                         TOverwriteDecisions& decisions, TRunProgress& progress, int jobs)
{
    TMemoryBudget& budget = settings.Budget != nullptr ? *settings.Budget : SharedMemoryBudget();
    TPreparer preparer(files, format, options, jobs, budget);
    // Files this run has written, by canonical name, with the number of their write.
    std::map<std::string, uint64_t> written;
    return Walk(
        files, format, settings, decisions, progress,
        [&](size_t i, TWarnings& sourceWarnings) {
            TPrepared prepared = preparer.Take(i);
            // A source the run itself wrote after it was read ahead (a.bmp written to a.png,
            // then a.png listed) must be read again, as the serial run reads it only now.
            const auto rewritten = written.find(CanonicalName(files[i]));
            if (rewritten != written.end() && rewritten->second > prepared.WritesBeforeLoad) {
                prepared = Prepare(files[i], format, options, preparer.Writes(), budget, i);
            }
            if (prepared.LoadError) {
                std::rethrow_exception(prepared.LoadError);
            }
            sourceWarnings = prepared.SourceWarnings;
            return prepared;
        },
        [&](TPrepared& prepared, int folder, const std::string& name, unsigned newFileMode,
            TWarnings& warnings) {
            warnings = prepared.Warnings;
            return WriteBytes(folder, name, newFileMode, prepared);
        },
        [&](const std::string& name) {
            preparer.CountWrite();
            written[CanonicalName(name)] = preparer.Writes();
        });
}

} // namespace

std::string PlannedOutputName(const std::vector<std::string>& files, size_t index,
                              TTargetFormat format, const TRunSettings& settings)
{
    const std::string& place =
        settings.OutputPlaces.empty() ? files[index] : settings.OutputPlaces[index];
    return OutputFileName(place, TargetExtension(format));
}

TRunSummary RunConversion(const std::vector<std::string>& files, TTargetFormat format,
                          const TConversionOptions& options, TOverwritePrompt& prompt,
                          TRunProgress& progress, const TRunSettings& settings)
{
    KAPTO_ASSERT(settings.OutputPlaces.empty() || settings.OutputPlaces.size() == files.size());
    progress.SetPosition(0);
    progress.SetMaximum(int(files.size()));
    TOverwriteDecisions decisions(prompt);
    const int jobs = settings.Jobs <= 0 ? DefaultJobs() : settings.Jobs;
    // Nothing to overlap for a single file.
    if (jobs == 1 || files.size() <= 1) {
        return RunSerial(files, format, options, settings, decisions, progress);
    }
    return RunPipelined(files, format, options, settings, decisions, progress,
                        int(std::min<size_t>(size_t(jobs), files.size())));
}

TRunSummary RunConversion(const std::vector<std::string>& files, TTargetFormat format,
                          const TConversionOptions& options, TOverwritePrompt& prompt,
                          TRunProgress& progress, int jobs, TMemoryBudget* budget)
{
    TRunSettings settings;
    settings.Jobs = jobs;
    settings.Budget = budget;
    return RunConversion(files, format, options, prompt, progress, settings);
}

} // namespace kapto
