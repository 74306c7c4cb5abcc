#pragma once
// Keeping windows on their screen: the area a window may take on the screen it opens on, the
// frame the window manager adds around it, and fitting a window or a picture into that area.

#include <QMargins>
#include <QRect>
#include <QSize>

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

} // namespace kapto
