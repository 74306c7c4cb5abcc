#pragma once
// The conversion run: every listed file in order is loaded, given its output name beside
// the source, settled against an existing file of that name, and written.

#include "app/Options.h"
#include "runtime/Exceptions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kapto {

class TMemoryBudget;

// ".png" or ".bmp".
std::string TargetExtension(TTargetFormat format);

// The answers of the overwrite question, by the dialog's modal results.
enum TOverwriteResult : int
{
    owOverwrite = 1, // "上書き"
    owSkip = 2,      // "保存しない", also when the dialog is closed
    owAbort = 3,     // "全体の処理を中止"
    owRename = 4     // "名前を変更(No.を付加)"
};

struct TOverwriteAnswer
{
    TOverwriteResult Result = owSkip;
    bool ApplyToRest = false; // "残りのファイルも同様に処理"
};

// Asks what to do when an output name exists. One prompt object serves one run, so a tick
// of "残りのファイルも同様に処理" may be kept between questions.
class TOverwritePrompt
{
public:
    virtual ~TOverwritePrompt() = default;
    virtual TOverwriteAnswer Ask(const std::string& outputName) = 0;
};

enum class TFileResult
{
    Converted, // written
    Skipped,   // an existing output left alone
    Failed     // could not be loaded, converted or written, and passed over
};

// What the run does after a file failed.
enum class TFailureAnswer
{
    Stop,    // the failure leaves the run as its exception
    SkipFile // the file is passed over and the run goes on
};

// Where the run reports its progress: the maximum once, then the position after each file.
class TRunProgress
{
public:
    virtual ~TRunProgress() = default;
    virtual void SetMaximum(int maximum) = 0;
    virtual void SetPosition(int position) = 0;
    // A file is about to be loaded.
    virtual void FileStarted(int /*index*/, const std::string& /*sourceName*/) {}
    // A file was loaded: the picture's size in pixels. Called on the run's thread.
    virtual void FileLoaded(int /*index*/, int /*width*/, int /*height*/) {}
    // A file's output was put in place under outputName, bytes long.
    virtual void FileWritten(int /*index*/, const std::string& /*outputName*/, uint64_t /*bytes*/)
    {}
    // A file is done, before the position moves past it.
    virtual void FileFinished(int /*index*/, TFileResult /*result*/) {}
    // A file was written, with a note the user is to read (one line, without the file's name).
    virtual void FileWarning(int /*index*/, const std::string& /*sourceName*/,
                             const std::string& /*message*/)
    {}
    // A file failed; failure is what the user is to see. Nothing partial of it is on disk.
    virtual TFailureAnswer FileFailed(int /*index*/, const std::string& /*sourceName*/,
                                      const TFailure& /*failure*/)
    {
        return TFailureAnswer::Stop;
    }
    // Asked before each file: true ends the run there, as an abort does, after the files
    // already handled. Called on the run's thread; an override may read a flag set elsewhere.
    virtual bool StopRequested() { return false; }
};

struct TRunSummary
{
    int Converted = 0; // files written
    int Skipped = 0;   // existing outputs left alone
    int Failed = 0;    // files passed over after a failure
    bool Aborted = false;
};

// How a run goes about its work; the defaults are the window's plain run on one thread.
struct TRunSettings
{
    // How many files are loaded and encoded at once; 1 is the plain serial run, 0 one per
    // core. Whatever the count, decisions and writes happen on the calling thread in list
    // order, exactly as in the serial run, and every file written has the serial run's bytes;
    // work done ahead for a file that is skipped, or that lies after an error or an abort, is
    // dropped.
    int Jobs = 1;
    // The budget that the pictures decoded side by side share; none: the shared one. A file
    // whose pictures would exceed it waits for the files before it.
    TMemoryBudget* Budget = nullptr;
    // Where each file's output goes, as the name whose extension the output's replaces (the
    // output of photos/trip/a.jpg placed at out/trip/a.jpg is out/trip/a.png); empty: beside
    // the sources. Folders are made as needed, and a source is never its own output there:
    // such an output takes the first free numbered name.
    std::vector<std::string> OutputPlaces;
    // The folder the places lie under, if any: the folders below it are made and entered
    // without following links, so no output leaves it; a link on the way fails that file.
    std::string OutputFolder;
    // A source that ends early fails with its warning instead of converting with the rows
    // it holds.
    bool StrictSources = false;
};

// The run. A failure is reported to progress, which may pass the file over; otherwise it
// leaves as an exception: the run ends at that file, files already written stay, and the
// progress position stays where it was.
TRunSummary RunConversion(const std::vector<std::string>& files, TTargetFormat format,
                          const TConversionOptions& options, TOverwritePrompt& prompt,
                          TRunProgress& progress, const TRunSettings& settings);

// The run with the default settings but for the number of jobs and the budget.
TRunSummary RunConversion(const std::vector<std::string>& files, TTargetFormat format,
                          const TConversionOptions& options, TOverwritePrompt& prompt,
                          TRunProgress& progress, int jobs = 1, TMemoryBudget* budget = nullptr);

// The output name of file index before any numbered name: beside the source, or at its place.
std::string PlannedOutputName(const std::vector<std::string>& files, size_t index,
                              TTargetFormat format, const TRunSettings& settings);

// The number of files a run with jobs 0 works on at once: the machine's cores.
int DefaultJobs();

// The first numbered name (-01 … -99, then -00) of the output name that does not exist.
// Raises EFCreateError naming the output file when all 100 exist.
std::string FirstFreeNumberedName(const std::string& outputName);

} // namespace kapto
