#include "ui/Form1.h"

#include "app/FileNames.h"
#include "app/ScanFolder.h"
#include "runtime/Exceptions.h"
#include "runtime/Interrupt.h"
#include "ui/OWDialog.h"
#include "ui/OpenPictureDialog.h"
#include "ui/PreviewWindow.h"
#include "ui/ScreenFit.h"
#include "ui/UiFont.h"
#include "ui/Widgets.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidgetItem>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>

#include <new>

namespace kapto {

namespace {

// Room made in the key group for the tolerance rows: it grows by kToleranceRows, pushing
// the controls below it down, and widens by kToleranceWidening to hold "境界をなめらかに" whole.
constexpr int kToleranceRows = 44;
constexpr int kToleranceWidening = 20;

// The client area the control positions were laid out for.
constexpr int kDesignWidth = 520 + kToleranceWidening;
constexpr int kDesignHeight = 407 + kToleranceRows;
// Where the window first opens (the top-left corner of its client area).
constexpr QPoint kDesignPosition(348, 177);
// Space kept between the right column and the window's right edge, and between the controls
// in a group box and the box's right edge.
constexpr int kRightEdge = 520 - (400 + 113);
constexpr int kGroupMargin = 8;
// The list (and anything else that stretches with the window) keeps at least this size.
constexpr int kMinimumStretch = 100;

std::string SystemName(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString DisplayName(const std::string& name)
{
    return QFile::decodeName(QByteArray::fromStdString(name));
}

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
        return true;
    default:
        return false;
    }
}

// The width the control needs to show its whole text in its font; 0 for a control without
// text.
int TextWidthNeeded(QWidget* widget)
{
    if (qobject_cast<QCheckBox*>(widget) != nullptr ||
        qobject_cast<QRadioButton*>(widget) != nullptr) {
        // Indicator, spacing and text, as the style lays them out.
        return widget->sizeHint().width();
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect contents =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return button->fontMetrics().horizontalAdvance(button->text()) + button->width() -
               contents.width();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->fontMetrics().horizontalAdvance(label->text()) + label->width() -
               label->contentsRect().width() + 2 * label->margin();
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        return group->minimumSizeHint().width();
    }
    return 0;
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent)
{
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("png変換"));
    setFont(WindowFont());
    setAutoFillBackground(true);

    ListBox1 = new TFileListBox(this);
    ListBox1->setObjectName("ListBox1");
    Place(ListBox1, {8, 8, 385, 377 + kToleranceRows}, akLeft | akTop | akRight | akBottom);

    CheckBox1 = new QCheckBox(QStringLiteral("指定色を透過"), this);
    CheckBox1->setObjectName("CheckBox1");
    Place(CheckBox1, {400, 40, 97, 17}, akTop | akRight);

    Button1 = new QPushButton(QStringLiteral(">PNG"), this);
    Button1->setObjectName("Button1");
    Place(Button1, {400, 376 + kToleranceRows, 64, 25}, akRight | akBottom);

    Button2 = new QPushButton(QStringLiteral("読込"), this);
    Button2->setObjectName("Button2");
    Place(Button2, {400, 8, 50, 25}, akTop | akRight);

    GroupBox1 = new QGroupBox(QStringLiteral("透過色の指定方法"), this);
    GroupBox1->setObjectName("GroupBox1");
    Place(GroupBox1, {400, 64, 113 + kToleranceWidening, 113 + kToleranceRows}, akTop | akRight);

    Shape1 = new TShape(GroupBox1);
    Shape1->setObjectName("Shape1");
    Shape1->setGeometry(56, 52, 33, 25);
    Shape1->SetBrushColor(clBlack);

    const struct
    {
        QRadioButton** button;
        const char* name;
        QString text;
        QRect geometry;
    } radios[] = {
        {&RadioButton1, "RadioButton1", QStringLiteral("左上"), {8, 16, 57, 17}},
        {&RadioButton2, "RadioButton2", QStringLiteral("左下"), {8, 32, 57, 17}},
        {&RadioButton3, "RadioButton3", QStringLiteral("右上"), {56, 16, 49, 17}},
        {&RadioButton4, "RadioButton4", QStringLiteral("右下"), {56, 32, 49, 17}},
        {&RadioButton5, "RadioButton5", QStringLiteral("色"), {8, 56, 41, 17}},
    };
    for (const auto& r : radios) {
        QRadioButton* button = new QRadioButton(r.text, GroupBox1);
        button->setObjectName(r.name);
        button->setGeometry(r.geometry);
        *r.button = button;
    }
    RadioButton5->setChecked(true);
    // The swatch sits between the radio buttons; keep it above them for the mouse. The keyboard
    // reaches it right after "色", the choice it belongs to.
    Shape1->raise();
    setTabOrder(RadioButton5, Shape1);

    Label2 = new QLabel(QStringLiteral("許容差"), GroupBox1);
    Label2->setObjectName("Label2");
    Label2->setGeometry(8, 86, 40, 17);
    SpinBox1 = new QSpinBox(GroupBox1);
    SpinBox1->setObjectName("SpinBox1");
    SpinBox1->setRange(0, 100);
    SpinBox1->setSuffix(QStringLiteral("%"));
    SpinBox1->setGeometry(50, 83, 60, 22);
    Label2->setBuddy(SpinBox1);
    CheckBox7 = new QCheckBox(QStringLiteral("境界をなめらかに"), GroupBox1);
    CheckBox7->setObjectName("CheckBox7");
    CheckBox7->setGeometry(8, 110, 117, 17);

    CheckBox6 = new QCheckBox(QStringLiteral("縁取"), GroupBox1);
    CheckBox6->setObjectName("CheckBox6");
    CheckBox6->setGeometry(8, 88 + kToleranceRows, 57, 17);
    CheckBox6->setVisible(false);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    Place(ProgressBar1, {8, 391 + kToleranceRows, 385, 11}, akLeft | akRight | akBottom);

    Button3 = new QPushButton(QStringLiteral(">BMP"), this);
    Button3->setObjectName("Button3");
    Place(Button3, {471, 376 + kToleranceRows, 43, 25}, akRight | akBottom);

    Button4 = new QPushButton(QStringLiteral("終了"), this);
    Button4->setObjectName("Button4");
    Place(Button4, {463, 8, 49, 25}, akTop | akRight);

    CheckBox2 = new QCheckBox(QStringLiteral("透過率を指定"), this);
    CheckBox2->setObjectName("CheckBox2");
    Place(CheckBox2, {400, 184 + kToleranceRows, 97, 17}, akTop | akRight);

    ScrollBar1 = new QScrollBar(Qt::Horizontal, this);
    ScrollBar1->setObjectName("ScrollBar1");
    ScrollBar1->setRange(0, 100);
    // A click in the groove and PageUp / PageDown move by 10, the arrows by 1; the thumb
    // keeps its smallest size either way.
    ScrollBar1->setPageStep(10);
    // A tab stop like the other options, so the keys can reach it. Right, PageUp and the wheel
    // turned up raise the value, as on a slider; a scroll bar's default turns the keys around.
    ScrollBar1->setFocusPolicy(Qt::StrongFocus);
    ScrollBar1->setInvertedControls(false);
    ScrollBar1->setValue(100);
    Place(ScrollBar1, {400, 208 + kToleranceRows, 113, 13}, akTop | akRight);

    Label1 = new QLabel(QStringLiteral("100%"), this);
    Label1->setObjectName("Label1");
    Place(Label1, {439, 224 + kToleranceRows, 24, 12}, akTop | akRight);

    CheckBox3 = new QCheckBox(QStringLiteral("透過率に元絵を使用"), this);
    CheckBox3->setObjectName("CheckBox3");
    Place(CheckBox3, {400, 240 + kToleranceRows, 97, 17}, akTop | akRight);

    RadioGroup1 =
        new TRadioGroup(this, {QStringLiteral("暗いほど透過"), QStringLiteral("明るいほど透過")});
    RadioGroup1->setObjectName("RadioGroup1");
    Place(RadioGroup1, {399, 256 + kToleranceRows, 113, 57}, akTop | akRight);

    CheckBox4 = new QCheckBox(QStringLiteral("色を寄せる"), this);
    CheckBox4->setObjectName("CheckBox4");
    Place(CheckBox4, {420, 320 + kToleranceRows, 81, 17}, akTop | akRight);

    CheckBox5 = new QCheckBox(QStringLiteral("白黒反転"), this);
    CheckBox5->setObjectName("CheckBox5");
    Place(CheckBox5, {436, 336 + kToleranceRows, 73, 17}, akTop | akRight);

    CheckBox8 = new QCheckBox(QStringLiteral("ファイルサイズを最適化"), this);
    CheckBox8->setObjectName("CheckBox8");
    Place(CheckBox8, {400, 356 + kToleranceRows, 113, 17}, akTop | akRight);

    const QWidget* tabOrder[] = {ListBox1,     CheckBox1,   Button1,   Button2,   GroupBox1,
                                 ProgressBar1, Button3,     Button4,   CheckBox2, ScrollBar1,
                                 CheckBox3,    RadioGroup1, CheckBox4, CheckBox5, CheckBox8};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i) {
        setTabOrder(const_cast<QWidget*>(tabOrder[i]), const_cast<QWidget*>(tabOrder[i + 1]));
    }
    ProgressBar1->setFocusPolicy(Qt::NoFocus);
    // In the key group the tolerance comes after the colour choice, before the rim.
    setTabOrder(RadioButton5, SpinBox1);
    setTabOrder(SpinBox1, CheckBox7);
    setTabOrder(CheckBox7, CheckBox6);
    UpdateToleranceEnabled();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    N1 = PopupMenu1->addAction(QStringLiteral("選択されている行をリストからはずす"));
    N1->setObjectName("N1");
    N2 = PopupMenu1->addSeparator();
    N2->setObjectName("N2");
    N3 = PopupMenu1->addAction(QStringLiteral("リストの内容を空にする"));
    N3->setObjectName("N3");
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(at)); });

    OpenPictureDialog1 = new TOpenPictureDialog(this);
    OpenPictureDialog1->setObjectName("OpenPictureDialog1");

    ColorDialog1 = new QColorDialog(this);
    ColorDialog1->setObjectName("ColorDialog1");
    ColorDialog1->setOption(QColorDialog::DontUseNativeDialog);
    new TFirstPlace(ColorDialog1);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button1Click(Button3); });
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(N1, &QAction::triggered, this, &TForm1::N1Click);
    connect(N3, &QAction::triggered, this, &TForm1::N3Click);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TForm1::ScrollBar1Change);
    // Changing a box from code runs its handler too, as a click would.
    connect(CheckBox1, &QCheckBox::toggled, this, &TForm1::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TForm1::CheckBox2Click);
    connect(CheckBox3, &QCheckBox::toggled, this, &TForm1::CheckBox3Click);
    connect(SpinBox1, &QSpinBox::valueChanged, this, &TForm1::UpdateToleranceEnabled);
    connect(Shape1, &TShape::MouseUp, this, &TForm1::Shape1MouseUp);

    // The preview follows every option, the swatch and the selected line.
    // Enter on a line, or a double-click, whatever the style's activation rule.
    connect(ListBox1, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { OpenPreview(ListBox1->row(item)); });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { OpenPreview(ListBox1->row(item)); });
    connect(ListBox1, &QListWidget::currentRowChanged, this, &TForm1::UpdatePreview);
    const QList<QAbstractButton*> optionButtons = {CheckBox1,
                                                   CheckBox2,
                                                   CheckBox3,
                                                   CheckBox4,
                                                   CheckBox5,
                                                   CheckBox6,
                                                   RadioButton1,
                                                   RadioButton2,
                                                   RadioButton3,
                                                   RadioButton4,
                                                   RadioButton5,
                                                   RadioGroup1->Item(0),
                                                   RadioGroup1->Item(1),
                                                   CheckBox7,
                                                   CheckBox8};
    for (QAbstractButton* box : optionButtons) {
        connect(box, &QAbstractButton::toggled, this, &TForm1::UpdatePreview);
    }
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TForm1::UpdatePreview);
    connect(SpinBox1, &QSpinBox::valueChanged, this, &TForm1::UpdatePreview);

    FitToFont();
    FormCreate();
}

void TForm1::FormCreate()
{
    connect(ListBox1, &TFileListBox::FilesDropped, this, &TForm1::WMDropFiles);
    qApp->installEventFilter(this);
}

void TForm1::Place(QWidget* widget, const QRect& geometry, int anchors)
{
    widget->setGeometry(geometry);
    m_anchored.push_back({widget, geometry, anchors});
}

QRect TForm1::Arranged(const TAnchored& a, int dx, int dy)
{
    QRect g = a.Original;
    if ((a.Anchors & akRight) != 0) {
        if ((a.Anchors & akLeft) != 0) {
            g.setWidth(std::max(0, g.width() + dx));
        } else {
            g.moveLeft(g.left() + dx);
        }
    }
    if ((a.Anchors & akBottom) != 0) {
        if ((a.Anchors & akTop) != 0) {
            g.setHeight(std::max(0, g.height() + dy));
        } else {
            g.moveTop(g.top() + dy);
        }
    }
    return g;
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int dx = width() - m_startSize.width();
    const int dy = height() - m_startSize.height();
    for (const TAnchored& a : m_anchored) {
        a.Widget->setGeometry(Arranged(a, dx, dy));
    }
}

void TForm1::FitToFont()
{
    // Captions are measured in the font and style in use, which may be wider than the font the
    // positions were laid out for. Each control keeps its place and grows to the right.
    ensurePolished();
    for (const TAnchored& a : m_anchored) {
        WidenToText(a.Widget);
    }
    m_startSize = QSize(kDesignWidth, kDesignHeight);
    for (const TAnchored& a : m_anchored) {
        if ((a.Anchors & akRight) != 0 && (a.Anchors & akLeft) == 0) {
            m_startSize.setWidth(
                std::max(m_startSize.width(), a.Original.right() + 1 + kRightEdge));
        }
    }
    setMinimumSize(MinimumClientSize());
    // On a screen too small for the first position, the window moves (or shrinks) onto it.
    setGeometry(FitInto(QRect(kDesignPosition, m_startSize), AvailableArea(this)));
}

void TForm1::WidenToText(QWidget* widget)
{
    int needed = TextWidthNeeded(widget);
    if (qobject_cast<QGroupBox*>(widget) != nullptr) {
        // A box grows with the controls placed in it; the ones it arranges itself (the items
        // of a radio group) are in its own size hint.
        for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isWindow() || !child->testAttribute(Qt::WA_Moved)) {
                continue;
            }
            WidenToText(child);
            needed = std::max(needed, child->geometry().right() + 1 + kGroupMargin);
        }
    }
    if (needed <= widget->width()) {
        return;
    }
    widget->resize(needed, widget->height());
    for (TAnchored& a : m_anchored) {
        if (a.Widget == widget) {
            a.Original.setWidth(needed);
        }
    }
}

bool TForm1::KeepsControlsApart(int dx, int dy) const
{
    for (size_t i = 0; i < m_anchored.size(); ++i) {
        const TAnchored& a = m_anchored[i];
        const QRect g = Arranged(a, dx, dy);
        const bool stretchesAcross = (a.Anchors & (akLeft | akRight)) == (akLeft | akRight);
        const bool stretchesDown = (a.Anchors & (akTop | akBottom)) == (akTop | akBottom);
        if ((stretchesAcross && g.width() < std::min(kMinimumStretch, a.Original.width())) ||
            (stretchesDown && g.height() < std::min(kMinimumStretch, a.Original.height()))) {
            return false;
        }
        for (size_t j = i + 1; j < m_anchored.size(); ++j) {
            const TAnchored& b = m_anchored[j];
            if (!a.Original.intersects(b.Original) && g.intersects(Arranged(b, dx, dy))) {
                return false;
            }
        }
    }
    return true;
}

QSize TForm1::MinimumClientSize() const
{
    // Each direction shrinks on its own; anchors move controls along one axis each.
    int dx = 0;
    while (m_startSize.width() + dx > 1 && KeepsControlsApart(dx - 1, 0)) {
        --dx;
    }
    int dy = 0;
    while (m_startSize.height() + dy > 1 && KeepsControlsApart(0, dy - 1)) {
        --dy;
    }
    return m_startSize + QSize(dx, dy);
}

TConversionOptions TForm1::ReadOptions() const
{
    TConversionOptions options;
    options.KeyTransparent = CheckBox1->isChecked();
    options.UniformOpacity = CheckBox2->isChecked();
    options.OpacityPercent = ScrollBar1->value();
    options.EdgeMode = CheckBox6->isChecked();
    // The buttons are tested in the order 5, 1, 2, 3, 4.
    options.KeySource = RadioButton5->isChecked()   ? TKeySource::Swatch
                        : RadioButton1->isChecked() ? TKeySource::TopLeft
                        : RadioButton2->isChecked() ? TKeySource::BottomLeft
                        : RadioButton3->isChecked() ? TKeySource::TopRight
                        : RadioButton4->isChecked() ? TKeySource::BottomRight
                                                    : TKeySource::None;
    options.SwatchColor = Shape1->BrushColor();
    options.KeyTolerance = SpinBox1->value();
    options.KeySoftEdge = CheckBox7->isChecked() && options.KeyTolerance > 0;
    options.BrightnessAlpha = CheckBox3->isChecked();
    options.Direction = RadioGroup1->ItemIndex() == 1
                            ? TBrightnessDirection::BrighterMoreTransparent
                            : TBrightnessDirection::DarkerMoreTransparent;
    options.Flatten = CheckBox4->isChecked();
    options.InvertFlatten = CheckBox5->isChecked();
    options.Optimize = CheckBox8->isChecked();
    return options;
}

std::vector<std::string> TForm1::ListedFiles() const
{
    std::vector<std::string> files;
    for (int i = 0; i < ListBox1->count(); ++i) {
        files.push_back(SystemName(ListBox1->item(i)->text()));
    }
    return files;
}

void TForm1::Button1Click(QObject* sender)
{
    const TTargetFormat format = sender == Button1 ? TTargetFormat::Png : TTargetFormat::Bmp;
    const std::vector<std::string> files = ListedFiles();
    // The options are read once: the window takes no input while the run lasts.
    const TConversionOptions options = ReadOptions();
    TOWDialog dialog(this);
    QString error;
    m_running = true;
    m_failureShown = false;
    m_skippedFiles.clear();
    try {
        RunConversion(files, format, options, dialog, *this, 0);
    } catch (...) {
        error = QString::fromStdString(FailureMessage(std::current_exception()));
    }
    m_running = false;
    if (!error.isEmpty() && !m_failureShown) {
        ErrorBox(this, error);
    }
    if (!m_skippedFiles.isEmpty()) {
        SkippedFilesBox(this, m_skippedFiles);
    }
}

TFailureAnswer TForm1::FileFailed(int, const std::string& sourceName, const std::string& message)
{
    const QString path = DisplayName(sourceName);
    if (FileErrorBox(this, path, QString::fromStdString(message))) {
        m_skippedFiles.append(path);
        return TFailureAnswer::SkipFile;
    }
    m_failureShown = true;
    return TFailureAnswer::Stop;
}

void TForm1::SetMaximum(int maximum)
{
    ProgressBar1->setMaximum(maximum);
}

void TForm1::SetPosition(int position)
{
    ProgressBar1->setValue(position);
    // Keep painting during the run; input to this window is swallowed by eventFilter.
    ProgressBar1->repaint();
    QApplication::processEvents();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (m_running && IsUserInput(event->type()) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        // Closing the window ends the program at once, as a signal does: the files written
        // stay, the one being written is removed.
        EndNowWithoutDebris(0);
    }
    QWidget::closeEvent(event);
}

void TForm1::Button2Click()
{
    if (OpenPictureDialog1->exec() != QDialog::Accepted) {
        return;
    }
    ListBox1->clear();
    ListBox1->addItems(OpenPictureDialog1->selectedFiles());
    UpdatePreview();
}

void TForm1::Button4Click()
{
    close();
}

void TForm1::N1Click()
{
    if (ListBox1->selectedItems().isEmpty()) {
        return;
    }
    if (!ConfirmBox(this,
                    QStringLiteral("選択されたファイルをリストからはずしてもよろしいですか？"))) {
        return;
    }
    // The list moves the current line to a neighbour of a removed one; the preview would then
    // show a file nobody chose. Without the shown line there is no current line.
    const QListWidgetItem* current = ListBox1->currentItem();
    const bool currentGoes = current != nullptr && current->isSelected();
    for (int i = 0; i < ListBox1->count();) {
        if (ListBox1->item(i)->isSelected()) {
            delete ListBox1->takeItem(i);
        } else {
            ++i;
        }
    }
    if (currentGoes) {
        ListBox1->setCurrentRow(-1);
    }
    UpdatePreview();
}

void TForm1::N3Click()
{
    if (ConfirmBox(this, QStringLiteral("リストを空にしてもいいですか？"))) {
        ListBox1->clear();
        UpdatePreview();
    }
}

void TForm1::ScrollBar1Change()
{
    Label1->setText(QString::number(ScrollBar1->value()) + QStringLiteral("%"));
}

void TForm1::UpdateEdgeVisibility()
{
    CheckBox6->setVisible(CheckBox1->isChecked() && CheckBox2->isChecked());
}

void TForm1::UpdateToleranceEnabled()
{
    const bool keyed = CheckBox1->isChecked();
    Label2->setEnabled(keyed);
    SpinBox1->setEnabled(keyed);
    CheckBox7->setEnabled(keyed && SpinBox1->value() > 0);
}

void TForm1::CheckBox1Click()
{
    if (CheckBox1->isChecked()) {
        CheckBox3->setChecked(false);
    }
    UpdateEdgeVisibility();
    UpdateToleranceEnabled();
}

void TForm1::CheckBox2Click()
{
    if (CheckBox2->isChecked()) {
        CheckBox3->setChecked(false);
    }
    UpdateEdgeVisibility();
}

void TForm1::CheckBox3Click()
{
    if (CheckBox3->isChecked()) {
        CheckBox1->setChecked(false);
        CheckBox2->setChecked(false);
    }
    UpdateEdgeVisibility();
}

void TForm1::Shape1MouseUp()
{
    const TColor c = ResolveColor(Shape1->BrushColor());
    ColorDialog1->setCurrentColor(QColor(RedOf(c), GreenOf(c), BlueOf(c)));
    if (ColorDialog1->exec() == QDialog::Accepted) {
        const QColor chosen = ColorDialog1->currentColor();
        Shape1->SetBrushColor(
            RGBColor(uint8_t(chosen.red()), uint8_t(chosen.green()), uint8_t(chosen.blue())));
        UpdatePreview();
    }
}

void TForm1::OpenPreview(int row)
{
    if (row < 0 || row >= ListBox1->count()) {
        return;
    }
    if (PreviewWindow == nullptr) {
        PreviewWindow = new TPreviewWindow(this);
    }
    ListBox1->setCurrentRow(row);
    PreviewWindow->show();
    PreviewWindow->raise();
    UpdatePreview();
}

void TForm1::UpdatePreview()
{
    if (PreviewWindow == nullptr || !PreviewWindow->isVisible()) {
        return;
    }
    const int row = ListBox1->currentRow();
    if (row < 0 || row >= ListBox1->count()) {
        PreviewWindow->ShowNothing();
        return;
    }
    PreviewWindow->Request(ListBox1->item(row)->text(), ReadOptions());
}

void TForm1::WMDropFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        const std::string name = SystemName(path);
        std::vector<std::string> found;
        if (ScanFolder(name, found)) {
            for (const std::string& file : found) {
                ListBox1->addItem(DisplayName(file));
            }
            continue;
        }
        if (IsImageExtension(ExtractExtension(name))) {
            ListBox1->addItem(path);
        }
    }
}

} // namespace kapto
