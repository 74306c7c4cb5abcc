#include "cli/Terminal.h"

#include "runtime/Language.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace kapto {

namespace {

// The length of the UTF-8 character at text[at] (1 to 4), or 0 when the bytes there are not
// one: a stray continuation byte, an overlong form, a surrogate, a value past U+10FFFF or a
// sequence cut short.
size_t CharacterLength(const std::string& text, size_t at)
{
    const auto byte = [&](size_t i) { return uint8_t(text[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    uint32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        value = value << 6 | (byte(at + i) & 0x3Fu);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// C0 and C1 control characters and DEL: what a terminal may act on.
bool IsControl(const std::string& text, size_t at, size_t length)
{
    const uint8_t lead = uint8_t(text[at]);
    return (length == 1 && (lead < 0x20 || lead == 0x7F)) ||
           (length == 2 && lead == 0xC2 && uint8_t(text[at + 1]) < 0xA0);
}

void AppendHex(std::string& out, uint8_t value)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[value >> 4];
    out += digits[value & 0xF];
}

// Whether the name shows as it is.
bool IsPlain(const std::string& name)
{
    for (size_t at = 0; at < name.size();) {
        const size_t length = CharacterLength(name, at);
        if (length == 0 || IsControl(name, at, length)) {
            return false;
        }
        at += length;
    }
    return true;
}

} // namespace

std::string QuotedName(const std::string& name)
{
    if (IsPlain(name)) {
        return name;
    }
    std::string out = "$'";
    for (size_t at = 0; at < name.size();) {
        const size_t length = CharacterLength(name, at);
        const char c = name[at];
        if (length == 0) {
            AppendHex(out, uint8_t(c));
            ++at;
            continue;
        }
        if (IsControl(name, at, length)) {
            switch (c) {
            case '\033':
                out += "\\e";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                for (size_t i = 0; i < length; ++i) {
                    AppendHex(out, uint8_t(name[at + i]));
                }
                break;
            }
        } else if (c == '\\' || c == '\'') {
            out += '\\';
            out += c;
        } else {
            out.append(name, at, length);
        }
        at += length;
    }
    return out + "'";
}

std::string PrintableText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = CharacterLength(text, at);
        if (text.compare(at, 2, "\r\n") == 0 || text[at] == '\n') {
            out += ' ';
            at += text[at] == '\r' ? 2 : 1;
        } else if (length == 0 || IsControl(text, at, length)) {
            out += '?';
            at += length == 0 ? 1 : length;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

std::string TextTail(const std::string& text, size_t maxBytes)
{
    if (text.size() <= maxBytes || maxBytes < 3) {
        return text;
    }
    size_t start = text.size() - (maxBytes - 3);
    // Past continuation bytes to the start of a character.
    while (start < text.size() && (uint8_t(text[start]) & 0xC0) == 0x80) {
        ++start;
    }
    return "..." + text.substr(start);
}

TTerminalPrompt::TTerminalPrompt()
{
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        m_terminal = ::fdopen(fd, "r+");
        if (m_terminal == nullptr) {
            ::close(fd);
        }
    }
}

TTerminalPrompt::~TTerminalPrompt()
{
    if (m_terminal != nullptr) {
        std::fclose(m_terminal);
    }
}

void TTerminalPrompt::Write(const std::string& text)
{
    FILE* out = m_terminal != nullptr ? m_terminal : stderr;
    // A stream opened for reading and writing needs a positioning call between the two.
    if (m_terminal != nullptr) {
        std::fseek(m_terminal, 0, SEEK_CUR);
    }
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

bool TTerminalPrompt::ReadAnswer(std::string& answer)
{
    FILE* in = m_terminal != nullptr ? m_terminal : stdin;
    // A stream opened for reading and writing needs a positioning call between the two.
    if (m_terminal != nullptr) {
        std::fseek(m_terminal, 0, SEEK_CUR);
    }
    answer.clear();
    for (int c = std::fgetc(in); c != '\n'; c = std::fgetc(in)) {
        if (c == EOF) {
            return !answer.empty();
        }
        answer += char(c);
    }
    if (!answer.empty() && answer.back() == '\r') {
        answer.pop_back();
    }
    return true;
}

TOverwriteAnswer TTerminalPrompt::Ask(const std::string& outputName)
{
    TOverwriteAnswer skipRest{owSkip, true};
    if (m_gaveUp) {
        return skipRest;
    }
    Write(std::string("\n") + InLanguage("ファイルの上書き確認: ", "Confirm overwrite: ") +
          QuotedName(outputName) + "\n" +
          InLanguage("同名のファイルが存在します。処理を選択してください。",
                     "A file of that name exists. Choose what to do.") +
          "\n");
    TOverwriteAnswer answer;
    for (int attempts = 0;; ++attempts) {
        std::string line;
        if (attempts == 3) {
            m_gaveUp = true;
            return skipRest;
        }
        Write(InLanguage("  [o] 上書き  [r] 名前を変更(No.を付加)  [s] 保存しない  "
                         "[a] 全体の処理を中止 > ",
                         "  [o] Overwrite  [r] Rename (add a number)  [s] Don't save  "
                         "[a] Stop the whole run > "));
        if (!ReadAnswer(line)) {
            Write("\n");
            m_gaveUp = true;
            return skipRest;
        }
        if (line == "o" || line == "r" || line == "s" || line == "a") {
            answer.Result = line == "o"   ? owOverwrite
                            : line == "r" ? owRename
                            : line == "s" ? owSkip
                                          : owAbort;
            break;
        }
    }
    if (answer.Result == owAbort) {
        return answer;
    }
    Write(InLanguage("  残りのファイルも同様に処理 [y/N] > ",
                     "  Do the same for the remaining files [y/N] > "));
    std::string line;
    answer.ApplyToRest = ReadAnswer(line) && (line == "y" || line == "Y");
    return answer;
}

} // namespace kapto
