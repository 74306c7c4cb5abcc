#pragma once
// Keeping windows on their screen: the area a window may take on the screen it opens on, the
// frame the window manager adds around it, and fitting a window or a picture into that area.

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QSize>

#include <optional>

class QWidget;

namespace kapto {

// The available area (without panels and docks) of the screen the widget's window is on, or of
// the primary screen; empty when there is no screen at all.
QRect AvailableArea(const QWidget* widget);
// The frame the window manager puts around the top-level windows, as measured on the shown
// window of the widget; none while that window has not been shown.
QMargins FrameMargins(const QWidget* widget);
// The frame rectangle shrunk to the area if it is larger, then moved the least distance that
// puts it wholly inside the area.
QRect FitInto(QRect frame, const QRect& area);
// The picture's size scaled down into the room keeping its aspect ratio (never below one
// pixel a side); a picture that fits keeps its size.
QSize ScaledDownTo(const QSize& picture, const QSize& room);
// The top-left corner of the client area that centres a window of that client size over the
// owner's window (on the screen without an owner), with the whole frame on that screen.
QPoint CentredPlace(const QWidget* owner, const QSize& clientSize);

// Keeps a dialog that is shown again and again where it opened the first time: centred over
// its owner, and placed by its client area. Placed by its frame, as Qt centres dialogs, it
// moved down by the title bar's height from its second showing on. Owned by the dialog.
class TFirstPlace : public QObject
{
public:
    explicit TFirstPlace(QWidget* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::optional<QPoint> m_place;
};

} // namespace kapto
