#include "ui/Widgets.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QUrl>

#include <algorithm>

namespace kapto {

namespace {

// Space between the frame and the items on either side.
constexpr int kItemMargin = 8;

bool HasLocalFiles(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls()) {
        return false;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            return true;
        }
    }
    return false;
}

} // namespace

QIcon KaptoIcon()
{
    // The drawing of kapto.svg on its 64-unit grid: a checkerboard tile with a rounded frame,
    // a translucent blue sun and green hills.
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 64.0, size / 64.0);
        QPainterPath tile;
        tile.addRoundedRect(QRectF(4, 4, 56, 56), 6, 6);
        painter.setClipPath(tile);
        painter.fillRect(QRectF(4, 4, 56, 56), QColor(0xFF, 0xFF, 0xFF));
        for (int y = 0; y < 64; y += 8) {
            for (int x = 0; x < 64; x += 8) {
                if ((x / 8 + y / 8) % 2 == 0) {
                    painter.fillRect(QRectF(x, y, 8, 8), QColor(0xC8, 0xC8, 0xC8));
                }
            }
        }
        painter.setClipping(false);
        painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tile);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x2A, 0x7F, 0xD4, 191));
        painter.drawEllipse(QPointF(32, 32), 16, 16);
        painter.setBrush(QColor(0x3A, 0x9A, 0x3A));
        const QPointF hills[] = {{14, 50}, {26, 36}, {34, 44}, {42, 34}, {52, 50}};
        painter.drawPolygon(hills, 5);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent)
{
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
}

void TFileListBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (HasLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TFileListBox::dragMoveEvent(QDragMoveEvent* event)
{
    if (HasLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TFileListBox::dropEvent(QDropEvent* event)
{
    if (!HasLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    event->acceptProposedAction();
    emit FilesDropped(paths);
}

TShape::TShape(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void TShape::SetBrushColor(TColor color)
{
    m_brushColor = color;
    update();
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const TColor c = ResolveColor(m_brushColor);
    painter.setPen(Qt::black);
    painter.setBrush(QColor(RedOf(c), GreenOf(c), BlueOf(c)));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(2, 2, -2, -2);
        option.backgroundColor = painter.brush().color();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void TShape::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat()) {
            emit MouseUp();
        }
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TShape::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    emit MouseUp();
}

TRadioGroup::TRadioGroup(QWidget* parent, const QStringList& items) : QGroupBox(parent)
{
    for (const QString& text : items) {
        QRadioButton* button = new QRadioButton(text, this);
        m_items << button;
    }
    SetItemIndex(0);
}

int TRadioGroup::ItemIndex() const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->isChecked()) {
            return i;
        }
    }
    return -1;
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index >= 0 && index < m_items.size()) {
        m_items[index]->setChecked(true);
    }
}

QSize TRadioGroup::minimumSizeHint() const
{
    QSize size = QGroupBox::minimumSizeHint();
    for (const QRadioButton* item : m_items) {
        size.setWidth(std::max(size.width(), item->sizeHint().width() + 2 * kItemMargin));
    }
    return size;
}

void TRadioGroup::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    // Items share the height below the frame's top edge, one row each.
    const int top = 8;
    const int rowHeight = m_items.isEmpty() ? 0 : (height() - top - 4) / int(m_items.size());
    for (int i = 0; i < m_items.size(); ++i) {
        m_items[i]->setGeometry(kItemMargin, top + i * rowHeight, width() - 2 * kItemMargin,
                                rowHeight);
    }
}

} // namespace kapto
