#include "ui/Widgets.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
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
