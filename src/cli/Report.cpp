#include "cli/Report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace kapto {

namespace {

// The length of the UTF-8 sequence at text[i], or 0 when none starts there (a stray
// continuation byte, an overlong form, a surrogate, a code point past U+10FFFF, a cut end).
size_t Utf8Length(const std::string& text, size_t i)
{
    const auto byte = [&text](size_t at) { return at < text.size() ? uint8_t(text[at]) : 0; };
    const auto continuation = [&byte](size_t at) { return (byte(at) & 0xC0) == 0x80; };
    const uint8_t lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return continuation(i + 1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const uint8_t second = byte(i + 1);
        const bool inRange = lead == 0xE0   ? second >= 0xA0
                             : lead == 0xED ? second < 0xA0 // no surrogates
                                            : true;
        return continuation(i + 1) && inRange && continuation(i + 2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const uint8_t second = byte(i + 1);
        const bool inRange = lead == 0xF0 ? second >= 0x90 : lead == 0xF4 ? second < 0x90 : true;
        return continuation(i + 1) && inRange && continuation(i + 2) && continuation(i + 3) ? 4 : 0;
    }
    return 0;
}

int64_t MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

std::string JsonOrNull(bool present, const std::string& text)
{
    return present ? JsonString(text) : "null";
}

} // namespace

std::string JsonString(const std::string& text, bool* isValid)
{
    static const char kHex[] = "0123456789abcdef";
    std::string json = "\"";
    bool valid = true;
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            json += "\xEF\xBF\xBD";
            valid = false;
            ++i;
            continue;
        }
        const char c = text[i];
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\t') {
            json += "\\t";
        } else if (uint8_t(c) < 0x20 || c == 0x7F) {
            json += "\\u00";
            json += kHex[uint8_t(c) >> 4];
            json += kHex[uint8_t(c) & 15];
        } else {
            json.append(text, i, length);
        }
        i += length;
    }
    if (isValid != nullptr) {
        *isValid = valid;
    }
    return json + "\"";
}

std::string Base64(const std::string& bytes)
{
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t j = 0; j < 3; ++j) {
            group = group << 8 | (j < n ? uint8_t(bytes[i + j]) : 0u);
        }
        for (size_t j = 0; j < 4; ++j) {
            encoded += j <= n ? kAlphabet[group >> (18 - 6 * j) & 63] : '=';
        }
    }
    return encoded;
}

int OpenReport(const std::string& fileName)
{
    if (fileName == "-") {
        return STDOUT_FILENO;
    }
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        std::cerr << "kapto-convert: cannot write " << fileName << ": " << std::strerror(error)
                  << std::endl;
    }
    return fd;
}

void TReportProgress::FileStarted(int index, const std::string& sourceName)
{
    m_source = sourceName;
    m_output.clear();
    m_message.clear();
    m_warning.clear();
    m_hasMessage = m_hasWarning = m_hasOutput = false;
    m_bytes = 0;
    m_width = m_height = 0;
    m_started = std::chrono::steady_clock::now();
    m_inner.FileStarted(index, sourceName);
}

void TReportProgress::FileLoaded(int index, int width, int height)
{
    m_width = width;
    m_height = height;
    m_inner.FileLoaded(index, width, height);
}

void TReportProgress::FileWritten(int index, const std::string& outputName, uint64_t bytes)
{
    m_output = outputName;
    m_hasOutput = true;
    m_bytes = bytes;
    m_inner.FileWritten(index, outputName, bytes);
}

void TReportProgress::FileWarning(int index, const std::string& sourceName,
                                  const std::string& message)
{
    m_warning += (m_hasWarning ? "; " : "") + message;
    m_hasWarning = true;
    m_inner.FileWarning(index, sourceName, message);
}

TFailureAnswer TReportProgress::FileFailed(int index, const std::string& sourceName,
                                           const TFailure& failure)
{
    m_message = failure.OneLine();
    m_hasMessage = true;
    const TFailureAnswer answer = m_inner.FileFailed(index, sourceName, failure);
    // A failure that stops the run leaves it without finishing the file.
    if (answer == TFailureAnswer::Stop) {
        WriteFileLine("failed");
        ++m_failed;
    }
    return answer;
}

void TReportProgress::FileFinished(int index, TFileResult result)
{
    WriteFileLine(result == TFileResult::Converted ? "converted"
                  : result == TFileResult::Skipped ? "skipped"
                                                   : "failed");
    ++(result == TFileResult::Converted ? m_converted
       : result == TFileResult::Skipped ? m_skipped
                                        : m_failed);
    m_totalBytes += m_bytes;
    m_inner.FileFinished(index, result);
}

void TReportProgress::WriteFileLine(const char* result)
{
    bool sourceValid = true;
    bool outputValid = true;
    std::string line = "{\"source\":" + JsonString(m_source, &sourceValid);
    line += ",\"output\":" + (m_hasOutput ? JsonString(m_output, &outputValid) : "null");
    line += ",\"result\":\"" + std::string(result) + "\"";
    line += ",\"message\":" + JsonOrNull(m_hasMessage, m_message);
    line += ",\"warning\":" + JsonOrNull(m_hasWarning, m_warning);
    line += ",\"bytes\":" + std::to_string(m_bytes);
    line += ",\"width\":" + std::to_string(m_width);
    line += ",\"height\":" + std::to_string(m_height);
    line += ",\"milliseconds\":" + std::to_string(MillisecondsSince(m_started));
    // The names exactly, for a reader that must find the file.
    if (!sourceValid) {
        line += ",\"source_bytes\":\"" + Base64(m_source) + "\"";
    }
    if (!outputValid) {
        line += ",\"output_bytes\":\"" + Base64(m_output) + "\"";
    }
    WriteLine(line + "}\n");
}

void TReportProgress::WriteTotals(bool aborted, int signal)
{
    std::string line = "{\"totals\":true";
    line += ",\"converted\":" + std::to_string(m_converted.load());
    line += ",\"skipped\":" + std::to_string(m_skipped.load());
    line += ",\"failed\":" + std::to_string(m_failed.load());
    line += ",\"bytes\":" + std::to_string(m_totalBytes.load());
    line += ",\"milliseconds\":" + std::to_string(MillisecondsSince(m_runStarted));
    line += std::string(",\"aborted\":") + (aborted ? "true" : "false");
    line += ",\"signal\":" + (signal != 0 ? std::to_string(signal) : std::string("null"));
    WriteLine(line + "}\n", true);
}

void TReportProgress::WriteLine(const std::string& line, bool last)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_ended || m_writeFailed) {
        return;
    }
    m_ended = last;
    // One write for the whole line where the file takes it.
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(m_fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_writeError = n < 0 ? errno : 0;
            m_writeFailed = true;
            return;
        }
        done += size_t(n);
    }
}

} // namespace kapto
