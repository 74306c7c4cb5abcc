// The open dialog with preview: its filter, the paint geometry, the refresh for pictures and
// for what is not one, and the preview window.

#include "ui/OpenPictureDialog.h"
#include "app/Codecs.h"
#include "support/Images.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

using namespace kapto;

class OpenPictureDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void FilterListsTheRegisteredTypes()
    {
        TCodecRegistration codecs;
        TOpenPictureDialog dialog(nullptr);
        QCOMPARE(
            dialog.nameFilters(),
            (QStringList{"すべてのファイル (*.gif *.png *.jpg *.jpeg *.bmp)", "GIF Image (*.gif)",
                         "Portable Network Graphics (*.png)", "JPEG イメージファイル (*.jpg)",
                         "JPEG イメージファイル (*.jpeg)", "ビットマップ (*.bmp)"}));
        QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(dialog.PreviewButton->toolTip(), QStringLiteral("プレビュー"));
        QVERIFY(!dialog.PreviewButton->isEnabled());
        QCOMPARE(dialog.PaintPanel->geometry(), QRect(6, 29, 157, 145));
    }

    void PaintGeometry_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("expected");
        // The paint box is 153 x 141.
        QTest::newRow("fits, centred") << QSize(100, 50) << QRect(26, 45, 100, 50);
        QTest::newRow("twice as wide") << QSize(400, 200) << QRect(0, 0, 153, 77);
        QTest::newRow("twice as high") << QSize(200, 400) << QRect(0, 0, 71, 141);
        QTest::newRow("exactly the box") << QSize(153, 141) << QRect(0, 0, 153, 141);
        QTest::newRow("square, too large") << QSize(300, 300) << QRect(0, 0, 141, 141);
    }

    void PaintGeometry()
    {
        QFETCH(QSize, picture);
        QFETCH(QRect, expected);
        QCOMPARE(TOpenPictureDialog::PictureRect(QSize(153, 141), picture), expected);
    }

    void RefreshShowsPicturesAndNothingElse()
    {
        TCodecRegistration codecs;
        TTempDir dir;
        TOpenPictureDialog dialog(nullptr);
        const QString bmp =
            QString::fromStdString(WriteTestBmp(dir.Path("a.bmp"), 100, 50, 0x336699));
        dialog.RefreshPreview(bmp);
        QCOMPARE(dialog.PictureLabel->text(), QStringLiteral(" (100x50)"));
        QVERIFY(dialog.PreviewButton->isEnabled());
        QCOMPARE(dialog.Picture().Width(), 100);

        WriteFileBytes(dir.Path("notes.txt"), {'h', 'i'});
        WriteFileBytes(dir.Path("broken.bmp"), {'B', 'M'});
        for (const std::string& name :
             {dir.Path("notes.txt"), dir.Path("broken.bmp"), dir.Root(), dir.Path("missing.bmp")}) {
            dialog.RefreshPreview(bmp);
            dialog.RefreshPreview(QString::fromStdString(name));
            QCOMPARE(dialog.PictureLabel->text(), QStringLiteral("画像:"));
            QVERIFY(!dialog.PreviewButton->isEnabled());
            QCOMPARE(dialog.Picture().Width(), 0);
        }
        // Every registered type previews through its own class.
        for (const char* sample :
             {"jpeg/wuffs/mona-lisa.21x32.q90.jpeg", "gif/image-gif/sample_1.gif"}) {
            dialog.RefreshPreview(QString::fromStdString(TestDataPath(sample)));
            QVERIFY2(dialog.PreviewButton->isEnabled(), sample);
        }
    }

    void RenderDrawsThePicture()
    {
        TTempDir dir;
        TPicture picture;
        picture.LoadFile(WriteTestBmp(dir.Path("a.bmp"), 4, 2, 0x0000FF));
        const QImage image = TOpenPictureDialog::Render(*picture.Graphic(), QSize(8, 4), Qt::white);
        QCOMPARE(image.size(), QSize(8, 4));
        QCOMPARE(image.pixelColor(7, 3), QColor(255, 0, 0));
    }

    void PreviewWindowOpensAndEscapeClosesIt()
    {
        TCodecRegistration codecs;
        TTempDir dir;
        TOpenPictureDialog dialog(nullptr);
        dialog.RefreshPreview(
            QString::fromStdString(WriteTestBmp(dir.Path("a.bmp"), 120, 80, 0x336699)));
        QString title;
        QSize imageSize;
        QTimer::singleShot(50, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal != nullptr);
            title = modal->windowTitle();
            if (auto* image = modal->findChild<QLabel*>(QStringLiteral("Image"))) {
                imageSize = image->size();
            }
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        QTimer::singleShot(5000, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
        });
        dialog.PreviewClick();
        QCOMPARE(title, QStringLiteral("プレビュー"));
        QCOMPARE(imageSize, QSize(120, 80));
    }

    void PreviewFitsTheScreen_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<QRect>("expected");
        const QRect screen(0, 0, 1280, 1024);
        const QMargins frame(4, 24, 4, 4);
        // The picture gets 12 pixels around it: the panel's line and its border width.
        QTest::newRow("4000 x 3000 on 1280 x 1024")
            << QSize(4000, 3000) << screen << frame << QRect(4, 43, 1260 + 12, 945 + 12);
        QTest::newRow("3000 x 4000 on 1280 x 1024")
            << QSize(3000, 4000) << screen << frame << QRect(265, 24, 738 + 12, 984 + 12);
        QTest::newRow("a small picture at its own size")
            << QSize(120, 80) << screen << frame << QRect(574, 476, 120 + 12, 80 + 12);
        QTest::newRow("exactly the room")
            << QSize(1260, 984) << screen << frame << QRect(4, 24, 1260 + 12, 984 + 12);
        QTest::newRow("on a second screen to the right")
            << QSize(4000, 3000) << QRect(1280, 0, 1024, 768) << QMargins()
            << QRect(1282, 0, 1008 + 12, 756 + 12);
    }

    void PreviewFitsTheScreen()
    {
        QFETCH(QSize, picture);
        QFETCH(QRect, area);
        QFETCH(QMargins, frame);
        QFETCH(QRect, expected);
        QCOMPARE(TOpenPictureDialog::PreviewGeometry(picture, area, frame), expected);
    }

    void LargePicturePreviewStaysOnTheScreen()
    {
        TCodecRegistration codecs;
        TTempDir dir;
        TOpenPictureDialog dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QSize picture = area.size() * 3 / 2;
        dialog.RefreshPreview(QString::fromStdString(
            WriteTestBmp(dir.Path("大きい.bmp"), picture.width(), picture.height(), 0x336699)));
        QRect frame;
        QSize imageSize;
        QTimer::singleShot(50, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal != nullptr);
            frame = modal->frameGeometry();
            if (auto* image = modal->findChild<QLabel*>(QStringLiteral("Image"))) {
                imageSize = image->size();
            }
            modal->close();
        });
        dialog.PreviewClick();
        QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                      .arg(frame.x())
                                                      .arg(frame.y())
                                                      .arg(frame.width())
                                                      .arg(frame.height())));
        // Scaled down whole, keeping the picture's proportions (to the rounding of one pixel).
        QVERIFY(imageSize.width() < picture.width());
        QVERIFY(qAbs(imageSize.width() * picture.height() - imageSize.height() * picture.width()) <=
                picture.width());
    }

    void Screenshot()
    {
        const QByteArray target = qgetenv("KAPTO_SCREENSHOT_DIALOG");
        if (target.isEmpty()) {
            QSKIP("KAPTO_SCREENSHOT_DIALOG not set");
        }
        TCodecRegistration codecs;
        QTranslator translator;
        if (translator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"),
                            QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QApplication::installTranslator(&translator);
        }
        // The dialog at the size it opens with, in KAPTO_SCREENSHOT_FOLDER (~/Pictures by
        // default), its first JPEG selected.
        const QByteArray folderName = qgetenv("KAPTO_SCREENSHOT_FOLDER");
        const QString folder = folderName.isEmpty() ? QDir::homePath() + QStringLiteral("/Pictures")
                                                    : QString::fromLocal8Bit(folderName);
        const QStringList jpegs = QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files);
        QVERIFY(!jpegs.isEmpty());
        const QString sample = folder + QLatin1Char('/') + jpegs.first();
        TOpenPictureDialog dialog(nullptr);
        dialog.setDirectory(folder);
        dialog.show();
        dialog.selectFile(sample);
        QTest::qWait(500);
        dialog.RefreshPreview(sample);
        QTest::qWait(100);
        QVERIFY(dialog.grab().save(QString::fromLocal8Bit(target)));
    }
};

QTEST_MAIN(OpenPictureDialogTest)
#include "OpenPictureDialogTest.moc"
