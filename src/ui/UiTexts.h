#pragma once
// The language of the windows, and texts they show beyond their controls' captions.

#include "runtime/Language.h"

#include <QCoreApplication>
#include <QString>

namespace kapto {

// A text of the windows in the user's language: the Japanese source as written, or its
// translation from the English catalogue (translations/kapto_en.ts).
inline QString Tr(const char* japanese)
{
    return QCoreApplication::translate("Kapto", japanese);
}

// Puts the program in a language: the engine's messages, the windows' texts (the English
// catalogue) and Qt's own dialogs (Qt's Japanese translation, or its English original).
// Texts already shown keep their language. Needs the application object.
void UseLanguage(TLanguage language);

// No file to show.
inline QString NothingText()
{
    return Tr("(なし)");
}
// The live preview while the picture of a newly asked file is being made.
inline QString RenderingText()
{
    return Tr("描画中…");
}
// The live preview's title, alone and naming the file on display.
inline QString PreviewTitle()
{
    return Tr("変換結果のプレビュー");
}
inline QString PreviewTitle(const QString& fileName)
{
    return Tr("%1 - 変換結果のプレビュー").arg(fileName);
}

} // namespace kapto
