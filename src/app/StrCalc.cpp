#include "app/StrCalc.h"

namespace kapto {

namespace {

bool IsLeadByte(uint8_t byte)
{
    return (byte >= 0x80 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFE);
}

} // namespace

std::string RepeatChar(char character, uint8_t count)
{
    return std::string(count, character);
}

bool LeadByteAt(const std::string& text, int64_t n)
{
    if (n <= 0 || n > int64_t(text.size())) {
        return false;
    }
    bool lead = false;
    for (int64_t i = 0; i < n; ++i) {
        lead = lead ? false : IsLeadByte(uint8_t(text[size_t(i)]));
    }
    return lead;
}

std::string RightPart(const std::string& text, int64_t count)
{
    if (count <= 0) {
        return "";
    }
    if (count >= int64_t(text.size())) {
        return text;
    }
    return text.substr(text.size() - size_t(count));
}

std::string FormatField(const std::string& text, uint8_t width, char fill)
{
    const int64_t length = int64_t(text.size());
    if (length > width && LeadByteAt(text, length - width)) {
        return " " + RightPart(text, int64_t(width) - 1);
    }
    if (!text.empty() && text[0] == '-' && fill == '0') {
        // A text longer than the field keeps all its digits behind the sign.
        const int64_t padding = width > length ? width - length : 0;
        return "-" + RepeatChar(fill, uint8_t(padding)) + text.substr(1);
    }
    return RightPart(RepeatChar(fill, width) + text, width);
}

} // namespace kapto
