// The live preview: opened from the list, following every option, showing the pixels of the
// file ">PNG" writes, its summary, failures in place of a picture, and never hanging.

#include "ui/PreviewWindow.h"
#include "app/Codecs.h"
#include "app/Preview.h"
#include "support/Images.h"
#include "support/JpegEncoder.h"
#include "support/TempDir.h"
#include "ui/Form1.h"
#include "ui/ScreenFit.h"
#include "ui/Widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <cmath>

using namespace kapto;

namespace {

// Waits until the preview shows the result of the newest request.
bool WaitForPreview(TPreviewWindow* preview)
{
    for (int i = 0; i < 1000; ++i) {
        QTest::qWait(5);
        if (preview->Result() != nullptr && !preview->IsRendering()) {
            QTest::qWait(5);
            if (!preview->IsRendering()) {
                return true;
            }
        }
    }
    return false;
}

std::string Framed(TTempDir& dir, const std::string& name)
{
    return WriteTestBmp(dir.Path(name), 12, 8, [](int x, int y) {
        return x < 2 || y < 2 || x >= 10 || y >= 6 ? clBlack : TColor(0x0000FF);
    });
}

// A slow renderer: each render waits until the test lets one through. Declared after the
// window, so that when the test ends in any way every waiting render is let through before
// the window waits for it.
class TGate
{
public:
    ~TGate() { m_passes->release(1000); }
    void Open(int renders = 1) { m_passes->release(renders); }
    TPreviewWindow::TRenderer Renderer() const
    {
        return [passes = m_passes](const std::string& source, const TConversionOptions& options) {
            passes->acquire();
            return RenderPreview(source, options);
        };
    }

private:
    std::shared_ptr<QSemaphore> m_passes = std::make_shared<QSemaphore>();
};

// Waits until no render runs any more.
bool WaitUntilIdle(TPreviewWindow* preview)
{
    for (int i = 0; i < 1000; ++i) {
        QTest::qWait(5);
        if (!preview->IsRendering()) {
            QTest::qWait(5);
            return true;
        }
    }
    return false;
}

// Clicks the button with that text in the next modal window.
void ClickInModalOnce(const QString& text)
{
    QTimer::singleShot(0, [text] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
            if (button->text() == text) {
                button->click();
                return;
            }
        }
        QFAIL("button not found");
    });
}

} // namespace

class PreviewWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void OpensFromTheListAndFollowsTheOptions()
    {
        TCodecRegistration codecs;
        TTempDir dir;
        TForm1 form;
        form.ListBox1->addItem(QString::fromStdString(Framed(dir, "a.bmp")));
        form.show();
        // A double-click on a line opens the preview.
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QRect line = form.ListBox1->visualItemRect(form.ListBox1->item(0));
        QTest::mousePress(form.ListBox1->viewport(), Qt::LeftButton, {}, line.center());
        QTest::mouseDClick(form.ListBox1->viewport(), Qt::LeftButton, {}, line.center());
        QVERIFY(form.PreviewWindow != nullptr);
        QVERIFY(form.PreviewWindow->isVisible());
        QCOMPARE(form.PreviewWindow->windowTitle(), QStringLiteral("変換結果のプレビュー"));
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QCOMPARE(form.PreviewWindow->Image().pixelColor(0, 0).alpha(), 255);

        // Key colour from the top-left corner: the frame becomes transparent.
        form.RadioButton1->setChecked(true);
        form.CheckBox1->setChecked(true);
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QCOMPARE(form.PreviewWindow->Image().pixelColor(0, 0).alpha(), 0);
        QVERIFY(form.PreviewWindow->Summary->text().contains(QStringLiteral("#000000 (左上)")));
        QVERIFY(form.PreviewWindow->KeySwatch->isVisibleTo(form.PreviewWindow));

        // Opacity with the rim kept opaque.
        form.CheckBox2->setChecked(true);
        form.ScrollBar1->setValue(40);
        form.CheckBox6->setChecked(true);
        QVERIFY(WaitForPreview(form.PreviewWindow));
        const QImage& image = form.PreviewWindow->Image();
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(image.pixelColor(1, 1).alpha(), 255);
        QCOMPARE(image.pixelColor(5, 4).alpha(), 102);

        // The swatch colour and the other corner buttons are followed too.
        form.RadioButton5->setChecked(true);
        form.Shape1->SetBrushColor(0x0000FF);
        form.UpdatePreview();
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QCOMPARE(form.PreviewWindow->Image().pixelColor(5, 4).alpha(), 0);
    }

    void FollowsTheToleranceAndTheSoftEdge()
    {
        TCodecRegistration codecs;
        TTempDir dir;
        // Black, a near-black speck at distance 20 and a dark red at 60, on a red figure.
        const std::string source = WriteTestBmp(dir.Path("d.bmp"), 12, 8, [](int x, int y) {
            if (x == 3 && y == 0) {
                return RGBColor(20, 20, 20);
            }
            if (x == 4 && y == 0) {
                return RGBColor(60, 0, 0);
            }
            return x < 2 || y < 2 || x >= 10 || y >= 6 ? clBlack : TColor(0x0000FF);
        });
        TForm1 form;
        form.ListBox1->addItem(QString::fromStdString(source));
        form.show();
        form.RadioButton1->setChecked(true);
        form.CheckBox1->setChecked(true);
        form.OpenPreview(0);
        const auto alphaAt = [&](int x) {
            return form.PreviewWindow->Image().pixelColor(x, 0).alpha();
        };
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QCOMPARE(alphaAt(3), 255);
        form.SpinBox1->setValue(10);
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QCOMPARE(alphaAt(3), 0);
        QCOMPARE(alphaAt(4), 255);
        QVERIFY(form.PreviewWindow->Summary->text().contains(QStringLiteral("半透明 0.0%")));
        form.CheckBox7->setChecked(true);
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QVERIFY(alphaAt(4) > 0 && alphaAt(4) < 255);
        QVERIFY(form.PreviewWindow->Summary->text().contains(QStringLiteral("半透明 1.0%")));
    }

    void EnterOnALineOpensThePreview()
    {
        TTempDir dir;
        TForm1 form;
        form.ListBox1->addItem(QString::fromStdString(Framed(dir, "e.bmp")));
        form.show();
        form.ListBox1->setFocus();
        form.ListBox1->setCurrentRow(0);
        QTest::keyClick(form.ListBox1, Qt::Key_Return);
        QVERIFY(form.PreviewWindow != nullptr && form.PreviewWindow->isVisible());
        QVERIFY(WaitForPreview(form.PreviewWindow));
    }

    void ShowsThePixelsOfTheWrittenFile()
    {
        TCodecRegistration codecs;
        TTempDir dir;
        TForm1 form;
        const std::string source = Framed(dir, "b.bmp");
        form.ListBox1->addItem(QString::fromStdString(source));
        form.show();
        form.CheckBox1->setChecked(true);
        form.RadioButton1->setChecked(true);
        form.CheckBox2->setChecked(true);
        form.ScrollBar1->setValue(70);
        form.OpenPreview(0);
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QSignalSpy finished(&form, &TForm1::RunFinished);
        form.Button1->click();
        QVERIFY(finished.wait(10000));
        const std::vector<uint8_t> written = ReadFileBytes(dir.Path("b.png"));
        QVERIFY(form.PreviewWindow->Result()->Png == written);
        // Qt's own PNG reader agrees with the pixels on display.
        const QImage file = QImage(QString::fromStdString(dir.Path("b.png")))
                                .convertToFormat(QImage::Format_RGBA8888);
        QCOMPARE(file, form.PreviewWindow->Image());
        QVERIFY(form.PreviewWindow->Summary->text().startsWith(QStringLiteral("12×8")));
    }

    void FailureShowsItsMessageInTheWindow()
    {
        TCodecRegistration codecs;
        TTempDir dir;
        TForm1 form;
        form.ListBox1->addItem(QString::fromStdString(dir.Path("gone.bmp")));
        form.show();
        form.OpenPreview(0);
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QVERIFY(form.PreviewWindow->Image().isNull());
        QCOMPARE(form.PreviewWindow->Summary->text(),
                 QString::fromStdString("ファイル " + dir.Path("gone.bmp") +
                                        " は開けません\nNo such file or directory"));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void LongMessageKeepsThePreviewBesideTheWindowOnScreen()
    {
        // Run also on a 1024 x 768 screen. A file that fails with a message wider than the
        // window: the message wraps, and the preview stays on the screen, off the main window,
        // at every showing.
        TCodecRegistration codecs;
        TTempDir dir;
        TForm1 form;
        const std::string gone = dir.Path("a folder whose name goes on for quite a while/and "
                                          "another folder inside it with a long name/gone.bmp");
        form.ListBox1->addItem(QString::fromStdString(gone));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (int showing = 0; showing < 2; ++showing) {
            form.OpenPreview(0);
            QVERIFY(WaitForPreview(form.PreviewWindow));
            TPreviewWindow* preview = form.PreviewWindow;
            QVERIFY(preview->Summary->text().endsWith(
                QStringLiteral("gone.bmp は開けません\nNo such file or directory")));
            const QRect area = AvailableArea(preview);
            const QRect frame = preview->frameGeometry();
            QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                          .arg(frame.x())
                                                          .arg(frame.y())
                                                          .arg(frame.width())
                                                          .arg(frame.height())));
            QVERIFY(!frame.intersects(form.frameGeometry()));
            QVERIFY(preview->width() <= 480);
            QVERIFY(preview->Summary->height() > 2 * preview->Summary->fontMetrics().height() - 2);
            preview->close();
        }
    }

    void RapidChangesEndWithTheNewestOptions()
    {
        TCodecRegistration codecs;
        TTempDir dir;
        TForm1 form;
        form.ListBox1->addItem(QString::fromStdString(Framed(dir, "c.bmp")));
        form.show();
        form.OpenPreview(0);
        form.CheckBox2->setChecked(true);
        for (int i = 0; i <= 100; ++i) {
            form.ScrollBar1->setValue(i);
        }
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QCOMPARE(form.PreviewWindow->Image().pixelColor(5, 4).alpha(), 255);
        form.ScrollBar1->setValue(0);
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QCOMPARE(form.PreviewWindow->Image().pixelColor(5, 4).alpha(), 0);
        // Selecting another line previews it.
        form.ListBox1->addItem(QString::fromStdString(dir.Path("none.bmp")));
        form.ListBox1->setCurrentRow(1);
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QVERIFY(form.PreviewWindow->Image().isNull());
    }

    void NeverShowsAnotherFilesPicture()
    {
        TCodecRegistration codecs;
        TTempDir dir;
        TForm1 form;
        TGate gate;
        const QString a = QString::fromStdString(Framed(dir, "写真a.bmp"));
        const QString b = QString::fromStdString(Framed(dir, "写真b.bmp"));
        form.ListBox1->addItems({a, b, a});
        form.show();
        form.OpenPreview(0);
        TPreviewWindow* preview = form.PreviewWindow;
        QVERIFY(WaitForPreview(preview));
        QCOMPARE(preview->windowTitle(), QStringLiteral("写真a.bmp - 変換結果のプレビュー"));
        QVERIFY(AvailableArea(preview).contains(preview->frameGeometry()));

        preview->SetRenderer(gate.Renderer());
        const auto showsOnly = [preview](const QString& message) {
            return preview->Image().isNull() && preview->Result() == nullptr &&
                   preview->Message() == message &&
                   preview->windowTitle() == QStringLiteral("変換結果のプレビュー");
        };
        // Another line while the render runs: no picture until its own result is in.
        form.ListBox1->setCurrentRow(1);
        QTest::qWait(20);
        QVERIFY(showsOnly(QStringLiteral("描画中…")));
        gate.Open();
        QVERIFY(WaitForPreview(preview));
        QCOMPARE(preview->windowTitle(), QStringLiteral("写真b.bmp - 変換結果のプレビュー"));
        // An option change on the same file keeps its picture until the new one is in.
        form.CheckBox2->setChecked(true);
        QVERIFY(!preview->Image().isNull() && preview->IsRendering());

        // Removing the shown line, while its render runs: nothing is shown, also after it
        // ends and after later option changes.
        form.ListBox1->clearSelection();
        form.ListBox1->item(1)->setSelected(true);
        ClickInModalOnce(QStringLiteral("はい(&Y)"));
        form.N1->trigger();
        QCOMPARE(form.ListBox1->count(), 2);
        QVERIFY(showsOnly(QStringLiteral("(なし)")));
        gate.Open(10);
        QVERIFY(WaitUntilIdle(preview));
        form.ScrollBar1->setValue(30);
        QVERIFY(WaitUntilIdle(preview));
        QVERIFY(showsOnly(QStringLiteral("(なし)")));

        // Choosing a line shows it again; emptying the list shows nothing.
        form.ListBox1->setCurrentRow(0);
        QVERIFY(WaitForPreview(preview));
        QCOMPARE(preview->windowTitle(), QStringLiteral("写真a.bmp - 変換結果のプレビュー"));
        ClickInModalOnce(QStringLiteral("はい(&Y)"));
        form.N3->trigger();
        QVERIFY(showsOnly(QStringLiteral("(なし)")));
        form.CheckBox2->setChecked(false);
        QVERIFY(WaitUntilIdle(preview));
        QVERIFY(showsOnly(QStringLiteral("(なし)")));
    }

    void EscapeClosesAndReopeningStartsAfresh()
    {
        TCodecRegistration codecs;
        TTempDir dir;
        TForm1 form;
        TGate gate;
        form.ListBox1->addItem(QString::fromStdString(Framed(dir, "a.bmp")));
        form.ListBox1->addItem(QString::fromStdString(Framed(dir, "b.bmp")));
        form.show();
        form.OpenPreview(0);
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QTest::keyClick(form.PreviewWindow, Qt::Key_Escape);
        QVERIFY(!form.PreviewWindow->isVisible());
        form.PreviewWindow->SetRenderer(gate.Renderer());
        // Reopened on the same file, with other options: the old picture is not shown either.
        form.CheckBox2->setChecked(true);
        form.ScrollBar1->setValue(0);
        form.OpenPreview(0);
        QTest::qWait(20);
        QVERIFY(form.PreviewWindow->Image().isNull());
        QCOMPARE(form.PreviewWindow->Message(), QStringLiteral("描画中…"));
        gate.Open();
        QVERIFY(WaitForPreview(form.PreviewWindow));
        QCOMPARE(form.PreviewWindow->Image().pixelColor(5, 4).alpha(), 0);
    }

    void ZoomSwitchesBetweenFitAndActualSize()
    {
        TPreviewWindow window(nullptr);
        QVERIFY(!window.IsActualSize());
        window.ZoomButton->click();
        QVERIFY(window.IsActualSize());
        QCOMPARE(window.ZoomButton->text(), QStringLiteral("全体表示"));
        window.ZoomButton->click();
        QVERIFY(!window.IsActualSize());
    }

    void Screenshot()
    {
        const QByteArray target = qgetenv("KAPTO_SCREENSHOT_PREVIEW");
        if (target.isEmpty()) {
            QSKIP("KAPTO_SCREENSHOT_PREVIEW not set");
        }
        TCodecRegistration codecs;
        // The first PNG of KAPTO_SCREENSHOT_FOLDER (~/Pictures by default), keyed from its
        // top-left corner with the rim kept.
        const QByteArray folderName = qgetenv("KAPTO_SCREENSHOT_FOLDER");
        const QString folder = folderName.isEmpty() ? QDir::homePath() + QStringLiteral("/Pictures")
                                                    : QString::fromLocal8Bit(folderName);
        const QStringList pngs = QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files);
        QVERIFY(!pngs.isEmpty());
        TForm1 form;
        form.ListBox1->addItem(folder + QLatin1Char('/') + pngs.first());
        form.RadioButton1->setChecked(true);
        form.CheckBox1->setChecked(true);
        form.CheckBox2->setChecked(true);
        form.ScrollBar1->setValue(80);
        form.CheckBox6->setChecked(true);
        form.OpenPreview(0);
        QVERIFY(WaitForPreview(form.PreviewWindow));
        form.PreviewWindow->resize(420, 380);
        QTest::qWait(50);
        QVERIFY(form.PreviewWindow->grab().save(QString::fromLocal8Bit(target)));
    }

    void KeyToleranceBeforeAfter()
    {
        // Writes the README's picture of exact keying against a 10 % tolerance with the soft
        // edge, on a JPEG of the library's encoder (quality 75, 4:2:0), when asked to.
        const QByteArray target = qgetenv("KAPTO_SCREENSHOT_KEY_TOLERANCE");
        if (target.isEmpty()) {
            QSKIP("KAPTO_SCREENSHOT_KEY_TOLERANCE not set");
        }
        TTempDir dir;
        constexpr int kWidth = 160;
        constexpr int kHeight = 96;
        const auto color = [](double x, double y) -> QColor {
            if (std::hypot(x - 48, y - 48) < 30) {
                return QColor(220, 30, 30);
            }
            if (std::abs(x - 118) < 26 && std::abs(y - 48) < 30 &&
                std::abs(x - 118) + std::abs(y - 48) > 14) {
                return QColor(30, 60, 200);
            }
            return QColor(255, 255, 255);
        };
        QImage scene(kWidth, kHeight, QImage::Format_RGB888);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                int sum[3] = {0, 0, 0};
                for (int s = 0; s < 16; ++s) {
                    const QColor c = color(x + (s % 4 + 0.5) / 4, y + (s / 4 + 0.5) / 4);
                    sum[0] += c.red();
                    sum[1] += c.green();
                    sum[2] += c.blue();
                }
                scene.setPixelColor(x, y, QColor(sum[0] / 16, sum[1] / 16, sum[2] / 16));
            }
        }
        const std::string source = dir.Path("logo.jpg");
        WriteFileBytes(source, EncodeJpeg({kWidth, kHeight, 3, 75, 2, 2}, [&](int x, int y, int c) {
                           const QColor p = scene.pixelColor(x, y);
                           return uint8_t(c == 0 ? p.red() : c == 1 ? p.green() : p.blue());
                       }));
        TConversionOptions exact;
        exact.KeyTransparent = true;
        exact.KeySource = TKeySource::TopLeft;
        TConversionOptions soft = exact;
        soft.KeyTolerance = 10;
        soft.KeySoftEdge = true;

        constexpr int kScale = 3;
        constexpr int kCaption = 22;
        const QString captions[] = {QStringLiteral("--key top-left"),
                                    QStringLiteral("--key-tolerance 10 --key-soft")};
        QImage picture(2 * kWidth * kScale + 8, kHeight * kScale + kCaption, QImage::Format_RGB888);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        for (int i = 0; i < 2; ++i) {
            const TPreviewResult result = RenderPreview(source, i == 0 ? exact : soft);
            QVERIFY(result.Error.empty());
            const QImage keyed(result.Rgba.data(), result.Width, result.Height,
                               QImage::Format_RGBA8888);
            const QRect area(i * (kWidth * kScale + 8), kCaption, kWidth * kScale,
                             kHeight * kScale);
            for (int y = 0; y < area.height(); y += 12) {
                for (int x = 0; x < area.width(); x += 12) {
                    painter.fillRect(QRect(area.left() + x, area.top() + y, 12, 12),
                                     (x / 12 + y / 12) % 2 != 0 ? QColor(90, 90, 90)
                                                                : QColor(150, 150, 150));
                }
            }
            painter.drawImage(area, keyed);
            painter.setPen(Qt::black);
            painter.drawText(QRect(area.left(), 0, area.width(), kCaption), Qt::AlignCenter,
                             captions[i]);
        }
        painter.end();
        QVERIFY(picture.save(QString::fromLocal8Bit(target)));
    }
};

QTEST_MAIN(PreviewWindowTest)
#include "PreviewWindowTest.moc"
