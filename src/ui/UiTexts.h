#pragma once
// Texts the windows show beyond their controls' captions, kept together.

#include <QString>

namespace kapto {

// No file to show.
inline QString NothingText()
{
    return QStringLiteral("(なし)");
}
// The live preview while the picture of a newly asked file is being made.
inline QString RenderingText()
{
    return QStringLiteral("描画中…");
}
// The live preview's title, alone and naming the file on display.
inline QString PreviewTitle()
{
    return QStringLiteral("変換結果のプレビュー");
}
inline QString PreviewTitle(const QString& fileName)
{
    return QStringLiteral("%1 - 変換結果のプレビュー").arg(fileName);
}

} // namespace kapto
