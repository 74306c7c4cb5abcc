#include "ui/ScreenFit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace kapto {

QRect AvailableArea(const QWidget* widget)
{
    const QScreen* screen = widget != nullptr ? widget->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

QMargins FrameMargins(const QWidget* widget)
{
    const QWidget* window = widget != nullptr ? widget->window() : nullptr;
    if (window == nullptr || !window->isVisible()) {
        return {};
    }
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

QRect FitInto(QRect frame, const QRect& area)
{
    if (area.isEmpty()) {
        return frame;
    }
    frame.setWidth(std::min(frame.width(), area.width()));
    frame.setHeight(std::min(frame.height(), area.height()));
    frame.moveLeft(std::clamp(frame.left(), area.left(), area.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), area.top(), area.bottom() + 1 - frame.height()));
    return frame;
}

QPoint CentredPlace(const QWidget* owner, const QSize& clientSize)
{
    const QWidget* window = owner != nullptr ? owner->window() : nullptr;
    const QRect area = AvailableArea(window);
    const QMargins frame = FrameMargins(window);
    QRect placed(QPoint(), clientSize);
    placed.moveCenter(window != nullptr ? window->geometry().center() : area.center());
    return FitInto(placed.marginsAdded(frame), area).marginsRemoved(frame).topLeft();
}

TFirstPlace::TFirstPlace(QWidget* dialog) : QObject(dialog)
{
    dialog->installEventFilter(this);
}

bool TFirstPlace::eventFilter(QObject* watched, QEvent* event)
{
    // The show event comes once the dialog has its size and before the window is mapped.
    if (event->type() == QEvent::Show && !event->spontaneous()) {
        auto* dialog = static_cast<QWidget*>(watched);
        if (!m_place) {
            m_place = CentredPlace(dialog->parentWidget(), dialog->size());
        }
        dialog->setGeometry(QRect(*m_place, dialog->size()));
    }
    return QObject::eventFilter(watched, event);
}

QSize ScaledDownTo(const QSize& picture, const QSize& room)
{
    if (picture.width() <= room.width() && picture.height() <= room.height()) {
        return picture;
    }
    const QSize scaled = picture.scaled(room.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
    return scaled.expandedTo(QSize(1, 1));
}

} // namespace kapto
