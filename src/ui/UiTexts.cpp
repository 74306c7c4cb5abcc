#include "ui/UiTexts.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace kapto {

void UseLanguage(TLanguage language)
{
    SetLanguage(language);
    static QTranslator windows;
    static QTranslator qtDialogs;
    QCoreApplication::removeTranslator(&windows);
    QCoreApplication::removeTranslator(&qtDialogs);
    if (language == TLanguage::English) {
        if (windows.load(QStringLiteral(":/i18n/kapto_en.qm"))) {
            QCoreApplication::installTranslator(&windows);
        }
        return;
    }
    // Qt's own dialogs (file and colour) speak Japanese like the rest of the window.
    if (qtDialogs.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qtDialogs);
    }
}

} // namespace kapto
