#pragma once
// The captions of a window measured against the room their controls give them, in the font in
// use: shared by the window tests in every language.

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QWidget>

// Every caption wider than its room ("text: width > room"), and every control placed in a
// group box that sticks out of it; measured counts the captions looked at.
inline QStringList CaptionsThatDoNotFit(QWidget& window, int& measured)
{
    QStringList problems;
    measured = 0;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (widget->window() != &window) {
            continue;
        }
        const QFontMetrics metrics = widget->fontMetrics();
        QStyle* style = widget->style();
        QString text;
        QRect room;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = text = button->text();
            const QStyle::SubElement contents =
                qobject_cast<QCheckBox*>(button)      ? QStyle::SE_CheckBoxContents
                : qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                      : QStyle::SE_PushButtonContents;
            room = style->subElementRect(contents, &option, button);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            text = label->text();
            room = label->contentsRect();
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (!group->rect().contains(child->geometry())) {
                    problems << child->objectName() + QStringLiteral(" sticks out of its box");
                }
            }
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = text = group->title();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            option.textAlignment = group->alignment();
            option.lineWidth = 1;
            room = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel,
                                         group);
            if (!group->rect().contains(room)) {
                problems << group->title() + QStringLiteral(" sticks out of its box");
            }
        }
        if (text.isEmpty()) {
            continue;
        }
        ++measured;
        if (metrics.horizontalAdvance(text) > room.width()) {
            problems << QStringLiteral("%1: %2 > %3")
                            .arg(text)
                            .arg(metrics.horizontalAdvance(text))
                            .arg(room.width());
        }
    }
    return problems;
}
