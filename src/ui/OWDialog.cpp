#include "ui/OWDialog.h"

#include "ui/RunThread.h"
#include "ui/UiFont.h"
#include "ui/UiTexts.h"

#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace kapto {

namespace {

// The height of one line of path or note, and the dialog's height with the question, the
// output line, the buttons and the check box.
constexpr int kLineHeight = 16;
constexpr int kBareHeight = 111;
// Room kept on either side of a caption that needed a wider button than its design width.
constexpr int kCaptionPadding = 6;

void SetPath(QLabel* label, const QString& text, const QString& path)
{
    // A long path is shortened in the middle, where its folders are least telling.
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideMiddle, label->width()));
    label->setToolTip(path);
}

} // namespace

TOWDialog::TOWDialog(QWidget* owner) : QDialog(owner)
{
    setObjectName("OWDialog");
    setWindowTitle(Tr("ファイルの上書き確認"));
    setFont(WindowFont());
    setFixedSize(423, kBareHeight);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    Label1 = new QLabel(Tr("同名のファイルが存在します。処理を選択してください。"), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(16, 16, 277, 12);
    // The output asked about, on a line of its own under the question, then the source and
    // what the output is to it.
    const struct
    {
        QLabel** label;
        const char* name;
    } lines[] = {
        {&Label2, "Label2"}, {&Label3, "Label3"}, {&Label4, "Label4"}, {&Label5, "Label5"}};
    for (const auto& l : lines) {
        *l.label = new QLabel(this);
        (*l.label)->setObjectName(l.name);
        (*l.label)->hide();
    }
    Label2->show();
    Label4->setText(Tr("元のファイルを置き換えます (透過や色数は失われます)"));
    for (QLabel* note : {Label4, Label5}) {
        QFont bold = note->font();
        bold.setBold(true);
        note->setFont(bold);
    }

    const struct
    {
        QPushButton** button;
        const char* name;
        QString text;
        int left;
        int width;
        int result;
    } buttons[] = {
        {&Button1, "Button1", Tr("上書き"), 16, 49, owOverwrite},
        {&Button2, "Button2", Tr("名前を変更(No.を付加)"), 72, 137, owRename},
        {&Button3, "Button3", Tr("保存しない"), 216, 75, owSkip},
        {&Button4, "Button4", Tr("全体の処理を中止"), 296, 113, owAbort},
    };
    // A caption wider than its button in the font or language in use widens it; the buttons
    // after it move along, and the dialog grows to hold the row.
    int shift = 0;
    for (const auto& b : buttons) {
        QPushButton* button = new QPushButton(b.text, this);
        button->setObjectName(b.name);
        button->setGeometry(b.left + shift, 56, b.width, 25);
        const int needed = TextWidthNeeded(button);
        const int width = needed > b.width ? needed + 2 * kCaptionPadding : b.width;
        button->resize(width, 25);
        shift += width - b.width;
        // Enter presses the button that has the focus.
        button->setAutoDefault(true);
        const int result = b.result;
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        *b.button = button;
    }
    CheckBox1 = new QCheckBox(Tr("残りのファイルも同様に処理"), this);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->setGeometry(16, 88, 177, 17);
    CheckBox1->resize(std::max(177, TextWidthNeeded(CheckBox1)), 17);
    Label1->resize(std::max(277, TextWidthNeeded(Label1)), 12);
    const int rightEdge = std::max({Button4->geometry().right(), CheckBox1->geometry().right(),
                                    Label1->geometry().right(), 16 + TextWidthNeeded(Label4) - 1});
    setFixedSize(std::max(423, rightEdge + 1 + 14), kBareHeight);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, CheckBox1);
    Arrange();
}

void TOWDialog::Arrange()
{
    int top = 34;
    for (QLabel* line : {Label2, Label3, Label4, Label5}) {
        line->setGeometry(16, top, width() - 32, 14);
        if (!line->isHidden()) {
            top += kLineHeight;
        }
    }
    const int extra = top - 34 - kLineHeight;
    for (QPushButton* button : {Button1, Button2, Button3, Button4}) {
        button->move(button->x(), 56 + extra);
    }
    CheckBox1->move(16, 88 + extra);
    setFixedSize(width(), kBareHeight + extra);
}

TOverwriteAnswer TOWDialog::Ask(const std::string& outputName)
{
    TOverwriteQuestion question;
    question.Output = QFile::decodeName(QByteArray::fromStdString(outputName));
    return Ask(question);
}

TOverwriteAnswer TOWDialog::Ask(const TOverwriteQuestion& question)
{
    Label3->setVisible(!question.Source.isEmpty());
    Label4->setVisible(question.ReplacesSource);
    Label5->setVisible(!question.EarlierSource.isEmpty());
    Arrange();
    SetPath(Label2, question.Output, question.Output);
    SetPath(Label3, Tr("変換元: %1").arg(question.Source), question.Source);
    SetPath(Label5, Tr("この変換で先に %1 から書き出したファイルです").arg(question.EarlierSource),
            question.EarlierSource);
    // Replacing the source loses what the conversion drops; not saving is the safe default.
    m_focusFirst = question.ReplacesSource ? Button3 : Button1;
    m_focusFirst->setDefault(true);
    TOverwriteAnswer answer;
    const int result = exec();
    answer.Result = result == owOverwrite || result == owRename || result == owAbort
                        ? TOverwriteResult(result)
                        : owSkip;
    answer.ApplyToRest = CheckBox1->isChecked();
    return answer;
}

void TOWDialog::showEvent(QShowEvent* event)
{
    // Centred on the screen by its client area, set as a geometry: moving a window by its frame
    // position lands it lower by the title bar's height once the window manager has framed it
    // before, so it would drift down at each question.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        setGeometry(QRect(area.center() - QPoint(width() / 2, height() / 2), size()));
    }
    QDialog::showEvent(event);
    if (m_focusFirst != nullptr) {
        m_focusFirst->setFocus();
    }
}

void TOWDialog::reject()
{
    done(owSkip);
}

} // namespace kapto
