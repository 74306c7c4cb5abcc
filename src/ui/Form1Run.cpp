// The main window's side of a conversion run: starting and stopping it, the controls it
// disables, the status line, and the questions the run asks.

#include "ui/Form1.h"

#include "runtime/Interrupt.h"
#include "ui/OWDialog.h"
#include "ui/RunThread.h"
#include "ui/UiFont.h"
#include "ui/UiTexts.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>

namespace kapto {

void TForm1::WireRun()
{
    Run = new TRunThread(this);
    Run->AskOverwrite = [this](const TOverwriteQuestion& q) { return AskOverwrite(q); };
    Run->AskFailure = [this](const QString& path, const QString& message) {
        return AskFailure(path, message);
    };
    Run->OnFileStarted = [this](int index, int count, const QString& path) {
        const QString counter = QStringLiteral("%1 / %2  ").arg(index + 1).arg(count);
        const int room = StatusLine->contentsRect().width() -
                         StatusLine->fontMetrics().horizontalAdvance(counter);
        StatusLine->setText(counter + StatusLine->fontMetrics().elidedText(
                                          QFileInfo(path).fileName(), Qt::ElideMiddle, room));
        StatusLine->setToolTip(path);
    };
    Run->OnPosition = [this](int position, int maximum) {
        ProgressBar1->setMaximum(maximum);
        ProgressBar1->setValue(position);
    };
    Run->OnFileWarning = [this](const QString& path, const QString& message) {
        m_warnedFiles.append(path + QStringLiteral(": ") + message);
    };
    Run->OnFinished = [this](const TRunEnd& end) { RunEnded(end); };
}

void TForm1::Button1Click(QObject* sender)
{
    if (IsRunning()) {
        // The button that started the run is "中止" now: the run ends after the file in hand.
        if (sender == m_runButton) {
            Run->RequestStop();
            m_runButton->setEnabled(false);
        }
        return;
    }
    // Nothing to convert: the bar and the status line stay as they are.
    if (ListBox1->count() == 0) {
        return;
    }
    const TTargetFormat format = sender == Button1 ? TTargetFormat::Png : TTargetFormat::Bmp;
    // The options are read once; they are disabled while the run lasts.
    const TConversionOptions options = ReadOptions();
    delete m_overwriteDialog;
    // A fresh dialog for every run, so its check box starts unticked.
    m_overwriteDialog = new TOWDialog(this);
    m_skipAllFailures = false;
    m_skippedFiles.clear();
    m_warnedFiles.clear();
    ProgressBar1->setValue(0);
    SetRunning(true, sender == Button1 ? Button1 : Button3);
    Run->Start(ListedFiles(), format, options);
}

void TForm1::SetRunning(bool running, QPushButton* runButton)
{
    QPushButton* other = runButton == Button1 ? Button3 : Button1;
    const QList<QWidget*> quiet = {ListBox1,  Button2,    other,    CheckBox1, GroupBox1,
                                   CheckBox2, ScrollBar1, Label1,   CheckBox3, RadioGroup1,
                                   CheckBox4, CheckBox5,  CheckBox8};
    for (QWidget* widget : quiet) {
        widget->setEnabled(!running);
    }
    if (running) {
        m_runButton = runButton;
        m_runCaption = runButton->text();
        runButton->setText(Tr("中止"));
        WidenToText(runButton);
        ListBox1->setCursor(Qt::BusyCursor);
        ListBox1->viewport()->setCursor(Qt::BusyCursor);
        StatusLine->clear();
        ShowStatusLine(true);
    } else {
        runButton->setText(m_runCaption);
        runButton->setEnabled(true);
        m_runButton = nullptr;
        ListBox1->unsetCursor();
        ListBox1->viewport()->unsetCursor();
    }
}

void TForm1::ShowStatusLine(bool shown)
{
    // Whether the line is meant to show, also while the window itself is hidden.
    if (StatusLine->isHidden() != shown) {
        return;
    }
    const int room = shown ? kStatusHeight : -kStatusHeight;
    for (TAnchored& a : m_anchored) {
        if (a.Widget == ListBox1) {
            a.Original.setHeight(a.Original.height() - room);
        } else if (a.Widget == ProgressBar1) {
            a.Original.translate(0, -room);
        }
    }
    StatusLine->setVisible(shown);
    // The list keeps its least height above the line.
    setMinimumSize(MinimumClientSize());
    const int dx = width() - m_startSize.width();
    const int dy = height() - m_startSize.height();
    for (const TAnchored& a : m_anchored) {
        a.Widget->setGeometry(Arranged(a, dx, dy));
    }
}

void TForm1::RunEnded(const TRunEnd& end)
{
    SetRunning(false, m_runButton);
    const TRunSummary& summary = end.Summary;
    StatusLine->setText(Tr("%1 件変換 %2 件スキップ %3 件失敗")
                            .arg(summary.Converted)
                            .arg(summary.Skipped)
                            .arg(summary.Failed) +
                        QStringLiteral("  (%1)").arg(
                            Tr("%1 秒").arg(QString::number(end.Milliseconds / 1000.0, 'f', 1))));
    StatusLine->setToolTip(QString());
    if (!end.Error.isEmpty() && !end.ErrorShown) {
        ErrorBox(this, end.Error);
    }
    if (!m_skippedFiles.isEmpty() || !m_warnedFiles.isEmpty()) {
        RunEndBox(this, m_skippedFiles, m_warnedFiles);
    }
    emit RunFinished();
}

TOverwriteAnswer TForm1::AskOverwrite(const TOverwriteQuestion& question)
{
    return m_overwriteDialog->Ask(question);
}

TFailureAnswer TForm1::AskFailure(const QString& path, const QString& message)
{
    TFailureChoice choice = TFailureChoice::SkipAll;
    if (!m_skipAllFailures) {
        choice = FileErrorBox(this, path, message);
    }
    if (choice == TFailureChoice::Stop) {
        return TFailureAnswer::Stop;
    }
    m_skipAllFailures = choice == TFailureChoice::SkipAll;
    m_skippedFiles.append(path);
    return TFailureAnswer::SkipFile;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (IsRunning()) {
        // Closing the window stops the run and ends the program at once, as a signal does:
        // the files written stay, the one being written is removed.
        Run->RequestStop();
        EndNowWithoutDebris(0);
    }
    QWidget::closeEvent(event);
}

} // namespace kapto
