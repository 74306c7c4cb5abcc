// The language of the texts: chosen from the environment, and every message in both.

#include "runtime/Language.h"
#include "jpeg/JPEGErrors.h"
#include "runtime/Messages.h"

#include <gtest/gtest.h>

#include <map>

using namespace kapto;

TEST(LanguageTest, FirstVariableSetDecides)
{
    const struct
    {
        std::map<std::string, std::string> Environment;
        TLanguage Expected;
    } cases[] = {
        {{}, TLanguage::Japanese},
        {{{"LANG", "ja_JP.UTF-8"}}, TLanguage::Japanese},
        {{{"LANG", "en_GB.UTF-8"}}, TLanguage::English},
        {{{"LANG", "de_DE"}}, TLanguage::English},
        {{{"LANG", "C"}}, TLanguage::Japanese},
        {{{"LANG", "C.UTF-8"}}, TLanguage::Japanese},
        {{{"LANG", "POSIX"}}, TLanguage::Japanese},
        {{{"LANG", "Cy_GB"}}, TLanguage::English},
        {{{"LANG", "en_US"}, {"LC_MESSAGES", "ja_JP"}}, TLanguage::Japanese},
        {{{"LC_MESSAGES", "en_US"}, {"LC_ALL", "ja_JP"}}, TLanguage::Japanese},
        {{{"LC_ALL", "fr_FR"}, {"LANG", "ja_JP"}}, TLanguage::English},
        {{{"LC_ALL", ""}, {"LANG", "fr_FR"}}, TLanguage::English},
        {{{"KAPTO_LANG", "ja"}, {"LC_ALL", "en_US"}}, TLanguage::Japanese},
        {{{"KAPTO_LANG", "en"}, {"LANG", "ja_JP.UTF-8"}}, TLanguage::English},
    };
    for (const auto& c : cases) {
        const auto lookup = [&](const char* name) {
            const auto found = c.Environment.find(name);
            return found == c.Environment.end() ? std::string() : found->second;
        };
        std::string shown;
        for (const auto& [name, value] : c.Environment) {
            shown += name + "=" + value + " ";
        }
        EXPECT_EQ(LanguageFromEnvironment(lookup), c.Expected) << shown;
    }
}

TEST(LanguageTest, EveryMessageHasItsEnglishTextAndKeepsItsJapaneseOne)
{
    // The Japanese texts are the program's own and never change.
    const std::vector<std::pair<TMessage, std::string>> japanese = {
        {TMessage::ReadError, "ストリームからの読み込みエラー"},
        {TMessage::WriteError, "ストリームへの書き込みエラー"},
        {TMessage::FileOpenError, "ファイル %s は開けません"},
        {TMessage::FileCreateError, "ファイル %s を作成できません"},
        {TMessage::InvalidBitmap, "ビットマップイメージが不正です"},
        {TMessage::InvalidPixelFormat, "画像フォーマットが不正です"},
        {TMessage::ScanLineOutOfRange, "スキャンライン のインデックスが範囲を越えました"},
        {TMessage::OutOfResources, "システム リソースが足りません"},
        {TMessage::CannotDraw, "Canvas に対する描画ができません"},
        {TMessage::AssignError, "%s を %s に代入することはできません"},
        {TMessage::UnknownExtension, "拡張子 .%s の画像形式は処理できません"},
        {TMessage::Win32Error, "Win32 エラー。コード : %d.\n%s"},
        {TMessage::OutOfMemory, "メモリが不足しています"},
    };
    const auto placeholders = [](const std::string& text) {
        std::string found;
        for (size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == '%') {
                found += text[i + 1];
            }
        }
        return found;
    };
    for (const auto& [id, text] : japanese) {
        SetLanguage(TLanguage::Japanese);
        EXPECT_EQ(MessageText(id), text);
        SetLanguage(TLanguage::English);
        const std::string english = MessageText(id);
        EXPECT_FALSE(english.empty()) << text;
        EXPECT_TRUE(std::all_of(english.begin(), english.end(), [](char c) {
            return (unsigned char)c < 0x80;
        })) << english;
        EXPECT_EQ(placeholders(english), placeholders(text)) << english;
    }
    EXPECT_EQ(FormatJPEGMessage(TJPEGMessage::LibraryError, 42), "JPEG error #42");
    SetLanguage(TLanguage::Japanese);
    EXPECT_EQ(FormatJPEGMessage(TJPEGMessage::LibraryError, 42), "JPEG エラー #42");
}
