#pragma once
// The language of the texts the user reads: Japanese, the program's own, or English.

#include <functional>
#include <string>

namespace kapto {

enum class TLanguage
{
    Japanese,
    English
};

// The language the environment asks for. The first of KAPTO_LANG, LC_ALL, LC_MESSAGES and
// LANG that is set and not empty decides, in the order POSIX gives locale variables: Japanese
// when it starts with "ja" or is "C" or "POSIX" (with or without a suffix such as ".UTF-8"),
// English for anything else. Japanese when none is set. lookup reads a variable; "" is unset.
TLanguage LanguageFromEnvironment(const std::function<std::string(const char* name)>& lookup);
TLanguage LanguageFromEnvironment();

// The language of every text the program shows; Japanese until set, usually once at start.
TLanguage CurrentLanguage();
void SetLanguage(TLanguage language);

// The text in the current language, from its Japanese and English forms.
inline const char* InLanguage(const char* japanese, const char* english)
{
    return CurrentLanguage() == TLanguage::English ? english : japanese;
}

} // namespace kapto
