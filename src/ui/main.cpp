// Kapto's main window program.

#include "ui/Form1.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kapto"));
    QApplication::setDesktopFileName(QStringLiteral("kapto"));

    // Qt's own dialogs (file and colour) speak Japanese like the rest of the window.
    QTranslator translator;
    if (translator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&translator);
    }

    kapto::TForm1 form;
    form.show();
    return QApplication::exec();
}
