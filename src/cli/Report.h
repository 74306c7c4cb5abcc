#pragma once
// The machine-readable report of a run (--report): one JSON object per file, on its own line,
// written as the file ends, and a last line with the totals.

#include "app/ConversionRun.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kapto {

// text as a JSON string: quoted, escaped, and with every byte sequence that is not UTF-8
// written as U+FFFD. isValid tells whether the text was UTF-8.
std::string JsonString(const std::string& text, bool* isValid = nullptr);
// The bytes in base64 (RFC 4648, with padding).
std::string Base64(const std::string& bytes);

// The report's file opened for writing ("-": standard output), or -1 with a line on
// standard error.
int OpenReport(const std::string& fileName);

// Passes everything on to inner (the terminal's progress) and writes the report to fd, one
// write per line, so that a run ended at any moment leaves whole lines.
class TReportProgress : public TRunProgress
{
public:
    TReportProgress(TRunProgress& inner, int fd) : m_inner(inner), m_fd(fd) {}

    void SetMaximum(int maximum) override { m_inner.SetMaximum(maximum); }
    void SetPosition(int position) override { m_inner.SetPosition(position); }
    void FileStarted(int index, const std::string& sourceName) override;
    void FileLoaded(int index, int width, int height) override;
    void FileWritten(int index, const std::string& outputName, uint64_t bytes) override;
    void FileFinished(int index, TFileResult result) override;
    void FileWarning(int index, const std::string& sourceName, const std::string& message) override;
    TFailureAnswer FileFailed(int index, const std::string& sourceName,
                              const TFailure& failure) override;

    // The totals line: at the end of the run (aborted: --on-exists abort ended it), or from
    // the thread that ends the process on a signal (signal: its number).
    void WriteTotals(bool aborted, int signal = 0);
    // Whether every line reached the file.
    bool Written() const { return !m_writeFailed; }
    // The errno of the write that failed; 0 when it wrote nothing without one.
    int WriteError() const { return m_writeError; }

private:
    void WriteFileLine(const char* result);
    void WriteLine(const std::string& line, bool last = false);

    TRunProgress& m_inner;
    int m_fd;
    std::mutex m_mutex; // one line at a time, and nothing after the totals
    bool m_ended = false;
    std::atomic<bool> m_writeFailed{false};
    std::atomic<int> m_writeError{0};
    // The file under way.
    std::string m_source;
    std::string m_output;
    std::string m_message;
    std::string m_warning;
    bool m_hasMessage = false;
    bool m_hasWarning = false;
    bool m_hasOutput = false;
    uint64_t m_bytes = 0;
    int m_width = 0;
    int m_height = 0;
    std::chrono::steady_clock::time_point m_started;
    // The totals so far.
    std::atomic<int> m_converted{0};
    std::atomic<int> m_skipped{0};
    std::atomic<int> m_failed{0};
    std::atomic<uint64_t> m_totalBytes{0};
    std::chrono::steady_clock::time_point m_runStarted = std::chrono::steady_clock::now();
};

} // namespace kapto
