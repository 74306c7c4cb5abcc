#pragma once
// The window font and the standard message boxes of the main window.

#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

namespace kapto {

// "ＭＳ Ｐゴシック" at 12 pixels, falling back to Japanese fonts Linux has.
QFont WindowFont();

// The width the control needs to show its whole text in its font; 0 for a control without
// text.
int TextWidthNeeded(QWidget* widget);

// The confirmation box: title "確認", a question icon, "はい(&Y)" and "いいえ(&N)".
// True for "はい(&Y)".
bool ConfirmBox(QWidget* parent, const QString& text);
// The error box of the application, titled "Kapto".
void ErrorBox(QWidget* parent, const QString& text);
// What to do after a file of a run failed.
enum class TFailureChoice
{
    Stop,   // "OK": the run ends there
    Skip,   // "スキップして続行"
    SkipAll // "以降もスキップ": this file and every later failure, without asking
};
// The error box for a file of a run: its path on the first line, the message below, and
// besides "OK" (the default) "スキップして続行" and "以降もスキップ".
TFailureChoice FileErrorBox(QWidget* parent, const QString& path, const QString& message);
// The box at the end of a run that passed over failed files or wrote files with a warning:
// the skipped paths, and the "PATH: MESSAGE" lines of the warnings, each in a list that
// scrolls, the box within the screen's available area, and a button that copies the lines.
void RunEndBox(QWidget* parent, const QStringList& skipped, const QStringList& warned);

} // namespace kapto
