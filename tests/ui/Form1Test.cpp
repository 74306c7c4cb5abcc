// The main window's wiring on the offscreen platform: controls, interlocks, the list and its
// menu, drops, and runs answered through the overwrite dialog and the message boxes.

#include "ui/Form1.h"
#include "graphics/Bitmap.h"
#include "runtime/Messages.h"
#include "support/Images.h"
#include "support/TempDir.h"
#include "ui/CaptionChecks.h"
#include "ui/OWDialog.h"
#include "ui/RunThread.h"
#include "ui/ScreenFit.h"
#include "ui/UiFont.h"
#include "ui/UiTexts.h"
#include "ui/Widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSemaphore>
#include <QSet>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <unistd.h>

#include <functional>

using namespace kapto;

namespace {

// Runs the action on the next modal window once it is shown, so no test waits on a dialog.
void WhenModal(std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer(qApp);
    auto* tries = new int(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            delete tries;
            action(modal);
        } else if (++*tries > 1000) {
            timer->stop();
            timer->deleteLater();
            delete tries;
            qFatal("no modal window appeared");
        }
    });
    timer->start(5);
}

// Clicks the button with that text in the next modal window; records the window's text.
void ClickInModal(const QString& buttonText, QString* seenText = nullptr,
                  QString* seenTitle = nullptr)
{
    WhenModal([=](QWidget* modal) {
        if (seenTitle != nullptr) {
            *seenTitle = modal->windowTitle();
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && seenText) {
            *seenText = box->text();
        }
        for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
            if (button->text() == buttonText) {
                button->click();
                return;
            }
        }
        qFatal("button not found");
    });
}

QStringList Items(const TForm1& form)
{
    QStringList items;
    for (int i = 0; i < form.ListBox1->count(); ++i) {
        items << form.ListBox1->item(i)->text();
    }
    return items;
}

// Starts a run with the button and waits until the window takes input again.
bool Convert(TForm1& form, QPushButton* button)
{
    QSignalSpy finished(&form, &TForm1::RunFinished);
    button->click();
    return finished.count() > 0 || finished.wait(30000);
}

QStringList EntriesOf(const TTempDir& dir)
{
    QStringList files;
    for (const std::string& name : dir.Entries()) {
        files << QString::fromStdString(name);
    }
    return files;
}

// A slow converter: the real run, whose every file waits before it loads until the test lets
// one through. Declared after the window, so that however a test ends the run is let go
// before the window waits for it.
class TGate
{
public:
    ~TGate() { m_passes->release(1000); }
    void Open() { m_passes->release(1); }
    TRunner Runner() const
    {
        return [passes = m_passes](const std::vector<std::string>& files, TTargetFormat format,
                                   const TConversionOptions& options, TOverwritePrompt& prompt,
                                   TRunProgress& progress) {
            TGated gated(progress, *passes);
            return RunConversion(files, format, options, prompt, gated, 1);
        };
    }

private:
    class TGated : public TRunProgress
    {
    public:
        TGated(TRunProgress& inner, QSemaphore& passes) : m_inner(inner), m_passes(passes) {}
        void SetMaximum(int maximum) override { m_inner.SetMaximum(maximum); }
        void SetPosition(int position) override { m_inner.SetPosition(position); }
        void FileStarted(int index, const std::string& source) override
        {
            m_inner.FileStarted(index, source);
            m_passes.acquire();
        }
        void FileFinished(int index, TFileResult result) override
        {
            m_inner.FileFinished(index, result);
        }
        TFailureAnswer FileFailed(int index, const std::string& source,
                                  const TFailure& failure) override
        {
            return m_inner.FileFailed(index, source, failure);
        }
        bool StopRequested() override { return m_inner.StopRequested(); }

    private:
        TRunProgress& m_inner;
        QSemaphore& m_passes;
    };
    std::shared_ptr<QSemaphore> m_passes = std::make_shared<QSemaphore>();
};

TColor PixelOf(const std::string& fileName)
{
    TBitmap bitmap;
    bitmap.LoadFile(fileName);
    return bitmap.Canvas().GetPixel(0, 0);
}

} // namespace

class Form1Test : public QObject
{
    Q_OBJECT

private slots:
    void ControlsHaveTheirCaptionsAndPlaces()
    {
        TForm1 form;
        QCOMPARE(form.windowTitle(), QStringLiteral("png変換"));
        // The start size grows with captions wider than their controls in the font in use.
        QVERIFY(form.width() >= 540);
        QCOMPARE(form.height(), 451);
        const struct
        {
            QWidget* widget;
            QRect geometry;
            QString text;
        } controls[] = {
            {form.ListBox1, {8, 8, 385, 421}, {}},
            {form.CheckBox1, {400, 40, 97, 17}, "指定色を透過"},
            {form.Button1, {400, 420, 64, 25}, ">PNG"},
            {form.Button2, {400, 8, 50, 25}, "読込"},
            {form.GroupBox1, {400, 64, 133, 157}, "透過色の指定方法"},
            {form.Shape1, {56, 52, 33, 25}, {}},
            {form.RadioButton1, {8, 16, 57, 17}, "左上"},
            {form.RadioButton2, {8, 32, 57, 17}, "左下"},
            {form.RadioButton3, {56, 16, 49, 17}, "右上"},
            {form.RadioButton4, {56, 32, 49, 17}, "右下"},
            {form.RadioButton5, {8, 56, 41, 17}, "色"},
            {form.Label2, {8, 86, 40, 17}, "許容差"},
            {form.SpinBox1, {50, 83, 60, 22}, {}},
            {form.CheckBox7, {8, 110, 117, 17}, "境界をなめらかに"},
            {form.CheckBox6, {8, 132, 57, 17}, "縁取"},
            {form.ProgressBar1, {8, 435, 385, 11}, {}},
            {form.Button3, {471, 420, 43, 25}, ">BMP"},
            {form.Button4, {463, 8, 49, 25}, "終了"},
            {form.CheckBox2, {400, 228, 97, 17}, "透過率を指定"},
            {form.ScrollBar1, {400, 252, 113, 13}, {}},
            {form.Label1, {439, 268, 24, 12}, "100%"},
            {form.CheckBox3, {400, 284, 97, 17}, "透過率に元絵を使用"},
            {form.RadioGroup1, {399, 300, 113, 57}, {}},
            {form.CheckBox4, {420, 364, 81, 17}, "色を寄せる"},
            {form.CheckBox5, {436, 380, 73, 17}, "白黒反転"},
            {form.CheckBox8, {400, 400, 113, 17}, "ファイルサイズを最適化"},
        };
        for (const auto& c : controls) {
            QCOMPARE(c.widget->pos(), c.geometry.topLeft());
            QCOMPARE(c.widget->height(), c.geometry.height());
            QVERIFY2(c.widget->width() >= c.geometry.width(), qPrintable(c.widget->objectName()));
            if (!c.text.isEmpty()) {
                QString text;
                if (auto* button = qobject_cast<QAbstractButton*>(c.widget)) {
                    text = button->text();
                } else if (auto* group = qobject_cast<QGroupBox*>(c.widget)) {
                    text = group->title();
                } else if (auto* label = qobject_cast<QLabel*>(c.widget)) {
                    text = label->text();
                }
                QCOMPARE(text, c.text);
            }
        }
        QVERIFY(form.RadioButton5->isChecked());
        QVERIFY(form.CheckBox6->isHidden());
        QCOMPARE(form.ScrollBar1->value(), 100);
        QCOMPARE(form.RadioGroup1->ItemIndex(), 0);
        QCOMPARE(form.RadioGroup1->Item(1)->text(), QStringLiteral("明るいほど透過"));
        QCOMPARE(form.N1->text(), QStringLiteral("選択されている行をリストからはずす"));
        QVERIFY(form.N2->isSeparator());
        QCOMPARE(form.N3->text(), QStringLiteral("リストの内容を空にする"));
        QCOMPARE(form.Shape1->BrushColor(), clBlack);
    }

    void AnchorsFollowTheWindowEdges()
    {
        TForm1 form;
        form.show();
        // 100 wider and 50 higher than the start size, whatever the font made that.
        form.resize(form.size() + QSize(100, 50));
        QCOMPARE(form.ListBox1->geometry(), QRect(8, 8, 485, 471));
        QCOMPARE(form.Button4->geometry(), QRect(563, 8, 49, 25));
        QCOMPARE(form.Button3->geometry(), QRect(571, 470, 43, 25));
        QCOMPARE(form.ProgressBar1->geometry(), QRect(8, 485, 485, 11));
        QCOMPARE(form.CheckBox3->pos(), QPoint(500, 284));
    }

    void EveryCaptionFitsItsControl()
    {
        TForm1 form;
        form.CheckBox6->show();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        int measured = 0;
        const QStringList problems = CaptionsThatDoNotFit(form, measured);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
        // At least the 19 captions of today: 2 push buttons at the top, the 2 conversion
        // buttons, 6 check boxes, 5 + 2 radio buttons, the group's title and the label.
        QVERIFY(measured >= 19);
    }

    void MinimumSizeKeepsControlsApart()
    {
        TForm1 form;
        form.show();
        const QSize start = form.size();
        QList<QWidget*> controls;
        for (QWidget* widget : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!widget->isWindow()) {
                controls << widget;
            }
        }
        QSet<QPair<QWidget*, QWidget*>> apart;
        for (QWidget* a : controls) {
            for (QWidget* b : controls) {
                if (a < b && !a->geometry().intersects(b->geometry())) {
                    apart.insert({a, b});
                }
            }
        }
        // The minimum still leaves room to shrink the window; at any smaller size asked for
        // (at 300 x 250 ">PNG" used to cover "100%") no two controls cover each other.
        QVERIFY(form.minimumWidth() < start.width());
        QVERIFY(form.minimumHeight() < start.height());
        for (const QSize& asked : {QSize(300, 250), QSize(1, 1)}) {
            form.resize(asked);
            QCOMPARE(form.size(), asked.expandedTo(form.minimumSize()));
            for (const auto& [a, b] : apart) {
                QVERIFY2(!a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + " / " + b->objectName()));
            }
            QVERIFY(form.ListBox1->width() >= 100 && form.ListBox1->height() >= 100);
        }
    }

    void ScrollBarStepsByOneAndPagesByTen_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<double>("clickAt");
        QTest::addColumn<int>("expected");
        // From 50; a click is given as a fraction of the bar's width.
        QTest::newRow("groove left of the thumb") << 0 << 0.2 << 40;
        QTest::newRow("groove right of the thumb") << 0 << 0.8 << 60;
        QTest::newRow("left arrow button") << 0 << 0.02 << 49;
        QTest::newRow("right arrow button") << 0 << 0.98 << 51;
        QTest::newRow("PageUp") << int(Qt::Key_PageUp) << 0.0 << 60;
        QTest::newRow("PageDown") << int(Qt::Key_PageDown) << 0.0 << 40;
        QTest::newRow("Right") << int(Qt::Key_Right) << 0.0 << 51;
        QTest::newRow("Left") << int(Qt::Key_Left) << 0.0 << 49;
    }

    void ScrollBarStepsByOneAndPagesByTen()
    {
        QFETCH(int, key);
        QFETCH(double, clickAt);
        QFETCH(int, expected);
        TForm1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.ScrollBar1->setValue(50);
        if (key != 0) {
            QTest::keyClick(form.ScrollBar1, Qt::Key(key));
        } else {
            QTest::mouseClick(
                form.ScrollBar1, Qt::LeftButton, {},
                QPoint(int(clickAt * form.ScrollBar1->width()), form.ScrollBar1->height() / 2));
        }
        QCOMPARE(form.ScrollBar1->value(), expected);
        QCOMPARE(form.Label1->text(), QStringLiteral("%1%").arg(expected));
    }

    void TabReachesEveryControlAndTheSwatchOpensTheDialog()
    {
        TForm1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.ListBox1->setFocus();
        QStringList order;
        for (int i = 0; i < 15; ++i) {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus != nullptr);
            order << (focus->objectName().isEmpty() ? focus->parentWidget()->objectName()
                                                    : focus->objectName());
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        // The five corner and colour buttons are one stop; the swatch follows them.
        QCOMPARE(order,
                 (QStringList{"ListBox1", "CheckBox1", "Button1", "Button2", "RadioButton1",
                              "Shape1", "Button3", "Button4", "CheckBox2", "ScrollBar1",
                              "CheckBox3", "RadioGroup1", "CheckBox4", "CheckBox5", "CheckBox8"}));
        QCOMPARE(QApplication::focusWidget(), form.ListBox1);

        // Space or Enter on the swatch opens the colour dialog as a click does.
        for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
            form.Shape1->setFocus();
            QColor shown;
            WhenModal([&shown](QWidget* modal) {
                auto* dialog = qobject_cast<QColorDialog*>(modal);
                QVERIFY(dialog != nullptr);
                shown = dialog->currentColor();
                dialog->setCurrentColor(QColor(0x20, 0x40, 0x60));
                dialog->accept();
            });
            form.Shape1->SetBrushColor(clBlack);
            QTest::keyClick(form.Shape1, key);
            QCOMPARE(shown, QColor(0, 0, 0));
            QCOMPARE(form.Shape1->BrushColor(), RGBColor(0x20, 0x40, 0x60));
        }
    }

    void InterlocksKeepTheOptionsConsistent()
    {
        TForm1 form;
        form.CheckBox1->setChecked(true);
        QVERIFY(form.CheckBox6->isHidden());
        form.CheckBox2->setChecked(true);
        QVERIFY(!form.CheckBox6->isHidden());
        form.CheckBox6->setChecked(true);
        // Alpha from brightness unticks both and hides the rim box without unticking it.
        form.CheckBox3->setChecked(true);
        QVERIFY(!form.CheckBox1->isChecked());
        QVERIFY(!form.CheckBox2->isChecked());
        QVERIFY(form.CheckBox6->isHidden());
        QVERIFY(form.CheckBox6->isChecked());
        // Each of the other two unticks it again.
        form.CheckBox1->setChecked(true);
        QVERIFY(!form.CheckBox3->isChecked());
        form.CheckBox3->setChecked(true);
        form.CheckBox2->setChecked(true);
        QVERIFY(!form.CheckBox3->isChecked());
        QVERIFY(form.CheckBox6->isHidden());
        // A real click goes through the same handlers.
        QTest::mouseClick(form.CheckBox1, Qt::LeftButton);
        QVERIFY(form.CheckBox1->isChecked());
        QVERIFY(!form.CheckBox6->isHidden());
    }

    void ToleranceFollowsTheKeyBoxAndItsInterlocks()
    {
        TForm1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const auto enabled = [&] {
            return QString("%1%2%3")
                .arg(int(form.Label2->isEnabled()))
                .arg(int(form.SpinBox1->isEnabled()))
                .arg(int(form.CheckBox7->isEnabled()));
        };
        QCOMPARE(form.SpinBox1->value(), 0);
        QCOMPARE(form.SpinBox1->suffix(), QStringLiteral("%"));
        QCOMPARE(form.SpinBox1->maximum(), 100);
        QCOMPARE(enabled(), QStringLiteral("000"));
        // The soft edge waits for a tolerance above 0, ticked by a real click on the key box.
        QTest::mouseClick(form.CheckBox1, Qt::LeftButton);
        QCOMPARE(enabled(), QStringLiteral("110"));
        form.SpinBox1->setValue(10);
        QCOMPARE(enabled(), QStringLiteral("111"));
        form.CheckBox7->setChecked(true);
        TConversionOptions options = form.ReadOptions();
        QCOMPARE(options.KeyTolerance, 10);
        QVERIFY(options.KeySoftEdge);
        form.SpinBox1->setValue(0);
        QCOMPARE(enabled(), QStringLiteral("110"));
        QVERIFY(!form.ReadOptions().KeySoftEdge);
        form.SpinBox1->setValue(25);
        // Alpha from brightness unticks the key box, and both follow it out and back.
        form.CheckBox3->setChecked(true);
        QCOMPARE(enabled(), QStringLiteral("000"));
        QVERIFY(!form.ReadOptions().KeyTransparent);
        form.CheckBox1->setChecked(true);
        QCOMPARE(enabled(), QStringLiteral("111"));
        options = form.ReadOptions();
        QCOMPARE(options.KeyTolerance, 25);
        QVERIFY(options.KeySoftEdge);

        // Tab goes from the colour choice to the tolerance, the soft edge, then the rim.
        form.CheckBox2->setChecked(true);
        form.RadioButton5->setFocus();
        const QWidget* expected[] = {form.SpinBox1, form.CheckBox7, form.CheckBox6};
        for (const QWidget* next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus == next || focus->parentWidget() == next);
        }
    }

    void LabelFollowsTheScrollBar()
    {
        TForm1 form;
        form.ScrollBar1->setValue(37);
        QCOMPARE(form.Label1->text(), QStringLiteral("37%"));
    }

    void OptionsAreReadFromTheControls()
    {
        TForm1 form;
        TConversionOptions options = form.ReadOptions();
        QVERIFY(!options.KeyTransparent && !options.UniformOpacity && !options.BrightnessAlpha);
        QVERIFY(!options.Optimize);
        QVERIFY(options.KeySource == TKeySource::Swatch);
        QCOMPARE(options.OpacityPercent, 100);

        form.CheckBox1->setChecked(true);
        form.CheckBox2->setChecked(true);
        form.CheckBox6->setChecked(true);
        form.ScrollBar1->setValue(40);
        form.RadioButton4->setChecked(true);
        form.Shape1->SetBrushColor(0x123456);
        options = form.ReadOptions();
        QVERIFY(options.KeyTransparent && options.UniformOpacity && options.EdgeMode);
        QCOMPARE(options.OpacityPercent, 40);
        QVERIFY(options.KeySource == TKeySource::BottomRight);
        QCOMPARE(options.SwatchColor, 0x123456);

        form.CheckBox3->setChecked(true);
        form.RadioGroup1->SetItemIndex(1);
        form.CheckBox4->setChecked(true);
        form.CheckBox5->setChecked(true);
        options = form.ReadOptions();
        QVERIFY(options.BrightnessAlpha && options.Flatten && options.InvertFlatten);
        QVERIFY(options.Direction == TBrightnessDirection::BrighterMoreTransparent);
        QVERIFY(!options.KeyTransparent && !options.UniformOpacity);

        form.CheckBox8->setChecked(true);
        QVERIFY(form.ReadOptions().Optimize);
    }

    void MenuRemovesSelectedLinesAfterConfirmation()
    {
        TForm1 form;
        form.ListBox1->addItems({"a", "b", "c", "d"});
        for (int i = 0; i < 3; ++i) {
            form.ListBox1->item(i)->setSelected(true);
        }
        QString text;
        QString title;
        ClickInModal(QStringLiteral("いいえ(&N)"), &text, &title);
        form.N1->trigger();
        QCOMPARE(title, QStringLiteral("確認"));
        QCOMPARE(text, QStringLiteral("選択されたファイルをリストからはずしてもよろしいですか？"));
        QCOMPARE(Items(form).size(), 4);

        ClickInModal(QStringLiteral("はい(&Y)"));
        form.N1->trigger();
        QCOMPARE(Items(form), QStringList{"d"});

        // Nothing selected: nothing is asked (a question would fail on the missing answer).
        form.ListBox1->clearSelection();
        form.N1->trigger();
        QCOMPARE(Items(form), QStringList{"d"});
    }

    void MenuEmptiesTheListAfterConfirmation()
    {
        TForm1 form;
        form.ListBox1->addItems({"a", "b"});
        QString text;
        ClickInModal(QStringLiteral("いいえ(&N)"), &text);
        form.N3->trigger();
        QCOMPARE(text, QStringLiteral("リストを空にしてもいいですか？"));
        QCOMPARE(form.ListBox1->count(), 2);
        ClickInModal(QStringLiteral("はい(&Y)"));
        form.N3->trigger();
        QCOMPARE(form.ListBox1->count(), 0);
        // Asked also when the list is already empty.
        ClickInModal(QStringLiteral("はい(&Y)"), &text);
        text.clear();
        form.N3->trigger();
        QVERIFY(!text.isEmpty());
    }

    void KeysReachTheListTheOpenDialogAndQuit()
    {
        TForm1 form;
        form.ListBox1->addItems({"a", "b", "c"});
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QVERIFY(!form.windowIcon().isNull());
        // The menu greys out what does not apply to the list as it stands.
        const auto menuState = [&] {
            emit form.ListBox1->customContextMenuRequested(QPoint(4, 4));
            form.PopupMenu1->close();
            return QString("%1%2").arg(int(form.N1->isEnabled())).arg(int(form.N3->isEnabled()));
        };
        QCOMPARE(menuState(), QStringLiteral("01"));
        // Delete asks as the menu does, and removes the selected line.
        form.ListBox1->setFocus();
        form.ListBox1->item(1)->setSelected(true);
        QCOMPARE(menuState(), QStringLiteral("11"));
        QString text;
        ClickInModal(QStringLiteral("はい(&Y)"), &text);
        QTest::keyClick(form.ListBox1, Qt::Key_Delete);
        QCOMPARE(text, QStringLiteral("選択されたファイルをリストからはずしてもよろしいですか？"));
        QCOMPARE(Items(form), (QStringList{"a", "c"}));
        form.ListBox1->clear();
        QCOMPARE(menuState(), QStringLiteral("00"));
        // Ctrl+O opens the open dialog, Ctrl+Q closes the window.
        form.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &form);
        bool opened = false;
        WhenModal([&opened](QWidget* modal) {
            opened = qobject_cast<QFileDialog*>(modal) != nullptr;
            static_cast<QDialog*>(modal)->reject();
        });
        QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
        QVERIFY(opened);
        // The dialog may still be the active window for a moment after it closed.
        form.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &form);
        QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!form.isVisible());
    }

    void DropAddsImagesOfFoldersAndFiles()
    {
        TTempDir dir;
        for (const char* name :
             {"tree/b.png", "tree/a.JPG", "tree/sub/c.gif", "tree/notes.txt", "tree/.hidden.bmp",
              "tree/.dir/d.bmp", "single.bmp", "other.txt"}) {
            WriteFileBytes(dir.Path(name), {0});
        }
        TForm1 form;
        form.ListBox1->addItem("kept");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.Path("tree"))),
                      QUrl::fromLocalFile(QString::fromStdString(dir.Path("single.bmp"))),
                      QUrl::fromLocalFile(QString::fromStdString(dir.Path("other.txt"))),
                      QUrl::fromLocalFile(QString::fromStdString(dir.Path("single.bmp")))});
        form.show();
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(form.ListBox1->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.ListBox1->viewport(), &drop);
        const QString root = QString::fromStdString(dir.Root());
        QCOMPARE(Items(form), (QStringList{"kept", root + "/tree/a.JPG", root + "/tree/b.png",
                                           root + "/tree/sub/c.gif", root + "/single.bmp",
                                           root + "/single.bmp"}));
    }

    void RunAnswersEveryOverwriteChoice_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("tick");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<int>("questions");
        QTest::addColumn<int>("progress");
        // Sources a, b and c; a.png and b.png exist before the run.
        QTest::newRow("overwrite")
            << "上書き" << false << QStringList{"a.png", "b.png", "c.png"} << 2 << 3;
        QTest::newRow("overwrite, all")
            << "上書き" << true << QStringList{"a.png", "b.png", "c.png"} << 1 << 3;
        QTest::newRow("rename") << "名前を変更(No.を付加)" << false
                                << QStringList{"a-01.png", "b-01.png", "c.png"} << 2 << 3;
        QTest::newRow("rename, all") << "名前を変更(No.を付加)" << true
                                     << QStringList{"a-01.png", "b-01.png", "c.png"} << 1 << 3;
        QTest::newRow("skip") << "保存しない" << false << QStringList{"c.png"} << 2 << 3;
        QTest::newRow("skip, all") << "保存しない" << true << QStringList{"c.png"} << 1 << 3;
        QTest::newRow("abort") << "全体の処理を中止" << false << QStringList{} << 1 << 0;
        QTest::newRow("abort, all") << "全体の処理を中止" << true << QStringList{} << 1 << 0;
    }

    void RunAnswersEveryOverwriteChoice()
    {
        QFETCH(QString, button);
        QFETCH(bool, tick);
        QFETCH(QStringList, written);
        QFETCH(int, questions);
        QFETCH(int, progress);
        TTempDir dir;
        TForm1 form;
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
            form.ListBox1->addItem(
                QString::fromStdString(WriteTestBmp(dir.Path(name), 2, 2, 0x00AA00)));
        }
        const std::vector<uint8_t> old = {1, 2, 3};
        WriteFileBytes(dir.Path("a.png"), old);
        WriteFileBytes(dir.Path("b.png"), old);
        int asked = 0;
        std::function<void(QWidget*)> answer = [&](QWidget* modal) {
            auto* dialog = qobject_cast<TOWDialog*>(modal);
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("ファイルの上書き確認"));
            // Two lines taller than the bare question: the output and the source under it.
            QCOMPARE(dialog->size(), QSize(423, 127));
            const QString output = dialog->Label2->toolTip();
            QVERIFY(output == QString::fromStdString(dir.Path("a.png")) ||
                    output == QString::fromStdString(dir.Path("b.png")));
            QVERIFY(dialog->Label2->text().endsWith(output.mid(output.lastIndexOf('/'))));
            // One dialog per run: a tick of an earlier question is still there.
            QCOMPARE(dialog->CheckBox1->isChecked(), tick && asked > 0);
            ++asked;
            dialog->CheckBox1->setChecked(tick);
            if (asked < questions) {
                WhenModal(answer);
            }
            for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
                if (b->text() == button) {
                    b->click();
                }
            }
        };
        WhenModal(answer);
        QVERIFY(Convert(form, form.Button1));
        QCOMPARE(asked, questions);
        QStringList files;
        for (const std::string& name : dir.Entries()) {
            files << QString::fromStdString(name);
        }
        QStringList expected = QStringList{"a.bmp", "a.png", "b.bmp", "b.png", "c.bmp"} + written;
        expected.removeDuplicates();
        expected.sort();
        QCOMPARE(files, expected);
        // What was written is a PNG; what was kept is the old file.
        for (const char* name : {"a.png", "b.png"}) {
            const bool replaced = written.contains(name);
            QCOMPARE(ReadFileBytes(dir.Path(name)) != old, replaced);
        }
        if (written.contains("c.png")) {
            QCOMPARE(ReadFileBytes(dir.Path("c.png"))[1], uint8_t('P'));
        }
        QCOMPARE(form.ProgressBar1->value(), progress);
        QCOMPARE(form.ProgressBar1->maximum(), 3);
    }

    void ClosingTheOverwriteDialogSkips()
    {
        TTempDir dir;
        TForm1 form;
        const std::string source = WriteTestBmp(dir.Path("a.bmp"), 2, 2, 0x0000FF);
        form.ListBox1->addItem(QString::fromStdString(source));
        WhenModal([](QWidget* modal) { modal->close(); });
        QVERIFY(Convert(form, form.Button3));
        QCOMPARE(PixelOf(source), 0x0000FF);
        QCOMPARE(form.ProgressBar1->value(), 1);
    }

    void AnErrorEndsTheRunInAMessageBox()
    {
        TTempDir dir;
        TForm1 form;
        const std::string first = WriteTestBmp(dir.Path("first.BMP"), 2, 2, 0x0000FF);
        const std::string missing = dir.Path("missing.bmp");
        form.ListBox1->addItem(QString::fromStdString(first));
        form.ListBox1->addItem(QString::fromStdString(missing));
        QString text;
        QString title;
        ClickInModal(QStringLiteral("OK"), &text, &title);
        QVERIFY(Convert(form, form.Button3));
        QCOMPARE(title, QStringLiteral("Kapto"));
        QCOMPARE(text, QString::fromStdString(missing + "\nファイル " + missing +
                                              " は開けません\nNo such file or directory"));
        QVERIFY(FileExists(dir.Path("first.bmp")));
        QCOMPARE(form.ProgressBar1->value(), 1);
        // The file that ended the run counts as failed in the summary.
        QVERIFY2(
            form.StatusLine->text().startsWith(QStringLiteral("1 件変換 0 件スキップ 1 件失敗")),
            qPrintable(form.StatusLine->text()));
    }

    void SkipAndContinueListsTheSkippedFilesAtTheEnd()
    {
        TTempDir dir;
        TForm1 form;
        const std::string missing = dir.Path("missing.bmp");
        const std::string kept = WriteTestBmp(dir.Path("kept.bmp"), 2, 2, 0x0000FF);
        const std::string last = WriteTestBmp(dir.Path("last.bmp"), 2, 2, 0x0000FF);
        WriteFileBytes(dir.Path("kept.png"), {1});
        for (const std::string& name : {missing, kept, last}) {
            form.ListBox1->addItem(QString::fromStdString(name));
        }
        QStringList listed;
        WhenModal([&](QWidget* modal) {
            WhenModal([&](QWidget* question) {
                WhenModal([&](QWidget* summary) {
                    auto* list = summary->findChild<QListWidget*>("SkippedFiles");
                    for (int i = 0; list != nullptr && i < list->count(); ++i) {
                        listed << list->item(i)->text();
                    }
                    static_cast<QDialog*>(summary)->accept();
                });
                static_cast<TOWDialog*>(question)->Button3->click();
            });
            for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
                if (button->text() == QStringLiteral("スキップして続行")) {
                    button->click();
                }
            }
        });
        QVERIFY(Convert(form, form.Button1));
        QCOMPARE(listed, QStringList{QString::fromStdString(missing)});
        QVERIFY(FileExists(dir.Path("last.png")));
        QCOMPARE(form.ProgressBar1->value(), 3);
        // What the run did, with the time it took.
        QVERIFY2(QRegularExpression(
                     QStringLiteral("^1 件変換 1 件スキップ 1 件失敗  \\(\\d+\\.\\d 秒\\)$"))
                     .match(form.StatusLine->text())
                     .hasMatch(),
                 qPrintable(form.StatusLine->text()));
    }

    void FilesWrittenWithAWarningAreListedAtTheEnd()
    {
        TTempDir dir;
        TForm1 form;
        // 4 rows of 12 bytes after a 54-byte header; the file ends after two of them.
        const std::string cut = WriteTestBmp(dir.Path("cut.bmp"), 4, 4, 0x0000FF);
        QCOMPARE(::truncate(cut.c_str(), 54 + 2 * 12), 0);
        form.ListBox1->addItem(QString::fromStdString(cut));
        QStringList warned;
        bool skippedShown = true;
        WhenModal([&](QWidget* summary) {
            skippedShown = summary->findChild<QListWidget*>("SkippedFiles") != nullptr;
            auto* list = summary->findChild<QListWidget*>("WarnedFiles");
            for (int i = 0; list != nullptr && i < list->count(); ++i) {
                warned << list->item(i)->text();
            }
            static_cast<QDialog*>(summary)->accept();
        });
        QVERIFY(Convert(form, form.Button1));
        QVERIFY(FileExists(dir.Path("cut.png")));
        QVERIFY(!skippedShown);
        QCOMPARE(
            warned,
            QStringList{QString::fromStdString(
                cut + ": 警告: ファイルが途中で終わっています。2 行が欠けています (全 4 行)")});
    }

    void RunLeavesTheWindowAnsweringAndStopsAfterTheFileInHand()
    {
        TTempDir dir;
        TForm1 form;
        TGate gate;
        form.Run->SetRunner(gate.Runner());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // An empty list converts nothing: the bar and the window stay as they are.
        form.ProgressBar1->setValue(7);
        form.Button1->click();
        QVERIFY(!form.IsRunning());
        QCOMPARE(form.ProgressBar1->value(), 7);
        QVERIFY(form.StatusLine->isHidden());
        const QRect listAtRest = form.ListBox1->geometry();
        QList<QWidget*> enabledAtRest;
        for (QWidget* widget : form.findChildren<QWidget*>()) {
            if (widget->isEnabled()) {
                enabledAtRest << widget;
            }
        }

        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
            form.ListBox1->addItem(
                QString::fromStdString(WriteTestBmp(dir.Path(name), 2, 2, 0x00AA00)));
        }
        form.Button1->click();
        QVERIFY(form.IsRunning());
        QTRY_COMPARE(form.StatusLine->text(), QStringLiteral("1 / 3  a.bmp"));
        // The first file is converting, and the window's thread is free.
        QElapsedTimer clock;
        clock.start();
        bool fired = false;
        QTimer::singleShot(10, &form, [&] { fired = true; });
        QTRY_VERIFY_WITH_TIMEOUT(fired, 1000);
        QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
        // What could change the run is disabled; the button that started it stops it.
        for (QWidget* quiet : QList<QWidget*>{form.ListBox1, form.Button2, form.Button3,
                                              form.CheckBox1, form.GroupBox1, form.ScrollBar1,
                                              form.CheckBox3, form.RadioGroup1, form.CheckBox8}) {
            QVERIFY2(!quiet->isEnabled(), qPrintable(quiet->objectName()));
        }
        QVERIFY(form.Button1->isEnabled() && form.Button4->isEnabled());
        QCOMPARE(form.Button1->text(), QStringLiteral("中止"));
        QCOMPARE(form.ListBox1->cursor().shape(), Qt::BusyCursor);
        QVERIFY(form.StatusLine->isVisible());
        QVERIFY(form.StatusLine->geometry().top() > form.ProgressBar1->geometry().bottom());
        QVERIFY(form.ListBox1->height() < listAtRest.height());

        QSignalSpy finished(&form, &TForm1::RunFinished);
        form.Button1->click();
        gate.Open();
        QVERIFY(finished.wait(10000));
        // The file in hand was finished whole; nothing of the others, nothing partial.
        QCOMPARE(EntriesOf(dir), (QStringList{"a.bmp", "a.png", "b.bmp", "c.bmp"}));
        QCOMPARE(ReadFileBytes(dir.Path("a.png"))[1], uint8_t('P'));
        QCOMPARE(form.ProgressBar1->value(), 1);
        for (QWidget* widget : enabledAtRest) {
            QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));
        }
        QCOMPARE(form.Button1->text(), QStringLiteral(">PNG"));
        QVERIFY(!form.ListBox1->testAttribute(Qt::WA_SetCursor));
        QVERIFY2(
            form.StatusLine->text().startsWith(QStringLiteral("1 件変換 0 件スキップ 0 件失敗  (")),
            qPrintable(form.StatusLine->text()));
        // A second run keeps the line where the first put it, also in a hidden window.
        const QRect listAfterRun = form.ListBox1->geometry();
        form.hide();
        delete form.ListBox1->takeItem(0);
        delete form.ListBox1->takeItem(0);
        gate.Open();
        QVERIFY(Convert(form, form.Button1));
        QCOMPARE(form.ListBox1->geometry(), listAfterRun);
        QCOMPARE(form.ListBox1->height(), listAtRest.height() - form.StatusLine->height());
    }

    void SkipAllPassesOverEveryFailureAndTheListFitsTheScreen()
    {
        // Run also on a 1024 x 768 screen. A hundred files that fail: one box, then the list
        // of all of them within the screen's available area, its OK button on the screen.
        TTempDir dir;
        TForm1 form;
        QStringList missing;
        for (int i = 0; i < 100; ++i) {
            missing << QString::fromStdString(dir.Path("missing-" + std::to_string(i) + ".bmp"));
        }
        form.ListBox1->addItems(missing);
        form.show();
        int errorBoxes = 0;
        QStringList listed;
        QRect area;
        QRect box;
        QRect okButton;
        QString copied;
        WhenModal([&](QWidget* modal) {
            ++errorBoxes;
            WhenModal([&](QWidget* summary) {
                area = AvailableArea(summary);
                box = summary->frameGeometry();
                auto* list = summary->findChild<QListWidget*>("SkippedFiles");
                for (int i = 0; i < list->count(); ++i) {
                    listed << list->item(i)->text();
                }
                for (QAbstractButton* button : summary->findChildren<QAbstractButton*>()) {
                    if (button->text() == QStringLiteral("OK")) {
                        okButton = QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
                    }
                }
                summary->findChild<QPushButton*>("Copy")->click();
                copied = QGuiApplication::clipboard()->text();
                static_cast<QDialog*>(summary)->accept();
            });
            for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
                if (button->text() == QStringLiteral("以降もスキップ")) {
                    button->click();
                }
            }
        });
        QVERIFY(Convert(form, form.Button1));
        QCOMPARE(errorBoxes, 1);
        QCOMPARE(listed, missing);
        QCOMPARE(copied, missing.join('\n') + '\n');
        QVERIFY2(area.contains(box), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                    .arg(box.x())
                                                    .arg(box.y())
                                                    .arg(box.width())
                                                    .arg(box.height())));
        QVERIFY(area.contains(okButton));
        QVERIFY(
            form.StatusLine->text().startsWith(QStringLiteral("0 件変換 0 件スキップ 100 件失敗")));
    }

    void OverwriteQuestionNamesTheSourceAndWhatIsLost()
    {
        // p.bmp writes p.png over an old file; then p.png is asked about as its own output,
        // written by p.bmp earlier in the run. Enter presses the focused default, "保存しない".
        TTempDir dir;
        TForm1 form;
        const std::string bmp = WriteTestBmp(dir.Path("p.bmp"), 2, 2, 0x0000FF);
        const std::string png = dir.Path("p.png");
        WriteFileBytes(png, {1, 2, 3});
        form.ListBox1->addItem(QString::fromStdString(bmp));
        form.ListBox1->addItem(QString::fromStdString(png));
        struct TSeen
        {
            QString Source;
            bool Replaces;
            QString Earlier;
            QString Focused;
        };
        QList<TSeen> seen;
        std::function<void(QWidget*)> answer = [&](QWidget* modal) {
            auto* dialog = qobject_cast<TOWDialog*>(modal);
            QVERIFY(dialog != nullptr);
            QTRY_VERIFY(dialog->isActiveWindow());
            seen.append({dialog->Label3->text(), dialog->Label4->isVisible(),
                         dialog->Label5->isVisible() ? dialog->Label5->toolTip() : QString(),
                         QApplication::focusWidget()->objectName()});
            if (seen.size() == 1) {
                WhenModal(answer);
                dialog->Button1->click();
                return;
            }
            QCOMPARE(dialog->Label4->text(),
                     QStringLiteral("元のファイルを置き換えます (透過や色数は失われます)"));
            QVERIFY(dialog->Label5->text().startsWith(QStringLiteral("この変換で先に /")));
            QVERIFY(dialog->Label5->text().endsWith(
                QStringLiteral("/p.bmp から書き出したファイルです")));
            QVERIFY(dialog->Button3->isDefault());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        };
        WhenModal(answer);
        QVERIFY(Convert(form, form.Button1));
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].Source, QStringLiteral("変換元: ") + QString::fromStdString(bmp));
        QVERIFY(!seen[0].Replaces);
        QVERIFY(seen[0].Earlier.isEmpty());
        QCOMPARE(seen[0].Focused, QStringLiteral("Button1"));
        QCOMPARE(seen[1].Source, QStringLiteral("変換元: ") + QString::fromStdString(png));
        QVERIFY(seen[1].Replaces);
        QCOMPARE(seen[1].Earlier, QString::fromStdString(bmp));
        QCOMPARE(seen[1].Focused, QStringLiteral("Button3"));
        // The first answer wrote p.png; Enter on the second kept it.
        QCOMPARE(ReadFileBytes(png)[1], uint8_t('P'));
        QVERIFY(form.StatusLine->text().startsWith(QStringLiteral("1 件変換 1 件スキップ")));
    }

    void OpenDialogReplacesTheList()
    {
        TTempDir dir;
        WriteFileBytes(dir.Path("b.png"), {0});
        WriteFileBytes(dir.Path("a.txt"), {0});
        TForm1 form;
        form.ListBox1->addItem("old");
        const QString b = QString::fromStdString(dir.Path("b.png"));
        const QString a = QString::fromStdString(dir.Path("a.txt"));
        WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        form.Button2Click();
        QCOMPARE(Items(form), QStringList{"old"});
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
            dialog->setDirectory(QString::fromStdString(dir.Root()));
            // Two names typed into the file name box, as a user picking several files.
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit != nullptr);
            edit->setText(QStringLiteral("\"b.png\" \"a.txt\""));
            // Confirm as the Open button would, without waiting for the folder to be listed.
            static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
        });
        form.Button2Click();
        // Chosen files replace the list, whatever their extension.
        QCOMPARE(Items(form), (QStringList{b, a}));
    }

    void SwatchTakesTheColourChosenInTheDialog()
    {
        TForm1 form;
        WhenModal([](QWidget* modal) {
            auto* dialog = qobject_cast<QColorDialog*>(modal);
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->currentColor(), QColor(0, 0, 0));
            dialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
            dialog->accept();
        });
        form.Shape1MouseUp();
        QCOMPARE(form.Shape1->BrushColor(), RGBColor(0x12, 0x34, 0x56));
        WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        form.Shape1MouseUp();
        QCOMPARE(form.Shape1->BrushColor(), RGBColor(0x12, 0x34, 0x56));
    }

    void Screenshot()
    {
        // Writes pictures of the window for the README when asked to, with the pictures of
        // KAPTO_SCREENSHOT_FOLDER (~/Pictures by default) dropped on the list: at rest
        // (KAPTO_SCREENSHOT), in the middle of a run (KAPTO_SCREENSHOT_RUN), held at its
        // third file by a run that writes nothing, and the box at the end of a run that
        // skipped a file and wrote two with warnings (KAPTO_SCREENSHOT_END).
        const QByteArray target = qgetenv("KAPTO_SCREENSHOT");
        const QByteArray runTarget = qgetenv("KAPTO_SCREENSHOT_RUN");
        const QByteArray endTarget = qgetenv("KAPTO_SCREENSHOT_END");
        if (target.isEmpty() && runTarget.isEmpty() && endTarget.isEmpty()) {
            QSKIP("KAPTO_SCREENSHOT not set");
        }
        // In the language the environment asks for, as the program starts.
        UseLanguage(LanguageFromEnvironment());
        const QByteArray folder = qgetenv("KAPTO_SCREENSHOT_FOLDER");
        TForm1 form;
        form.WMDropFiles({folder.isEmpty() ? QDir::homePath() + QStringLiteral("/Pictures")
                                           : QString::fromLocal8Bit(folder)});
        form.ListBox1->setCurrentRow(0);
        form.CheckBox1->setChecked(true);
        form.CheckBox2->setChecked(true);
        form.ScrollBar1->setValue(80);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::qWait(200);
        // With a window manager, the picture takes its frame and title bar too.
        const auto grab = [](QWidget* window) {
            if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
                const QRect frame = window->frameGeometry();
                return window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(),
                                                    frame.height());
            }
            return window->grab();
        };
        if (!target.isEmpty()) {
            QVERIFY(grab(&form).save(QString::fromLocal8Bit(target)));
        }
        if (!endTarget.isEmpty()) {
            QVERIFY(form.ListBox1->count() > 0);
            const auto listed = [&form](int i) {
                return form.ListBox1->item(i % form.ListBox1->count())->text();
            };
            bool saved = false;
            WhenModal([&](QWidget* box) {
                QTest::qWait(300);
                saved = grab(box).save(QString::fromLocal8Bit(endTarget));
                static_cast<QDialog*>(box)->accept();
            });
            RunEndBox(&form, {listed(0)},
                      {listed(1) + QStringLiteral(": ") +
                           QString::fromStdString(
                               FormatMessage(TMessage::SourceEndsEarly, {"120", "480"})),
                       listed(2) + QStringLiteral(": ") +
                           QString::fromStdString(FormatMessage(TMessage::OptimizeKeptPlain))});
            QVERIFY(saved);
        }
        if (runTarget.isEmpty()) {
            return;
        }
        auto release = std::make_shared<QSemaphore>();
        form.Run->SetRunner([release](const std::vector<std::string>& files, TTargetFormat,
                                      const TConversionOptions&, TOverwritePrompt&,
                                      TRunProgress& progress) {
            progress.SetPosition(0);
            progress.SetMaximum(int(files.size()));
            TRunSummary summary;
            for (size_t i = 0; i < files.size() && i < 3; ++i) {
                progress.FileStarted(int(i), files[i]);
                if (i < 2) {
                    progress.FileFinished(int(i), TFileResult::Converted);
                    progress.SetPosition(int(i) + 1);
                    ++summary.Converted;
                }
            }
            release->acquire();
            return summary;
        });
        QSignalSpy finished(&form, &TForm1::RunFinished);
        form.Button1->click();
        QTRY_VERIFY(form.StatusLine->text().startsWith(QStringLiteral("3 / ")));
        QTest::mouseMove(form.ListBox1, QPoint(120, 200));
        QTest::qWait(200);
        const bool saved = grab(&form).save(QString::fromLocal8Bit(runTarget));
        release->release();
        QVERIFY(finished.wait(10000));
        QVERIFY(saved);
    }
};

QTEST_MAIN(Form1Test)
#include "Form1Test.moc"
