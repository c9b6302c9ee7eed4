#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void installChineseTranslations(QCoreApplication &app)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // qt_zh_CN is the catalogue that bundles the modules on older layouts; installed first so
    // that the module catalogues, installed later and searched first, win where both answer.
    for (const char *catalogue : {"qt_zh_CN", "qtbase_zh_CN", "qtmultimedia_zh_CN"}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(QString::fromLatin1(catalogue), folder))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
    // Dates and sizes in Qt's dialogs follow the same language as their labels.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}
