#pragma once
// The overwrite decisions of a run, made by the same code whether the run writes or only
// shows its plan: the action for each file's output and the name the output takes.

#include "app/ConversionRun.h"

#include <functional>
#include <optional>
#include <string>

namespace kapto {

enum class TOutputAction
{
    New,       // nothing has the name: written only where nothing has it by then either
    Overwrite, // replaces what has the name
    Rename,    // a numbered name, written only where nothing has it by then
    Skip       // nothing is written
};

// Whether something has a name now (a file of the disk, or an output the plan wrote).
using TNameTaken = std::function<bool(const std::string& name)>;

// The answers of the overwrite question over one run, with the choice remembered for the
// rest of the run once "残りのファイルも同様に処理" was ticked.
class TOverwriteDecisions
{
public:
    explicit TOverwriteDecisions(TOverwritePrompt& prompt) : m_prompt(prompt) {}

    // The action for an output name, or none when the run is to stop.
    std::optional<TOutputAction> Decide(const std::string& outputName, bool taken);

private:
    TOverwritePrompt& m_prompt;
    bool m_applyToRest = false;
    TOutputAction m_remembered = TOutputAction::Skip;
};

struct TOutputChoice
{
    std::optional<TOutputAction> Action; // none: the run stops at this file
    std::string Name;                    // where the output goes
};

// The choice for one file: its planned output name settled against what has that name. With
// placed outputs a source is never its own output: it takes the first free numbered name.
// Raises EFCreateError naming the output when all 100 numbered names are taken.
TOutputChoice ChooseOutput(TOverwriteDecisions& decisions, const std::string& source,
                           const std::string& outputName, bool placed, const TNameTaken& taken);

// The choice again for a file whose chosen name was taken when its output was put in place:
// a numbered name moves on to the next free number; a new name is decided as if it had been
// taken from the start.
TOutputChoice ChooseAgain(TOverwriteDecisions& decisions, const TOutputChoice& previous,
                          const std::string& source, const std::string& outputName, bool placed,
                          const TNameTaken& taken);

// The first numbered name (-01 … -99, then -00) of the output name that is not taken.
// Raises EFCreateError naming the output file when all 100 are.
std::string FirstFreeNumberedName(const std::string& outputName, const TNameTaken& taken);

} // namespace kapto
