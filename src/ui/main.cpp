// Kapto's main window program.

#include "app/Codecs.h"
#include "runtime/Interrupt.h"
#include "ui/Form1.h"
#include "ui/UiTexts.h"
#include "ui/Widgets.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // Before Qt starts its threads. SIGINT, SIGTERM and SIGHUP end the program without
    // leaving the temporary file of a save behind.
    kapto::EndCleanlyOnSignals(nullptr);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kapto"));
    QApplication::setDesktopFileName(QStringLiteral("kapto"));
    QApplication::setWindowIcon(kapto::KaptoIcon());
    kapto::UseLanguage(kapto::LanguageFromEnvironment());

    // The picture types are known before the window (and its open dialog) exists.
    kapto::TCodecRegistration codecs;
    kapto::TForm1 form;
    form.show();
    return QApplication::exec();
}
