#pragma once
// The command line of kapto-convert: paths, target format, overwrite policy and the
// transparency options, each standing for a control of the main window.

#include "app/ConversionRun.h"
#include "app/Options.h"

#include <string>
#include <vector>

namespace kapto {

enum class TOnExists
{
    Ask,
    Overwrite,
    Rename,
    Skip,
    Abort
};

struct TCommandLine
{
    std::vector<std::string> Paths;
    TTargetFormat Format = TTargetFormat::Png;
    TOnExists OnExists = TOnExists::Skip;
    bool ListOnly = false;
    bool DryRun = false;    // print each file's output and what stands in its way, write nothing
    bool KeepGoing = false; // report a failed file and go on with the next
    bool Strict = false;    // a source that ends early fails instead of converting
    std::string OutDir;     // outputs under this folder instead of beside their sources
    std::string FilesFrom;  // more PATHs, read from this file ("-": standard input)
    bool NulTerminated = false; // --files-from, --list and --dry-run entries end with NUL
    std::string Base;           // with OutDir: every source keeps its path relative to this folder
    int ShardIndex = 0;         // 1 to ShardCount: the slice of the sources this run takes
    int ShardCount = 0;         // 0: the whole run
    std::string ReportFile;     // the JSON lines report ("-": standard output), or none
    bool Quiet = false;
    int Jobs = 0;           // files loaded and encoded at once; 0: one per core
    uint64_t MaxMemory = 0; // bytes the pictures decoded at once may take; 0: the default
    TConversionOptions Options;
};

// What parsing the command line leaves to do; the values are exit statuses but for Run.
enum class TParseResult
{
    Run = -1,     // carry on with the run
    Done = 0,     // --help or --version was answered
    BadUsage = 2, // a one-line reason went to standard error
};

// Parses the arguments into commandLine. interactive: standard input is a terminal (the
// default of --on-exists).
TParseResult ParseCommandLine(int argc, const char* const* argv, bool interactive,
                              TCommandLine& commandLine);

} // namespace kapto
