#pragma once
// Command lines for the tests that run kapto-convert through the shell.

#include <string>

// The text as one word of a POSIX shell command line, in single quotes.
inline std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}
