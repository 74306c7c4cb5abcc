// The windows in English: no visible caption keeps a Japanese character, and every caption
// fits its control as the Japanese ones do.

#include "app/Preview.h"
#include "support/Images.h"
#include "support/TempDir.h"
#include "ui/CaptionChecks.h"
#include "ui/Form1.h"
#include "ui/OWDialog.h"
#include "ui/PreviewWindow.h"
#include "ui/UiFont.h"
#include "ui/UiTexts.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

using namespace kapto;

namespace {

bool HasJapanese(const QString& text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) ||
            (u >= 0xFF00 && u <= 0xFFEF)) {
            return true;
        }
    }
    return false;
}

// Every text a person can read in the window: its title, captions, tooltips, menus.
QStringList VisibleTexts(QWidget& window)
{
    QStringList texts = {window.windowTitle()};
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        texts << widget->toolTip();
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            texts << button->text();
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            texts << label->text();
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            texts << group->title();
        } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
            texts << spin->suffix();
        } else if (auto* menu = qobject_cast<QMenu*>(widget)) {
            for (QAction* action : menu->actions()) {
                texts << action->text();
            }
        } else if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            texts << box->text() << box->informativeText();
        }
    }
    return texts;
}

QStringList Japanese(QWidget& window)
{
    QStringList found;
    for (const QString& text : VisibleTexts(window)) {
        if (HasJapanese(text)) {
            found << text;
        }
    }
    return found;
}

} // namespace

class EnglishTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UseLanguage(TLanguage::English); }

    void WindowsSpeakEnglishAndFit()
    {
        TForm1 form;
        form.CheckBox6->show();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY2(Japanese(form).isEmpty(), qPrintable(Japanese(form).join(" | ")));
        int measured = 0;
        const QStringList problems = CaptionsThatDoNotFit(form, measured);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
        QVERIFY(measured >= 19);
        // Every control the keyboard reaches has a name for screen readers.
        for (QWidget* widget : form.findChildren<QWidget*>()) {
            if (widget->focusPolicy() != Qt::NoFocus && widget->isVisibleTo(&form) &&
                qobject_cast<QAbstractButton*>(widget) == nullptr) {
                QVERIFY2(!widget->accessibleName().isEmpty() ||
                             !widget->parentWidget()->accessibleName().isEmpty(),
                         qPrintable(widget->objectName()));
                QVERIFY(!HasJapanese(widget->accessibleName()));
            }
        }

        TOWDialog dialog(&form);
        QVERIFY2(Japanese(dialog).isEmpty(), qPrintable(Japanese(dialog).join(" | ")));
        QVERIFY2(CaptionsThatDoNotFit(dialog, measured).isEmpty(),
                 qPrintable(CaptionsThatDoNotFit(dialog, measured).join("; ")));
    }

    void BoxesSpeakEnglish()
    {
        QStringList seen;
        const auto answer = [&seen](QWidget* modal) {
            seen << Japanese(*modal);
            static_cast<QDialog*>(modal)->reject();
        };
        for (int box = 0; box < 3; ++box) {
            auto* timer = new QTimer(qApp);
            timer->setSingleShot(true);
            connect(timer, &QTimer::timeout, [timer, answer] {
                if (QWidget* modal = QApplication::activeModalWidget()) {
                    answer(modal);
                }
                timer->deleteLater();
            });
            timer->start(50);
            if (box == 0) {
                ConfirmBox(nullptr, Tr("リストを空にしてもいいですか？"));
            } else if (box == 1) {
                FileErrorBox(nullptr, QStringLiteral("/tmp/a.bmp"),
                             QStringLiteral("Stream read error"));
            } else {
                RunEndBox(nullptr, {QStringLiteral("/tmp/a.bmp")}, {QStringLiteral("/tmp/b.bmp")});
            }
        }
        QVERIFY2(seen.isEmpty(), qPrintable(seen.join(" | ")));
    }

    void LivePreviewSpeaksEnglish()
    {
        TTempDir dir;
        const std::string source = WriteTestBmp(dir.Path("a.bmp"), 8, 8, 0x00FF00);
        TConversionOptions options;
        options.KeyTransparent = true;
        options.KeySource = TKeySource::TopLeft;
        TPreviewWindow preview(nullptr);
        preview.show();
        preview.Request(QString::fromStdString(source), options);
        QTRY_VERIFY(preview.Result() != nullptr);
        QVERIFY2(Japanese(preview).isEmpty(), qPrintable(Japanese(preview).join(" | ")));
        QVERIFY(preview.Summary->text().contains(QStringLiteral("transparent")));
        preview.ShowNothing();
        QVERIFY2(Japanese(preview).isEmpty(), qPrintable(Japanese(preview).join(" | ")));
    }
};

QTEST_MAIN(EnglishTest)
#include "EnglishTest.moc"
