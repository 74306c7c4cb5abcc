#include "ui/UiFont.h"

#include "ui/UiTexts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>

namespace kapto {

int TextWidthNeeded(QWidget* widget)
{
    if (qobject_cast<QCheckBox*>(widget) != nullptr ||
        qobject_cast<QRadioButton*>(widget) != nullptr) {
        // Indicator, spacing and text, as the style lays them out.
        return widget->sizeHint().width();
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect contents =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return button->fontMetrics().horizontalAdvance(button->text()) + button->width() -
               contents.width();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->fontMetrics().horizontalAdvance(label->text()) + label->width() -
               label->contentsRect().width() + 2 * label->margin();
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        return group->minimumSizeHint().width();
    }
    return 0;
}

QFont WindowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("VL PGothic")});
    font.setPixelSize(12);
    return font;
}

bool ConfirmBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, Tr("確認"), text, QMessageBox::NoButton, parent);
    box.setObjectName("ConfirmBox");
    QPushButton* yes = box.addButton(Tr("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(Tr("いいえ(&N)"), QMessageBox::NoRole);
    yes->setObjectName("Yes");
    no->setObjectName("No");
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void ErrorBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kapto"), text, QMessageBox::Ok, parent);
    box.setObjectName("ErrorBox");
    box.exec();
}

bool FileErrorBox(QWidget* parent, const QString& path, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kapto"), path + "\n" + message,
                    QMessageBox::Ok, parent);
    box.setObjectName("ErrorBox");
    box.setDefaultButton(QMessageBox::Ok);
    QAbstractButton* skip = box.addButton(Tr("スキップして続行"), QMessageBox::AcceptRole);
    box.exec();
    return box.clickedButton() == skip;
}

void SkippedFilesBox(QWidget* parent, const QStringList& paths)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Kapto"),
                    Tr("次のファイルは変換できなかったため、スキップしました。"), QMessageBox::Ok,
                    parent);
    box.setObjectName("SkippedFilesBox");
    box.setInformativeText(paths.join('\n'));
    box.exec();
}

} // namespace kapto
