#pragma once
// The window font and the standard message boxes of the main window.

#include <QFont>
#include <QString>

class QWidget;

namespace kapto {

// "ＭＳ Ｐゴシック" at 12 pixels, falling back to Japanese fonts Linux has.
QFont WindowFont();

// The confirmation box: title "確認", a question icon, "はい(&Y)" and "いいえ(&N)".
// True for "はい(&Y)".
bool ConfirmBox(QWidget* parent, const QString& text);
// The error box of the application, titled "Kapto".
void ErrorBox(QWidget* parent, const QString& text);

} // namespace kapto
