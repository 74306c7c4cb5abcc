#include "ui/OWDialog.h"

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

TOWDialog::TOWDialog(QWidget* owner) : QDialog(owner)
{
    setObjectName("OWDialog");
    setWindowTitle(Tr("ファイルの上書き確認"));
    setFont(WindowFont());
    setFixedSize(423, 111);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    Label1 = new QLabel(Tr("同名のファイルが存在します。処理を選択してください。"), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(16, 16, 277, 12);
    // The output asked about, on a line of its own under the question.
    Label2 = new QLabel(this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(16, 34, 391, 14);

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
        const int width = std::max(b.width, TextWidthNeeded(button));
        button->resize(width, 25);
        shift += width - b.width;
        button->setAutoDefault(false);
        const int result = b.result;
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        *b.button = button;
    }
    CheckBox1 = new QCheckBox(Tr("残りのファイルも同様に処理"), this);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->setGeometry(16, 88, 177, 17);
    CheckBox1->resize(std::max(177, TextWidthNeeded(CheckBox1)), 17);
    Label1->resize(std::max(277, TextWidthNeeded(Label1)), 12);
    const int rightEdge = std::max(
        {Button4->geometry().right(), CheckBox1->geometry().right(), Label1->geometry().right()});
    setFixedSize(std::max(423, rightEdge + 1 + 14), 111);
    Label2->resize(width() - 32, 14);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, CheckBox1);
}

TOverwriteAnswer TOWDialog::Ask(const std::string& outputName)
{
    // A long path is shortened in the middle, where its folders are least telling.
    const QString path = QFile::decodeName(QByteArray::fromStdString(outputName));
    Label2->setText(Label2->fontMetrics().elidedText(path, Qt::ElideMiddle, Label2->width()));
    Label2->setToolTip(path);
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
}

void TOWDialog::reject()
{
    done(owSkip);
}

} // namespace kapto
