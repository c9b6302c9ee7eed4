#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace {

// Words Qt's own dialogs show that Qt's Chinese catalogue leaves in English.
class MissingWordsTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char *context, const char *sourceText, const char * /*disambiguation*/,
                      int /*n*/) const override
    {
        struct Entry
        {
            const char *context;
            const char *source;
            const char16_t *chinese;
        };
        // The type column of the file dialog's detail view.
        static constexpr Entry entries[] = {
            {"QAbstractFileIconProvider", "Folder", u"文件夹"},
            {"QAbstractFileIconProvider", "File Folder", u"文件夹"},
            {"QAbstractFileIconProvider", "Drive", u"驱动器"},
        };
        if (!context || !sourceText)
            return {};
        for (const Entry &entry : entries) {
            if (std::strcmp(context, entry.context) == 0 &&
                std::strcmp(sourceText, entry.source) == 0)
                return QString::fromUtf16(entry.chinese);
        }
        return {};
    }
};

} // namespace

void installChineseTranslations(QCoreApplication &app)
{
    // Installed first, so searched last: Qt's catalogues answer wherever they can.
    QCoreApplication::installTranslator(new MissingWordsTranslator(&app));
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
