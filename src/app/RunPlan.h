#pragma once
// The plan of a run before anything is written: each file's output name and what stands in
// its way.

#include "app/ConversionRun.h"

#include <string>
#include <vector>

namespace kapto {

struct TPlannedOutput
{
    std::string Source;
    std::string Output;          // before any numbered name the run may choose
    bool Exists = false;         // the output exists now, so the run will ask about it
    int SameAsEarlier = -1;      // the index of an earlier file with the same output, or -1
    bool ReplacesSource = false; // the output is the source itself
};

// One entry per file, in run order.
std::vector<TPlannedOutput> PlanRun(const std::vector<std::string>& files, TTargetFormat format,
                                    const TRunSettings& settings);

} // namespace kapto
