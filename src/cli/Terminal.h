#pragma once
// What kapto-convert prints for a person: file names made safe to show on a terminal, and the
// overwrite question, asked on the controlling terminal.

#include "app/ConversionRun.h"

#include <cstdio>
#include <string>

namespace kapto {

// The name as it may be shown: unchanged when it is valid UTF-8 without control characters,
// else quoted the way ls quotes names on a terminal, $'…' with \e, \n, \r, \t, \\, \' and \xHH
// for the other control characters and for bytes that are not UTF-8.
std::string QuotedName(const std::string& name);

// The text on one line that cannot drive the terminal: each line break (LF or CR LF) becomes a
// space, every other control character and every byte that is not UTF-8 a '?'.
std::string PrintableText(const std::string& text);

// The end of the text in at most maxBytes bytes, "..." and the last whole characters when it
// is longer.
std::string TextTail(const std::string& text, size_t maxBytes);

// The overwrite question with the texts of the window's dialog, read from and written to the
// controlling terminal (/dev/tty) when there is one, else standard input and standard error.
// An answer may end in CR LF. After three answers that mean nothing, or at the end of input,
// it stops asking: this and every later existing output are skipped, as closing the dialog
// does, and GaveUp() says so.
class TTerminalPrompt : public TOverwritePrompt
{
public:
    TTerminalPrompt();
    ~TTerminalPrompt() override;
    TTerminalPrompt(const TTerminalPrompt&) = delete;
    TTerminalPrompt& operator=(const TTerminalPrompt&) = delete;

    TOverwriteAnswer Ask(const std::string& outputName) override;
    bool GaveUp() const { return m_gaveUp; }

private:
    // The next answer without its line end; false at the end of input.
    bool ReadAnswer(std::string& answer);
    void Write(const std::string& text);

    FILE* m_terminal = nullptr; // /dev/tty, or none
    bool m_gaveUp = false;
};

} // namespace kapto
