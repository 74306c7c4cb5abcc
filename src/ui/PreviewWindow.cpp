#include "ui/PreviewWindow.h"

#include "ui/ScreenFit.h"
#include "ui/UiFont.h"
#include "ui/UiTexts.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

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
    setWindowTitle(PreviewTitle());
    setFont(WindowFont());
    resize(480, 400);
    m_pool.setMaxThreadCount(1);
    m_renderer = [](const std::string& source, const TConversionOptions& options) {
        return RenderPreview(source, options);
    };

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
    // A long message (why a file failed) wraps within the window's width; it never widens it.
    Summary->setWordWrap(true);
    Summary->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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
    ZoomButton->setText(actualSize ? Tr("全体表示") : QStringLiteral("100%"));
    m_scroll->setWidgetResizable(!actualSize);
    m_canvas->SetActualSize(actualSize);
    if (actualSize) {
        m_canvas->resize(m_image.size());
    }
}

void TPreviewWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    if (!m_placed) {
        m_placed = true;
        PlaceBesideOwner();
    }
    // What was on display before the window was closed may no longer match the options; the
    // request that follows the showing brings the current picture.
    ++m_serial;
    m_pending.reset();
    ShowMessage(RenderingText());
}

void TPreviewWindow::PlaceBesideOwner()
{
    // Beside the main window, so the options it follows stay in view: on the right, else on
    // the left, else below; where none has room for the whole window, on the side with the
    // most room, shrunk to it.
    const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    const QRect area = AvailableArea(owner != nullptr ? owner : this);
    const QMargins frame = FrameMargins(owner);
    const QSize outer = size().grownBy(frame);
    if (owner == nullptr) {
        QRect centred(QPoint(), outer);
        centred.moveCenter(area.center());
        setGeometry(FitInto(centred, area).marginsRemoved(frame));
        return;
    }
    const QRect main = owner->frameGeometry();
    const int roomRight = area.right() - main.right();
    const int roomLeft = main.left() - area.left();
    const int roomBelow = area.bottom() - main.bottom();
    QRect placed;
    if (outer.width() <= roomRight) {
        placed = QRect(QPoint(main.right() + 1, main.top()), outer);
    } else if (outer.width() <= roomLeft) {
        placed = QRect(QPoint(main.left() - outer.width(), main.top()), outer);
    } else if (outer.height() <= roomBelow) {
        placed = QRect(QPoint(main.left(), main.bottom() + 1), outer);
    } else if (roomBelow > std::max(roomRight, roomLeft)) {
        placed = QRect(main.left(), main.bottom() + 1, outer.width(), roomBelow);
    } else if (roomRight >= roomLeft) {
        placed = QRect(main.right() + 1, main.top(), roomRight, outer.height());
    } else {
        placed = QRect(area.left(), main.top(), roomLeft, outer.height());
    }
    setGeometry(FitInto(placed, area).marginsRemoved(frame));
}

void TPreviewWindow::FitOnScreen()
{
    // A message that wraps onto more lines may have made the window taller than its room.
    if (!isVisible()) {
        return;
    }
    layout()->activate();
    const QMargins frame = FrameMargins(this);
    const QRect outer = geometry().marginsAdded(frame);
    const QRect fitted = FitInto(outer, AvailableArea(this));
    if (fitted != outer) {
        setGeometry(fitted.marginsRemoved(frame));
    }
}

void TPreviewWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TPreviewWindow::Request(const QString& source, const TConversionOptions& options)
{
    ++m_serial;
    if (source != m_shownSource) {
        // Another file's picture would be a lie until this one's result arrives.
        ShowMessage(RenderingText());
    }
    TRequest request{source, options};
    if (m_rendering) {
        // Only the newest request matters; one waiting is replaced by it.
        m_pending = std::move(request);
        return;
    }
    Start(std::move(request));
}

void TPreviewWindow::ShowNothing()
{
    ++m_serial;
    m_pending.reset();
    ShowMessage(NothingText());
}

void TPreviewWindow::Start(TRequest request)
{
    m_rendering = true;
    const QString shown = request.Source;
    const std::string source = QFile::encodeName(request.Source).toStdString();
    const TConversionOptions options = request.Options;
    const quint64 serial = m_serial;
    const TRenderer renderer = m_renderer;
    m_pool.start([this, shown, source, options, serial, renderer] {
        auto result = std::make_shared<TPreviewResult>(renderer(source, options));
        QMetaObject::invokeMethod(
            this, [this, shown, result, serial] { Finish(shown, result, serial); },
            Qt::QueuedConnection);
    });
}

void TPreviewWindow::Finish(const QString& source, std::shared_ptr<TPreviewResult> result,
                            quint64 serial)
{
    m_rendering = false;
    if (m_pending) {
        // A newer request came in meanwhile: this result is stale already.
        TRequest next = std::move(*m_pending);
        m_pending.reset();
        Start(std::move(next));
        return;
    }
    if (serial == m_serial) {
        Show(source, std::move(result));
    }
}

void TPreviewWindow::ShowMessage(const QString& message)
{
    m_result.reset();
    m_shownSource.clear();
    m_message = message;
    m_image = QImage();
    m_canvas->SetImage(m_image, m_message);
    Summary->clear();
    Summary->setToolTip(QString());
    KeySwatch->hide();
    setWindowTitle(PreviewTitle());
}

void TPreviewWindow::Show(const QString& source, std::shared_ptr<TPreviewResult> result)
{
    m_result = std::move(result);
    m_shownSource = source;
    if (m_result->Error.empty()) {
        m_image = QImage(m_result->Rgba.data(), m_result->Width, m_result->Height,
                         m_result->Width * 4, QImage::Format_RGBA8888)
                      .copy();
        m_message.clear();
    } else {
        m_image = QImage();
        m_message = QString::fromStdString(m_result->Error);
    }
    m_canvas->SetImage(m_image, m_message);
    if (m_actualSize) {
        m_canvas->resize(m_image.size());
    }
    Summary->setText(QString::fromStdString(PreviewSummary(*m_result)));
    Summary->setToolTip(m_result->Error.empty() ? QString() : Summary->text());
    KeySwatch->setVisible(m_result->Error.empty() && m_result->Keyed);
    if (m_result->Keyed) {
        QPalette palette = KeySwatch->palette();
        palette.setColor(QPalette::Window, QColor(RedOf(m_result->Key), GreenOf(m_result->Key),
                                                  BlueOf(m_result->Key)));
        KeySwatch->setPalette(palette);
    }
    setWindowTitle(PreviewTitle(QFileInfo(m_shownSource).fileName()));
    FitOnScreen();
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
