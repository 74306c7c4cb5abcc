#pragma once
// The plan of a run before anything is written: each file's output name and what stands in
// its way, settled by the decisions the run itself would make.

#include "app/ConversionRun.h"

#include <string>
#include <vector>

namespace kapto {

struct TPlannedOutput
{
    std::string Source;
    std::string Output;          // where the run writes it: a numbered name where it takes one
    bool Exists = false;         // the planned output name exists now
    int SameAsEarlier = -1;      // the index of an earlier file with the same output, or -1
    bool ReplacesSource = false; // the output is the source itself, and the run replaces it
    std::string Problem;         // the message the run fails this file with, or empty
};

// One entry per file, in run order. The answers of the overwrite question come from prompt
// (a fixed policy; one that answers "skip" where the answer is not known in advance), and
// the outputs of earlier files count as existing for later ones, as they do in the run.
std::vector<TPlannedOutput> PlanRun(const std::vector<std::string>& files, TTargetFormat format,
                                    const TRunSettings& settings, TOverwritePrompt& prompt);

} // namespace kapto
