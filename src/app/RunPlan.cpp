#include "app/RunPlan.h"

#include "app/FileNames.h"
#include "app/OutputDecision.h"
#include "app/OutputFolders.h"
#include "runtime/Exceptions.h"

#include <map>
#include <set>

namespace kapto {

std::vector<TPlannedOutput> PlanRun(const std::vector<std::string>& files, TTargetFormat format,
                                    const TRunSettings& settings, TOverwritePrompt& prompt)
{
    const bool placed = !settings.OutputPlaces.empty();
    TOverwriteDecisions decisions(prompt);
    std::set<std::string> written;
    const TNameTaken taken = [&written](const std::string& name) {
        return written.count(name) != 0 || FileExists(name);
    };
    std::vector<TPlannedOutput> plan;
    std::map<std::string, int> firstWithOutput;
    for (size_t i = 0; i < files.size(); ++i) {
        TPlannedOutput entry;
        entry.Source = files[i];
        const std::string planned = PlannedOutputName(files, i, format, settings);
        entry.Output = planned;
        entry.Exists = FileExists(planned);
        const auto [earlier, isFirst] = firstWithOutput.emplace(planned, int(i));
        if (!isFirst) {
            entry.SameAsEarlier = earlier->second;
        }
        try {
            const TOutputChoice choice =
                ChooseOutput(decisions, entry.Source, planned, placed, taken);
            if (choice.Action && *choice.Action != TOutputAction::Skip) {
                entry.Output = choice.Name;
                entry.Problem = placed ? OutputFolderProblem(settings.OutputFolder, choice.Name)
                                       : std::string();
                if (entry.Problem.empty()) {
                    written.insert(choice.Name);
                }
            }
        } catch (const std::exception&) {
            entry.Problem = DescribeFailure(std::current_exception()).OneLine();
        }
        // With placed outputs a source is never replaced: it takes a numbered name.
        entry.ReplacesSource = !placed && entry.Output == planned &&
                               (entry.Source == planned || IsSameFile(entry.Source, planned));
        plan.push_back(std::move(entry));
    }
    return plan;
}

} // namespace kapto
