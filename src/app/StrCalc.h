#pragma once
// Small byte-string helpers for fixed-width fields. Texts are byte strings in the system's
// multi-byte code page, where a byte in $80-$9F or $E0-$FE starts a two-byte character.

#include <cstdint>
#include <string>

namespace kapto {

// The text right-aligned in a field of width bytes, padded on the left with fill or cut to
// its last width bytes; a cut that would split a two-byte character starts with a space
// instead, and a negative number padded with "0" keeps its sign in front.
std::string FormatField(const std::string& text, uint8_t width, char fill);
// count copies of the character; empty for 0.
std::string RepeatChar(char character, uint8_t count);
// Whether byte n (1-based) of the text is the first byte of a two-byte character.
bool LeadByteAt(const std::string& text, int64_t n);
// The last count bytes of the text (all of it when it is shorter; empty for count <= 0).
std::string RightPart(const std::string& text, int64_t count);

} // namespace kapto
