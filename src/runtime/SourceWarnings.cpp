#include "runtime/SourceWarnings.h"

#include "runtime/Messages.h"

namespace kapto {

namespace {

thread_local TSourceWarningScope* t_scope = nullptr;

} // namespace

TSourceWarningScope::TSourceWarningScope() : m_outer(t_scope)
{
    t_scope = this;
}

TSourceWarningScope::~TSourceWarningScope()
{
    t_scope = m_outer;
}

void ReportSourceWarning(const std::string& message)
{
    if (t_scope != nullptr) {
        t_scope->m_warnings.push_back(message);
    }
}

void ReportRowsMissing(uint64_t missing, uint64_t rows)
{
    ReportSourceWarning(
        FormatMessage(TMessage::SourceEndsEarly, {std::to_string(missing), std::to_string(rows)}));
}

} // namespace kapto
