#include "ui/UiFont.h"

#include "ui/ScreenFit.h"
#include "ui/UiTexts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include <algorithm>

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

TFailureChoice FileErrorBox(QWidget* parent, const QString& path, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kapto"), path + "\n" + message,
                    QMessageBox::Ok, parent);
    box.setObjectName("ErrorBox");
    box.setDefaultButton(QMessageBox::Ok);
    QAbstractButton* skip = box.addButton(Tr("スキップして続行"), QMessageBox::AcceptRole);
    QAbstractButton* skipAll = box.addButton(Tr("以降もスキップ"), QMessageBox::AcceptRole);
    box.exec();
    return box.clickedButton() == skip      ? TFailureChoice::Skip
           : box.clickedButton() == skipAll ? TFailureChoice::SkipAll
                                            : TFailureChoice::Stop;
}

void RunEndBox(QWidget* parent, const QStringList& skipped, const QStringList& warned)
{
    QDialog box(parent);
    box.setObjectName("RunEndBox");
    box.setWindowTitle(QStringLiteral("Kapto"));
    auto* layout = new QVBoxLayout(&box);
    int textHeight = 0;
    int width = 0;
    int rows = 0;
    // A section: its sentence above a list of its lines; the sections share 30 rows.
    const auto addSection = [&](const QString& sentence, const char* name, const QStringList& lines,
                                int shownRows) {
        if (lines.isEmpty()) {
            return;
        }
        auto* text = new QLabel(sentence, &box);
        text->setWordWrap(true);
        auto* list = new QListWidget(&box);
        list->setObjectName(name);
        list->addItems(lines);
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        layout->addWidget(text);
        layout->addWidget(list, shownRows);
        textHeight += 2 * text->sizeHint().height() + 8;
        width = std::max(width, list->sizeHintForColumn(0));
        rows += shownRows * list->sizeHintForRow(0);
    };
    const int skippedRows =
        int(std::min<qsizetype>(skipped.size(), 30 - std::min<qsizetype>(warned.size(), 15)));
    const int warnedRows = int(std::min<qsizetype>(warned.size(), 30 - skippedRows));
    addSection(Tr("次のファイルは変換できなかったため、スキップしました。"), "SkippedFiles",
               skipped, skippedRows);
    addSection(Tr("次のファイルは変換しましたが、警告があります。"), "WarnedFiles", warned,
               warnedRows);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QPushButton* copy = buttons->addButton(Tr("コピー"), QDialogButtonBox::ActionRole);
    copy->setObjectName("Copy");
    const QStringList all = skipped + warned;
    QObject::connect(copy, &QPushButton::clicked, &box,
                     [all] { QGuiApplication::clipboard()->setText(all.join('\n') + '\n'); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(buttons);
    // As wide as the longest line and as tall as the lists, but never past the screen's free
    // area, frame and title bar included; the lists scroll for the rest.
    const QRect area = AvailableArea(parent);
    const QMargins frame =
        FrameMargins(parent).isNull() ? QMargins(8, 40, 8, 8) : FrameMargins(parent);
    QSize wanted(width + 48, rows + textHeight + 80);
    wanted =
        wanted.expandedTo(QSize(360, 160)).boundedTo(area.size().shrunkBy(frame) - QSize(16, 16));
    box.resize(wanted);
    box.setMaximumSize(area.size().shrunkBy(frame));
    QRect placed(QPoint(), box.size());
    placed.moveCenter(area.center());
    box.setGeometry(FitInto(placed.marginsAdded(frame), area).marginsRemoved(frame));
    box.exec();
}

} // namespace kapto
