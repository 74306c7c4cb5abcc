#pragma once
// The conversion run: every listed file in order is loaded, given its output name beside
// the source, settled against an existing file of that name, and written.

#include "app/Options.h"

#include <string>
#include <vector>

namespace kapto {

class TMemoryBudget;

enum class TTargetFormat
{
    Png,
    Bmp
};

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
    int Result = owSkip;
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
    Skipped    // an existing output left alone
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
    // A file is done, before the position moves past it.
    virtual void FileFinished(int /*index*/, TFileResult /*result*/) {}
};

struct TRunSummary
{
    int Converted = 0; // files written
    int Skipped = 0;   // existing outputs left alone
    bool Aborted = false;
};

// The run. Failures leave as exceptions: the run ends at that file, files already written
// stay, and the progress position stays where it was.
//
// jobs: how many files are loaded and encoded at once; 1 is the plain serial run, 0 one per
// core. Whatever the count, decisions and writes happen on the calling thread in list order,
// exactly as in the serial run, and every file written has the serial run's bytes; work done
// ahead for a file that is skipped, or that lies after an error or an abort, is dropped.
// The pictures decoded side by side share the budget (the shared one when none is given):
// a file whose pictures would exceed it waits for the files before it.
TRunSummary RunConversion(const std::vector<std::string>& files, TTargetFormat format,
                          const TConversionOptions& options, TOverwritePrompt& prompt,
                          TRunProgress& progress, int jobs = 1, TMemoryBudget* budget = nullptr);

// The number of files a run with jobs 0 works on at once: the machine's cores.
int DefaultJobs();

// The first numbered name (-01 … -99, then -00) of the output name that does not exist.
// Raises EFCreateError naming the output file when all 100 exist.
std::string FirstFreeNumberedName(const std::string& outputName);

} // namespace kapto
