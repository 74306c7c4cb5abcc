#pragma once
// Small controls of the main window: the file list that takes drops, the colour swatch and
// the radio group.

#include "platform/Color.h"

#include <QGroupBox>
#include <QIcon>
#include <QListWidget>
#include <QStringList>
#include <QWidget>

class QRadioButton;

namespace kapto {

// The program's icon (kapto.svg, which the package installs), drawn at the sizes window
// managers ask for, so that no image plug-in is needed to show it.
QIcon KaptoIcon();

// The file list: accepts files and folders dragged from a file manager.
class TFileListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit TFileListBox(QWidget* parent);

signals:
    // Local paths of a drop, in the order the drag gave them.
    void FilesDropped(const QStringList& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// A filled rectangle with a black outline; its fill colour is the swatch colour. It takes the
// keyboard focus, shown by a dotted line inside the outline.
class TShape : public QWidget
{
    Q_OBJECT

public:
    explicit TShape(QWidget* parent);
    TColor BrushColor() const { return m_brushColor; }
    void SetBrushColor(TColor color);

signals:
    // A mouse button released over the swatch, or Space or Enter while it has the focus.
    void MouseUp();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TColor m_brushColor = clBlack;
};

// A group of radio buttons without a caption, one item selected.
class TRadioGroup : public QGroupBox
{
    Q_OBJECT

public:
    TRadioGroup(QWidget* parent, const QStringList& items);
    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const { return m_items.value(index); }
    // Wide enough for every item's whole text.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QList<QRadioButton*> m_items;
};

} // namespace kapto
