#pragma once
// The file-open dialog with a preview pane: the current file is loaded as a picture of any
// registered type and shown scaled into a box beside the file view, with its pixel size; a
// button opens it in a larger window.

#include "graphics/Picture.h"

#include <QFileDialog>
#include <QFrame>
#include <QImage>

class QLabel;
class QToolButton;

namespace kapto {

class TPaintBox;

class TOpenPictureDialog : public QFileDialog
{
    Q_OBJECT

public:
    explicit TOpenPictureDialog(QWidget* parent);

    // Where a picture of the given size is drawn in a box: centred at its own size when it
    // fits, otherwise scaled to the box keeping its proportions at the top-left corner.
    static QRect PictureRect(const QSize& box, const QSize& picture);
    // Where the preview window of a picture opens, as its client rectangle: centred in the
    // area with its frame, at the picture's size plus the panel around it, or scaled down
    // keeping its proportions where that would not fit in the area.
    static QRect PreviewGeometry(const QSize& picture, const QRect& area, const QMargins& frame);
    // The graphic drawn through its own Draw onto a background of the colour, at the size.
    static QImage Render(TGraphic& graphic, const QSize& size, const QColor& background);
    // The registry's filter string as the dialog's name filters.
    static QStringList NameFilters(const std::string& filter);

    const TPicture& Picture() const { return m_picture; }

    QFrame* PicturePanel;
    QLabel* PictureLabel;
    QToolButton* PreviewButton;
    QFrame* PaintPanel;
    TPaintBox* PaintBox;

public slots:
    // Loads the current file into the preview, or clears it for anything that is not a
    // loadable picture (no message is shown).
    void RefreshPreview(const QString& fileName);
    void PreviewClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // At the first showing: the dialog, its sidebar and its columns made wide enough for
    // their texts in the font in use, within the screen.
    void FitToContents();

    TPicture m_picture;
    bool m_sized = false;
    // The client area's top-left corner at the first showing, kept for every later one.
    QPoint m_firstPlace;
};

// The paint area of the preview.
class TPaintBox : public QWidget
{
    Q_OBJECT

public:
    TPaintBox(QWidget* parent, const TPicture& picture);

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const TPicture& m_picture;
};

} // namespace kapto
