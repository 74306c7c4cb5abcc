#pragma once
// What a decoder tells the reader of a source without failing: a file that ends early still
// gives its picture, and the user is told what is missing.

#include <cstdint>
#include <string>
#include <vector>

namespace kapto {

// While alive, collects the warnings that decoders report on the calling thread. Scopes nest;
// the innermost one collects.
class TSourceWarningScope
{
public:
    TSourceWarningScope();
    ~TSourceWarningScope();
    TSourceWarningScope(const TSourceWarningScope&) = delete;
    TSourceWarningScope& operator=(const TSourceWarningScope&) = delete;

    const std::vector<std::string>& Warnings() const { return m_warnings; }

private:
    friend void ReportSourceWarning(const std::string& message);
    std::vector<std::string> m_warnings;
    TSourceWarningScope* m_outer;
};

// Hands a warning to the calling thread's scope; without one it goes nowhere.
void ReportSourceWarning(const std::string& message);

// The file ended before the picture did: "warning: the file ends early; N of M rows are
// missing".
void ReportRowsMissing(uint64_t missing, uint64_t rows);

} // namespace kapto
