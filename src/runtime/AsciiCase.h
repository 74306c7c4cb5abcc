#pragma once
// Case mapping of file names and extensions: only "a" to "z" and "A" to "Z" change, so the
// bytes of UTF-8 names stay as they are.

#include <string>

namespace kapto {

// The text with "a" to "z" upper-cased and every other byte unchanged.
inline std::string UpperCaseAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = char(c - 'a' + 'A');
        }
    }
    return text;
}

// The text with "A" to "Z" lower-cased and every other byte unchanged.
inline std::string LowerCaseAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return text;
}

} // namespace kapto
