#include "app/OutputDecision.h"

#include "app/FileNames.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"

namespace kapto {

std::optional<TOutputAction> TOverwriteDecisions::Decide(const std::string& outputName, bool taken)
{
    if (!taken) {
        return TOutputAction::New;
    }
    if (m_applyToRest) {
        return m_remembered;
    }
    const TOverwriteAnswer answer = m_prompt.Ask(outputName);
    switch (answer.Result) {
    case owAbort:
        return std::nullopt;
    case owOverwrite:
        m_remembered = TOutputAction::Overwrite;
        break;
    case owRename:
        m_remembered = TOutputAction::Rename;
        break;
    default:
        m_remembered = TOutputAction::Skip;
        break;
    }
    m_applyToRest = answer.ApplyToRest;
    return m_remembered;
}

std::string FirstFreeNumberedName(const std::string& outputName, const TNameTaken& taken)
{
    // Only the last two digits are kept, so there are exactly 100 distinct names.
    for (int n = 1; n <= 100; ++n) {
        const std::string name = NumberedFileName(outputName, n);
        if (!taken(name)) {
            return name;
        }
    }
    throw EFCreateError(FormatMessage(TMessage::FileCreateError, {outputName}));
}

namespace {

TOutputChoice Settle(const std::optional<TOutputAction>& action, const std::string& source,
                     const std::string& outputName, bool placed, const TNameTaken& taken)
{
    if (!action || *action == TOutputAction::Skip || *action == TOutputAction::New) {
        return {action, outputName};
    }
    if (*action == TOutputAction::Rename || (placed && IsSameFile(source, outputName))) {
        return {TOutputAction::Rename, FirstFreeNumberedName(outputName, taken)};
    }
    return {action, outputName};
}

} // namespace

TOutputChoice ChooseOutput(TOverwriteDecisions& decisions, const std::string& source,
                           const std::string& outputName, bool placed, const TNameTaken& taken)
{
    return Settle(decisions.Decide(outputName, taken(outputName)), source, outputName, placed,
                  taken);
}

TOutputChoice ChooseAgain(TOverwriteDecisions& decisions, const TOutputChoice& previous,
                          const std::string& source, const std::string& outputName, bool placed,
                          const TNameTaken& taken)
{
    if (previous.Action == TOutputAction::Rename) {
        return {TOutputAction::Rename, FirstFreeNumberedName(outputName, taken)};
    }
    // The name was free when it was chosen, and something has it now.
    return Settle(decisions.Decide(outputName, true), source, outputName, placed, taken);
}

} // namespace kapto
