#include "ui/Form1.h"

#include "app/FileNames.h"
#include "app/ScanFolder.h"
#include "ui/OpenPictureDialog.h"
#include "ui/PreviewWindow.h"
#include "ui/RunThread.h"
#include "ui/ScreenFit.h"
#include "ui/UiFont.h"
#include "ui/UiTexts.h"
#include "ui/Widgets.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QListWidgetItem>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>

#include <new>
#include <utility>

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
// The status line under the bar, hidden until the first run.
constexpr QRect kStatusPlace(8, 451 - 3 - TForm1::kStatusHeight, 385, TForm1::kStatusHeight);

std::string SystemName(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString DisplayName(const std::string& name)
{
    return QFile::decodeName(QByteArray::fromStdString(name));
}

} // namespace

namespace {

// Makes a control, keeps it in its member and hands it on, for the tables of controls.
template <typename T, typename... TArgs> QWidget* New(T*& member, TArgs&&... args)
{
    member = new T(std::forward<TArgs>(args)...);
    return member;
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent)
{
    setObjectName("Form1");
    setWindowTitle(Tr("png変換"));
    // Every window of the program, dialogs and boxes included, carries the package's icon.
    if (QApplication::windowIcon().isNull()) {
        QApplication::setWindowIcon(KaptoIcon());
    }
    setFont(WindowFont());
    setAutoFillBackground(true);
    MakeControls();
    SetUpControls();
    MakeMenuAndDialogs();
    ConnectHandlers();
    FitToFont();
    FormCreate();
    WireRun();
}

TForm1::~TForm1()
{
    // A run still going ends before the controls it reports to.
    delete Run;
    Run = nullptr;
}

bool TForm1::IsRunning() const
{
    return Run != nullptr && Run->IsRunning();
}

void TForm1::MakeControls()
{
    // The window's own controls in the order they are made, which is also their tab order:
    // what each is and its caption, its name, where it lies in the design and which edges it
    // follows. The key group's controls are made with the group.
    const int rows = kToleranceRows;
    const struct
    {
        QWidget* Widget;
        const char* Name;
        QRect Geometry;
        int Anchors;
    } controls[] = {
        {New(ListBox1, this),
         "ListBox1",
         {8, 8, 385, 377 + rows},
         akLeft | akTop | akRight | akBottom},
        {New(CheckBox1, Tr("指定色を透過"), this), "CheckBox1", {400, 40, 97, 17}, akTop | akRight},
        {New(Button1, QStringLiteral(">PNG"), this),
         "Button1",
         {400, 376 + rows, 64, 25},
         akRight | akBottom},
        {New(Button2, Tr("読込"), this), "Button2", {400, 8, 50, 25}, akTop | akRight},
        {MakeKeyGroup(),
         "GroupBox1",
         {400, 64, 113 + kToleranceWidening, 113 + rows},
         akTop | akRight},
        {New(ProgressBar1, this),
         "ProgressBar1",
         {8, 391 + rows, 385, 11},
         akLeft | akRight | akBottom},
        {New(Button3, QStringLiteral(">BMP"), this),
         "Button3",
         {471, 376 + rows, 43, 25},
         akRight | akBottom},
        {New(Button4, Tr("終了"), this), "Button4", {463, 8, 49, 25}, akTop | akRight},
        {New(CheckBox2, Tr("透過率を指定"), this),
         "CheckBox2",
         {400, 184 + rows, 97, 17},
         akTop | akRight},
        {New(ScrollBar1, Qt::Horizontal, this),
         "ScrollBar1",
         {400, 208 + rows, 113, 13},
         akTop | akRight},
        {New(Label1, QStringLiteral("100%"), this),
         "Label1",
         {439, 224 + rows, 24, 12},
         akTop | akRight},
        {New(CheckBox3, Tr("透過率に元絵を使用"), this),
         "CheckBox3",
         {400, 240 + rows, 97, 17},
         akTop | akRight},
        {New(RadioGroup1, this, QStringList{Tr("暗いほど透過"), Tr("明るいほど透過")}),
         "RadioGroup1",
         {399, 256 + rows, 113, 57},
         akTop | akRight},
        {New(CheckBox4, Tr("色を寄せる"), this),
         "CheckBox4",
         {420, 320 + rows, 81, 17},
         akTop | akRight},
        {New(CheckBox5, Tr("白黒反転"), this),
         "CheckBox5",
         {436, 336 + rows, 73, 17},
         akTop | akRight},
        {New(CheckBox8, Tr("ファイルサイズを最適化"), this),
         "CheckBox8",
         {400, 356 + rows, 113, 17},
         akTop | akRight},
    };
    StatusLine = new QLabel(this);
    StatusLine->setObjectName("StatusLine");
    StatusLine->hide();
    Place(StatusLine, kStatusPlace, akLeft | akRight | akBottom);
    // The swatch sits between the radio buttons; keep it above them for the mouse. The keyboard
    // reaches it right after "色", the choice it belongs to.
    Shape1->raise();
    setTabOrder(RadioButton5, Shape1);
    QWidget* previous = nullptr;
    for (const auto& c : controls) {
        c.Widget->setObjectName(c.Name);
        Place(c.Widget, c.Geometry, c.Anchors);
        // Labels take no focus; a group passes it on to the controls placed in it.
        if (qobject_cast<QLabel*>(c.Widget) == nullptr) {
            if (previous != nullptr) {
                setTabOrder(previous, c.Widget);
            }
            previous = c.Widget;
        }
    }
    // In the key group the tolerance comes after the colour choice, before the rim.
    setTabOrder(RadioButton5, SpinBox1);
    setTabOrder(SpinBox1, CheckBox7);
    setTabOrder(CheckBox7, CheckBox6);
}

QWidget* TForm1::MakeKeyGroup()
{
    GroupBox1 = new QGroupBox(Tr("透過色の指定方法"), this);
    const struct
    {
        QWidget* Widget;
        const char* Name;
        QRect Geometry;
    } controls[] = {
        {New(Shape1, GroupBox1), "Shape1", {56, 52, 33, 25}},
        {New(RadioButton1, Tr("左上"), GroupBox1), "RadioButton1", {8, 16, 57, 17}},
        {New(RadioButton2, Tr("左下"), GroupBox1), "RadioButton2", {8, 32, 57, 17}},
        {New(RadioButton3, Tr("右上"), GroupBox1), "RadioButton3", {56, 16, 49, 17}},
        {New(RadioButton4, Tr("右下"), GroupBox1), "RadioButton4", {56, 32, 49, 17}},
        {New(RadioButton5, Tr("色"), GroupBox1), "RadioButton5", {8, 56, 41, 17}},
        {New(Label2, Tr("許容差"), GroupBox1), "Label2", {8, 86, 40, 17}},
        {New(SpinBox1, GroupBox1), "SpinBox1", {50, 83, 60, 22}},
        {New(CheckBox7, Tr("境界をなめらかに"), GroupBox1), "CheckBox7", {8, 110, 117, 17}},
        {New(CheckBox6, Tr("縁取"), GroupBox1), "CheckBox6", {8, 88 + kToleranceRows, 57, 17}},
    };
    for (const auto& c : controls) {
        c.Widget->setObjectName(c.Name);
        c.Widget->setGeometry(c.Geometry);
    }
    return GroupBox1;
}

void TForm1::SetUpControls()
{
    // Names for screen readers where a control shows no caption of its own.
    const struct
    {
        QWidget* Widget;
        QString Name;
    } names[] = {
        {ListBox1, Tr("変換するファイル")}, {Shape1, Tr("色")},
        {SpinBox1, Tr("許容差")},           {ScrollBar1, Tr("透過率を指定")},
        {ProgressBar1, Tr("進行状況")},     {RadioGroup1, Tr("透過率に元絵を使用")},
        {StatusLine, Tr("進行状況")},
    };
    for (const auto& n : names) {
        n.Widget->setAccessibleName(n.Name);
    }
    Shape1->SetBrushColor(clBlack);
    RadioButton5->setChecked(true);
    SpinBox1->setRange(0, 100);
    SpinBox1->setSuffix(QStringLiteral("%"));
    Label2->setBuddy(SpinBox1);
    CheckBox6->setVisible(false);

    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFocusPolicy(Qt::NoFocus);
    ScrollBar1->setRange(0, 100);
    // A click in the groove and PageUp / PageDown move by 10, the arrows by 1; the thumb
    // keeps its smallest size either way.
    ScrollBar1->setPageStep(10);
    // A tab stop like the other options, so the keys can reach it. Right, PageUp and the wheel
    // turned up raise the value, as on a slider; a scroll bar's default turns the keys around.
    ScrollBar1->setFocusPolicy(Qt::StrongFocus);
    ScrollBar1->setInvertedControls(false);
    ScrollBar1->setValue(100);
    UpdateToleranceEnabled();
}

void TForm1::MakeMenuAndDialogs()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    N1 = PopupMenu1->addAction(Tr("選択されている行をリストからはずす"));
    N1->setObjectName("N1");
    N2 = PopupMenu1->addSeparator();
    N2->setObjectName("N2");
    N3 = PopupMenu1->addAction(Tr("リストの内容を空にする"));
    N3->setObjectName("N3");
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        UpdateMenu();
        PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(at));
    });

    // Delete removes the selected lines, with the same question as the menu.
    auto* remove = new QShortcut(QKeySequence::Delete, ListBox1);
    remove->setContext(Qt::WidgetWithChildrenShortcut);
    connect(remove, &QShortcut::activated, this, &TForm1::N1Click);
    auto* open = new QShortcut(QKeySequence::Open, this);
    connect(open, &QShortcut::activated, this, [this] {
        if (Button2->isEnabled()) {
            Button2Click();
        }
    });
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &TForm1::Button4Click);

    OpenPictureDialog1 = new TOpenPictureDialog(this);
    OpenPictureDialog1->setObjectName("OpenPictureDialog1");

    ColorDialog1 = new QColorDialog(this);
    ColorDialog1->setObjectName("ColorDialog1");
    ColorDialog1->setOption(QColorDialog::DontUseNativeDialog);
    new TFirstPlace(ColorDialog1);
}

void TForm1::ConnectHandlers()
{
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
}

void TForm1::FormCreate()
{
    connect(ListBox1, &TFileListBox::FilesDropped, this, &TForm1::WMDropFiles);
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
    MakeRoomInKeyGroup();
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

void TForm1::MakeRoomInKeyGroup()
{
    // The key group holds two controls on some rows. Where the left one's caption needs more
    // than its place (longer words than the two characters of the Japanese captions), what
    // stands right of it moves along; the corner buttons keep one column, and the group
    // widens to hold them.
    const auto needs = [](QWidget* left) {
        return TextWidthNeeded(left) > left->width() ? left->x() + TextWidthNeeded(left) + 4 : 0;
    };
    const int corners = std::max(needs(RadioButton1), needs(RadioButton2));
    for (QWidget* right :
         {static_cast<QWidget*>(RadioButton3), static_cast<QWidget*>(RadioButton4)}) {
        right->move(std::max(right->x(), corners), right->y());
    }
    Shape1->move(std::max(Shape1->x(), needs(RadioButton5)), Shape1->y());
    SpinBox1->move(std::max(SpinBox1->x(), needs(Label2)), SpinBox1->y());
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
    if (!ConfirmBox(this, Tr("選択されたファイルをリストからはずしてもよろしいですか？"))) {
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

void TForm1::UpdateMenu()
{
    N1->setEnabled(!ListBox1->selectedItems().isEmpty());
    N3->setEnabled(ListBox1->count() > 0);
}

void TForm1::N3Click()
{
    if (ConfirmBox(this, Tr("リストを空にしてもいいですか？"))) {
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
