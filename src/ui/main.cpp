// Kapto's main window program.

#include "app/Codecs.h"
#include "runtime/Interrupt.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv)
{
    // Before Qt starts its threads. SIGINT, SIGTERM and SIGHUP end the program without
    // leaving the temporary file of a save behind.
    kapto::EndCleanlyOnSignals(nullptr);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kapto"));
    QApplication::setDesktopFileName(QStringLiteral("kapto"));

    // Qt's own dialogs (file and colour) speak Japanese like the rest of the window.
    QTranslator translator;
    if (translator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&translator);
    }

    // The picture types are known before the window (and its open dialog) exists.
    kapto::TCodecRegistration codecs;
    kapto::TForm1 form;
    form.show();
    return QApplication::exec();
}
