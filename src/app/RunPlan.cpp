#include "app/RunPlan.h"

#include "app/FileNames.h"

#include <map>

namespace kapto {

std::vector<TPlannedOutput> PlanRun(const std::vector<std::string>& files, TTargetFormat format,
                                    const TRunSettings& settings)
{
    std::vector<TPlannedOutput> plan;
    std::map<std::string, int> firstWithOutput;
    for (size_t i = 0; i < files.size(); ++i) {
        TPlannedOutput entry;
        entry.Source = files[i];
        entry.Output = PlannedOutputName(files, i, format, settings);
        entry.Exists = FileExists(entry.Output);
        entry.ReplacesSource =
            entry.Source == entry.Output || IsSameFile(entry.Source, entry.Output);
        const auto [earlier, isFirst] = firstWithOutput.emplace(entry.Output, int(i));
        if (!isFirst) {
            entry.SameAsEarlier = earlier->second;
        }
        plan.push_back(std::move(entry));
    }
    return plan;
}

} // namespace kapto
