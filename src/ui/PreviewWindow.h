#pragma once
// The converted picture as ">PNG" would write it, over a checkerboard, following the main
// window's options and selection while it is open. Rendering runs off the user-interface
// thread; requests that arrive while one is rendered replace each other, and only the newest
// is shown.

#include "app/Options.h"
#include "app/Preview.h"

#include <QImage>
#include <QThreadPool>
#include <QWidget>

#include <memory>
#include <optional>

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

    // Renders the source with the options; the newest request wins.
    void Request(const QString& source, const TConversionOptions& options);
    // The result on display, none before the first.
    const TPreviewResult* Result() const { return m_result.get(); }
    // The picture on display (empty for a failed file).
    const QImage& Image() const { return m_image; }
    bool IsRendering() const { return m_rendering; }
    bool IsActualSize() const { return m_actualSize; }
    void SetActualSize(bool actualSize);

    QLabel* Summary;
    QLabel* KeySwatch;
    QPushButton* ZoomButton;

signals:
    // A result is on display.
    void Rendered();

private:
    struct TRequest
    {
        QString Source;
        TConversionOptions Options;
    };

    void Start(TRequest request);
    void Show(std::shared_ptr<TPreviewResult> result);

    QScrollArea* m_scroll;
    TPreviewCanvas* m_canvas;
    QThreadPool m_pool;
    bool m_rendering = false;
    std::optional<TRequest> m_pending;
    std::shared_ptr<TPreviewResult> m_result;
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
