#pragma once
// The converted picture as ">PNG" would write it, over a checkerboard, following the main
// window's options and selection while it is open. Rendering runs off the user-interface
// thread; requests that arrive while one is rendered replace each other, and only the newest
// is shown. The window never shows one file's picture while another file is asked for: until
// that file's result arrives it says it is rendering.

#include "app/Options.h"
#include "app/Preview.h"

#include <QImage>
#include <QThreadPool>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QPushButton;
class QScrollArea;

namespace kapto {

class TPreviewCanvas;

class TPreviewWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TPreviewWindow(QWidget* parent);
    ~TPreviewWindow() override;

    // Makes a preview result; runs on a worker thread.
    using TRenderer =
        std::function<TPreviewResult(const std::string& source, const TConversionOptions&)>;

    // Renders the source with the options; the newest request wins.
    void Request(const QString& source, const TConversionOptions& options);
    // Shows that there is no file to preview; a render still running is not shown.
    void ShowNothing();
    // Replaces the renderer (tests slow it down); RenderPreview by default.
    void SetRenderer(TRenderer renderer) { m_renderer = std::move(renderer); }
    // The result on display, none before the first.
    const TPreviewResult* Result() const { return m_result.get(); }
    // The picture on display (empty for a failed file).
    const QImage& Image() const { return m_image; }
    bool IsRendering() const { return m_rendering; }
    // The text shown in place of a picture: nothing, rendering, or why the file failed.
    const QString& Message() const { return m_message; }
    bool IsActualSize() const { return m_actualSize; }
    void SetActualSize(bool actualSize);

    QLabel* Summary;
    QLabel* KeySwatch;
    QPushButton* ZoomButton;

signals:
    // A result is on display.
    void Rendered();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct TRequest
    {
        QString Source;
        TConversionOptions Options;
    };

    // The first place: beside the main window, never over it.
    void PlaceBesideOwner();
    // Back within the screen's available area, after the window grew.
    void FitOnScreen();
    void Start(TRequest request);
    // A render ended; its result is shown when it answers the newest request.
    void Finish(const QString& source, std::shared_ptr<TPreviewResult> result, quint64 serial);
    void Show(const QString& source, std::shared_ptr<TPreviewResult> result);
    // No picture: the text in its place, no summary, the title naming no file.
    void ShowMessage(const QString& message);

    QScrollArea* m_scroll;
    TPreviewCanvas* m_canvas;
    QThreadPool m_pool;
    TRenderer m_renderer;
    bool m_rendering = false;
    bool m_placed = false;
    // Counts requests; a result is shown only when it answers the newest one.
    quint64 m_serial = 0;
    std::optional<TRequest> m_pending;
    std::shared_ptr<TPreviewResult> m_result;
    // The file of the result on display, empty when none is.
    QString m_shownSource;
    QString m_message;
    QImage m_image;
    bool m_actualSize = false;
};

// The picture over a light and dark checkerboard, fitted to the area or at its own size,
// always scaled by nearest neighbour so single pixels stay sharp.
class TPreviewCanvas : public QWidget
{
    Q_OBJECT

public:
    explicit TPreviewCanvas(QWidget* parent) : QWidget(parent) {}
    void SetImage(const QImage& image, const QString& message);
    void SetActualSize(bool actualSize);

signals:
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage m_image;
    QString m_message;
    bool m_actualSize = false;
};

} // namespace kapto
