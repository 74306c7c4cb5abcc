#include "runtime/Language.h"

#include <atomic>
#include <cstdlib>

namespace kapto {

namespace {

std::atomic<TLanguage> g_language{TLanguage::Japanese};

bool IsJapanese(const std::string& value)
{
    const std::string name = value.substr(0, value.find_first_of(".@"));
    return value.rfind("ja", 0) == 0 || name == "C" || name == "POSIX";
}

} // namespace

TLanguage LanguageFromEnvironment(const std::function<std::string(const char* name)>& lookup)
{
    for (const char* name : {"KAPTO_LANG", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string value = lookup(name);
        if (!value.empty()) {
            return IsJapanese(value) ? TLanguage::Japanese : TLanguage::English;
        }
    }
    return TLanguage::Japanese;
}

TLanguage LanguageFromEnvironment()
{
    return LanguageFromEnvironment([](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    });
}

TLanguage CurrentLanguage()
{
    return g_language.load();
}

void SetLanguage(TLanguage language)
{
    g_language.store(language);
}

} // namespace kapto
