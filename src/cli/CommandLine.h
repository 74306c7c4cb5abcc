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
    bool Quiet = false;
    int Jobs = 0;           // files loaded and encoded at once; 0: one per core
    uint64_t MaxMemory = 0; // bytes the pictures decoded at once may take; 0: the default
    TConversionOptions Options;
};

// Parses the arguments into commandLine. Returns -1 when the run should go on, otherwise
// the exit status: 0 after --help or --version, 2 for bad usage (with a one-line reason on
// standard error). interactive: standard input is a terminal (the default of --on-exists).
int ParseCommandLine(int argc, const char* const* argv, bool interactive,
                     TCommandLine& commandLine);

} // namespace kapto
