#include "ui/OpenPictureDialog.h"

#include "graphics/Bitmap.h"
#include "runtime/Exceptions.h"
#include "ui/ScreenFit.h"
#include "ui/UiTexts.h"

#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QPainter>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <iterator>
#include <numeric>

namespace kapto {

namespace {

// The preview window: the picture stretched on a panel, closed by Escape.
class TPreviewForm : public QDialog
{
public:
    static constexpr int kBorder = 1;      // the panel's single line
    static constexpr int kBorderWidth = 5; // the space inside it
    // Room around the picture, both sides together.
    static constexpr int kSurround = 2 * (kBorder + kBorderWidth);

    TPreviewForm(QWidget* parent, TGraphic* graphic) : QDialog(parent)
    {
        setObjectName("PreviewForm");
        setWindowTitle(Tr("プレビュー"));
        setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        setSizeGripEnabled(true);
        m_panel = new QFrame(this);
        m_panel->setObjectName("Panel");
        m_panel->setFrameStyle(QFrame::Box | QFrame::Plain);
        m_panel->setLineWidth(kBorder);
        m_panel->setAutoFillBackground(true);
        m_panel->setBackgroundRole(QPalette::Base);
        m_image = new QLabel(m_panel);
        m_image->setObjectName("Image");
        m_image->setScaledContents(true);
        QSize picture;
        if (graphic != nullptr && graphic->Width() > 0) {
            picture = QSize(graphic->Width(), graphic->Height());
            m_image->setPixmap(QPixmap::fromImage(
                TOpenPictureDialog::Render(*graphic, picture, palette().color(QPalette::Base))));
        }
        // Centred on the screen of the dialog it comes from, the frame included.
        const QMargins frame = FrameMargins(parent);
        const QSize content = picture.isEmpty() ? size() - QSize(kSurround, kSurround) : picture;
        const QRect client =
            TOpenPictureDialog::PreviewGeometry(content, AvailableArea(parent), frame);
        resize(client.size());
        move(client.topLeft() - QPoint(frame.left(), frame.top()));
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QDialog::resizeEvent(event);
        m_panel->setGeometry(rect());
        m_image->setGeometry(rect().adjusted(kBorder + kBorderWidth, kBorder + kBorderWidth,
                                             -kBorder - kBorderWidth, -kBorder - kBorderWidth));
    }

private:
    QFrame* m_panel;
    QLabel* m_image;
};

} // namespace

TOpenPictureDialog::TOpenPictureDialog(QWidget* parent) : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::ReadOnly, false);
    setFileMode(QFileDialog::ExistingFiles);
    setSizeGripEnabled(true);
    setNameFilters(NameFilters(PictureFilter(GraphicBaseClass())));

    PicturePanel = new QFrame(this);
    PicturePanel->setObjectName("PicturePanel");
    PicturePanel->setFixedWidth(169);
    PicturePanel->setMinimumHeight(200);
    PicturePanel->setContentsMargins(6, 6, 6, 6);

    PictureLabel = new QLabel(PicturePanel);
    PictureLabel->setObjectName("PictureLabel");
    PictureLabel->setGeometry(6, 6, 157, 23);
    PictureLabel->setText(Tr("画像:"));

    PaintPanel = new QFrame(PicturePanel);
    PaintPanel->setObjectName("PaintPanel");
    PaintPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PaintPanel->setLineWidth(2);
    PaintPanel->setGeometry(6, 29, 157, 145);

    PaintBox = new TPaintBox(PaintPanel, m_picture);
    PaintBox->setObjectName("PaintBox");
    PaintBox->setGeometry(2, 2, 153, 141);

    PreviewButton = new QToolButton(PicturePanel);
    PreviewButton->setObjectName("PreviewButton");
    PreviewButton->setAutoRaise(true);
    PreviewButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    PreviewButton->setToolTip(Tr("プレビュー"));
    // Two pixels left of the paint panel's right edge, on the label's line.
    PreviewButton->setGeometry(PaintPanel->geometry().right() - 2 - 23 + 1, 6, 23, 22);
    PreviewButton->setEnabled(false);

    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(PicturePanel, 0, grid->columnCount(), grid->rowCount(), 1, Qt::AlignTop);
    }
    connect(this, &QFileDialog::currentChanged, this, &TOpenPictureDialog::RefreshPreview);
    connect(PreviewButton, &QToolButton::clicked, this, &TOpenPictureDialog::PreviewClick);
    connect(PaintBox, &TPaintBox::Clicked, this, &TOpenPictureDialog::PreviewClick);
}

QStringList TOpenPictureDialog::NameFilters(const std::string& filter)
{
    QStringList filters;
    for (const auto& [text, pattern] : SplitFilter(filter)) {
        // The dialog reads its patterns from the parentheses, separated by spaces.
        QString shown = QString::fromStdString(text);
        const int open = int(shown.lastIndexOf(QLatin1Char('(')));
        if (open >= 0) {
            shown = shown.left(open).trimmed();
        }
        QString patterns = QString::fromStdString(pattern);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << shown + QStringLiteral(" (") + patterns + QStringLiteral(")");
    }
    return filters;
}

void TOpenPictureDialog::showEvent(QShowEvent* event)
{
    m_picture.AssignFrom(nullptr);
    PictureLabel->setText(Tr("画像:"));
    PreviewButton->setEnabled(false);
    if (!nameFilters().isEmpty()) {
        selectNameFilter(nameFilters().first());
    }
    QFileDialog::showEvent(event);
    if (!m_sized) {
        m_sized = true;
        FitToContents();
        // Centred again over its owner at the size it has now, then kept there: placed by its
        // client area, it reopens where it first opened (placed by its frame it moved down by
        // the title bar's height from its second showing on).
        m_firstPlace = CentredPlace(parentWidget(), size());
    }
    setGeometry(QRect(m_firstPlace, size()));
}

void TOpenPictureDialog::FitToContents()
{
    // Qt sizes the dialog and its columns for short Latin texts; Japanese texts, sizes such as
    // "175 KiB" and the sidebar's "コンピュータ" were cut. The dialog grows by what its views
    // lack, as far as the screen allows.
    int grow = 0;
    auto* sidebar = findChild<QListView*>(QStringLiteral("sidebar"));
    auto* splitter = findChild<QSplitter*>(QStringLiteral("splitter"));
    int sidebarWidth = 0;
    if (sidebar != nullptr && splitter != nullptr) {
        sidebarWidth = sidebar->sizeHintForColumn(0) + 2 * sidebar->frameWidth() +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, sidebar);
        grow += std::max(0, sidebarWidth - sidebar->width());
    }
    if (auto* tree = findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = tree->header();
        const QFontMetrics metrics = tree->fontMetrics();
        const QLocale locale = QLocale::system();
        // The widest size and date the model shows; the type column follows what is listed.
        const QString samples[] = {
            QString(), locale.formattedDataSize(qint64(1023.99 * 1024 * 1024)),
            QString(16, QLatin1Char('x')),
            locale.toString(QDateTime(QDate(2026, 12, 28), QTime(23, 59)), QLocale::ShortFormat)};
        const int padding = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) +
                            style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header);
        int wanted = 0;
        for (int section = 0; section < header->count(); ++section) {
            const int sample = section < int(std::size(samples)) && !samples[section].isEmpty()
                                   ? metrics.horizontalAdvance(samples[section]) + padding
                                   : 0;
            header->resizeSection(section, std::max(header->sectionSize(section), sample));
            wanted += header->sectionSize(section);
        }
        grow += std::max(0, wanted - tree->viewport()->width());
        if (auto* model = findChild<QFileSystemModel*>()) {
            connect(model, &QFileSystemModel::directoryLoaded, tree, [tree] {
                for (int section = 1; section < tree->header()->count(); ++section) {
                    tree->resizeColumnToContents(section);
                }
            });
        }
    }
    const QRect area = AvailableArea(parentWidget() != nullptr ? parentWidget() : this)
                           .marginsRemoved(FrameMargins(parentWidget()));
    QSize target(width() + grow, height());
    if (!area.isEmpty()) {
        target = target.boundedTo(area.size());
    }
    resize(target);
    if (sidebarWidth > 0) {
        QList<int> sizes = splitter->sizes();
        const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
        if (sizes.size() == 2) {
            sizes = {std::min(sidebarWidth, total / 3), total - std::min(sidebarWidth, total / 3)};
            splitter->setSizes(sizes);
        }
    }
}

void TOpenPictureDialog::RefreshPreview(const QString& fileName)
{
    const QFileInfo info(fileName);
    bool valid = info.exists() && info.isFile();
    if (valid) {
        try {
            m_picture.LoadFile(QFile::encodeName(fileName).toStdString());
            PictureLabel->setText(
                QStringLiteral(" (%1x%2)").arg(m_picture.Width()).arg(m_picture.Height()));
            PreviewButton->setEnabled(true);
        } catch (...) {
            // Whatever fails to load is no picture; the dialog shows no message for it.
            valid = false;
        }
    }
    if (!valid) {
        PictureLabel->setText(Tr("画像:"));
        PreviewButton->setEnabled(false);
        m_picture.AssignFrom(nullptr);
    }
    PaintBox->update();
}

void TOpenPictureDialog::PreviewClick()
{
    TPreviewForm form(this, m_picture.Graphic());
    form.exec();
}

QRect TOpenPictureDialog::PictureRect(const QSize& box, const QSize& picture)
{
    if (box.width() >= picture.width() && box.height() >= picture.height()) {
        return QRect((box.width() - picture.width()) / 2, (box.height() - picture.height()) / 2,
                     picture.width(), picture.height());
    }
    // Multiply, then divide, rounded.
    auto scale = [](int64_t value, int64_t numerator, int64_t denominator) {
        return int((value * numerator + denominator / 2) / denominator);
    };
    if (picture.width() > picture.height()) {
        return QRect(0, 0, box.width(), scale(picture.height(), box.width(), picture.width()));
    }
    return QRect(0, 0, scale(picture.width(), box.height(), picture.height()), box.height());
}

QRect TOpenPictureDialog::PreviewGeometry(const QSize& picture, const QRect& area,
                                          const QMargins& frame)
{
    const int surround = TPreviewForm::kSurround;
    // The panel's inside gets the picture's size plus 10 pixels each way, so within its
    // 5-pixel border width the picture shows at its own size, unless the screen is smaller.
    QSize room = area.size().shrunkBy(frame) - QSize(surround, surround);
    if (area.isEmpty()) {
        room = picture;
    }
    const QSize client = ScaledDownTo(picture, room) + QSize(surround, surround);
    const QSize outer = client.grownBy(frame);
    QRect placed(area.topLeft() + QPoint((area.width() - outer.width()) / 2,
                                         (area.height() - outer.height()) / 2),
                 outer);
    placed = FitInto(placed, area);
    return placed.marginsRemoved(frame);
}

QImage TOpenPictureDialog::Render(TGraphic& graphic, const QSize& size, const QColor& background)
{
    if (size.isEmpty()) {
        return QImage();
    }
    TBitmap bitmap;
    bitmap.SetPixelFormat(fmt24Bit);
    bitmap.SetWidth(size.width());
    bitmap.SetHeight(size.height());
    TBitmapCanvas& canvas = bitmap.Canvas();
    canvas.SetBrushColor(RGBColor(uint8_t(background.red()), uint8_t(background.green()),
                                  uint8_t(background.blue())));
    canvas.FillRect(TRect{0, 0, size.width(), size.height()});
    try {
        canvas.StretchDraw(TRect{0, 0, size.width(), size.height()}, &graphic);
    } catch (const Exception&) {
        // A picture that cannot be drawn leaves the background.
    }
    QImage image(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y) {
        const uint8_t* row = bitmap.RowAddress(y);
        uchar* out = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            out[3 * x] = row[3 * x + 2];
            out[3 * x + 1] = row[3 * x + 1];
            out[3 * x + 2] = row[3 * x];
        }
    }
    return image;
}

TPaintBox::TPaintBox(QWidget* parent, const TPicture& picture) : QWidget(parent), m_picture(picture)
{}

void TPaintBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor background = palette().color(QPalette::Window);
    painter.fillRect(rect(), background);
    TGraphic* graphic = m_picture.Graphic();
    if (graphic == nullptr || m_picture.Width() == 0) {
        painter.drawText(rect(), Qt::AlignCenter, Tr("(なし)"));
        return;
    }
    const QRect target =
        TOpenPictureDialog::PictureRect(size(), QSize(m_picture.Width(), m_picture.Height()));
    painter.drawImage(target.topLeft(),
                      TOpenPictureDialog::Render(*graphic, target.size(), background));
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (m_picture.Width() > 0) {
        emit Clicked();
    }
}

} // namespace kapto
