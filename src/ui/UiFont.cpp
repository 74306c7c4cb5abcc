#include "ui/UiFont.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace kapto {

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
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), text, QMessageBox::NoButton,
                    parent);
    box.setObjectName("ConfirmBox");
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
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
    QAbstractButton* skip =
        box.addButton(QStringLiteral("スキップして続行"), QMessageBox::AcceptRole);
    box.exec();
    return box.clickedButton() == skip;
}

void SkippedFilesBox(QWidget* parent, const QStringList& paths)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Kapto"),
                    QStringLiteral("次のファイルは変換できなかったため、スキップしました。"),
                    QMessageBox::Ok, parent);
    box.setObjectName("SkippedFilesBox");
    box.setInformativeText(paths.join('\n'));
    box.exec();
}

} // namespace kapto
