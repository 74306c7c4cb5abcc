#include "ui/PreviewWindow.h"

#include "ui/UiFont.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace kapto {

namespace {

constexpr int kCheckerCell = 8;

void PaintChecker(QPainter& painter, const QRect& area)
{
    painter.fillRect(area, QColor(0xFF, 0xFF, 0xFF));
    const QColor dark(0xC8, 0xC8, 0xC8);
    for (int y = area.top(); y <= area.bottom(); y += kCheckerCell) {
        for (int x = area.left(); x <= area.right(); x += kCheckerCell) {
            if (((x - area.left()) / kCheckerCell + (y - area.top()) / kCheckerCell) % 2 != 0) {
                painter.fillRect(QRect(x, y, kCheckerCell, kCheckerCell).intersected(area), dark);
            }
        }
    }
}

} // namespace

TPreviewWindow::TPreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("PreviewWindow");
    setWindowTitle(QStringLiteral("変換結果のプレビュー"));
    setFont(WindowFont());
    resize(480, 400);
    m_pool.setMaxThreadCount(1);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_canvas = new TPreviewCanvas(m_scroll);
    m_canvas->setObjectName("PreviewCanvas");
    m_scroll->setWidget(m_canvas);

    KeySwatch = new QLabel(this);
    KeySwatch->setObjectName("KeySwatch");
    KeySwatch->setFixedSize(14, 14);
    KeySwatch->setAutoFillBackground(true);
    KeySwatch->setFrameStyle(QFrame::Box | QFrame::Plain);
    KeySwatch->hide();
    Summary = new QLabel(this);
    Summary->setObjectName("Summary");
    Summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ZoomButton = new QPushButton(QStringLiteral("100%"), this);
    ZoomButton->setObjectName("ZoomButton");

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(KeySwatch);
    bottom->addWidget(Summary, 1);
    bottom->addWidget(ZoomButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_scroll, 1);
    layout->addLayout(bottom);

    connect(ZoomButton, &QPushButton::clicked, this, [this] { SetActualSize(!m_actualSize); });
    connect(m_canvas, &TPreviewCanvas::DoubleClicked, this,
            [this] { SetActualSize(!m_actualSize); });
}

TPreviewWindow::~TPreviewWindow()
{
    // A render still running posts its result to this window; it must end first.
    m_pool.waitForDone();
}

void TPreviewWindow::SetActualSize(bool actualSize)
{
    m_actualSize = actualSize;
    ZoomButton->setText(actualSize ? QStringLiteral("全体表示") : QStringLiteral("100%"));
    m_scroll->setWidgetResizable(!actualSize);
    m_canvas->SetActualSize(actualSize);
    if (actualSize) {
        m_canvas->resize(m_image.size());
    }
}

void TPreviewWindow::Request(const QString& source, const TConversionOptions& options)
{
    TRequest request{source, options};
    if (m_rendering) {
        // Only the newest request matters; one waiting is replaced by it.
        m_pending = std::move(request);
        return;
    }
    Start(std::move(request));
}

void TPreviewWindow::Start(TRequest request)
{
    m_rendering = true;
    const std::string source = QFile::encodeName(request.Source).toStdString();
    const TConversionOptions options = request.Options;
    m_pool.start([this, source, options] {
        auto result = std::make_shared<TPreviewResult>(RenderPreview(source, options));
        QMetaObject::invokeMethod(
            this, [this, result] { Show(result); }, Qt::QueuedConnection);
    });
}

void TPreviewWindow::Show(std::shared_ptr<TPreviewResult> result)
{
    m_rendering = false;
    if (m_pending) {
        // A newer request came in meanwhile: this result is stale already.
        TRequest next = std::move(*m_pending);
        m_pending.reset();
        Start(std::move(next));
        return;
    }
    m_result = std::move(result);
    if (m_result->Error.empty()) {
        m_image = QImage(m_result->Rgba.data(), m_result->Width, m_result->Height,
                         m_result->Width * 4, QImage::Format_RGBA8888)
                      .copy();
    } else {
        m_image = QImage();
    }
    m_canvas->SetImage(m_image, m_result->Error.empty() ? QString()
                                                        : QString::fromStdString(m_result->Error));
    if (m_actualSize) {
        m_canvas->resize(m_image.size());
    }
    Summary->setText(QString::fromStdString(PreviewSummary(*m_result)));
    KeySwatch->setVisible(m_result->Error.empty() && m_result->Keyed);
    if (m_result->Keyed) {
        QPalette palette = KeySwatch->palette();
        palette.setColor(QPalette::Window, QColor(RedOf(m_result->Key), GreenOf(m_result->Key),
                                                  BlueOf(m_result->Key)));
        KeySwatch->setPalette(palette);
    }
    emit Rendered();
}

void TPreviewCanvas::SetImage(const QImage& image, const QString& message)
{
    m_image = image;
    m_message = message;
    update();
}

void TPreviewCanvas::SetActualSize(bool actualSize)
{
    m_actualSize = actualSize;
    update();
}

void TPreviewCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (m_image.isNull()) {
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         m_message);
        return;
    }
    QRect target(QPoint(0, 0), m_image.size());
    if (!m_actualSize && (m_image.width() > width() || m_image.height() > height() ||
                          (m_image.width() < width() && m_image.height() < height()))) {
        target.setSize(m_image.size().scaled(size(), Qt::KeepAspectRatio));
    }
    target.moveCenter(rect().center());
    if (m_actualSize) {
        target.moveTopLeft(QPoint(std::max(0, target.left()), std::max(0, target.top())));
    }
    PaintChecker(painter, target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, m_image);
}

void TPreviewCanvas::mouseDoubleClickEvent(QMouseEvent* event)
{
    QWidget::mouseDoubleClickEvent(event);
    emit DoubleClicked();
}

} // namespace kapto
