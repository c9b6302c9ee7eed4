#include "platform/QtFileDialog.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QStyleOptionViewItem>
#include <QTreeView>

QList<FileFilterEntry> parseFileFilter(const QString &filter)
{
    QList<FileFilterEntry> entries;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        FileFilterEntry entry;
        entry.description = parts.at(i);
        for (const QString &pattern : parts.at(i + 1).split(u';')) {
            const QString trimmed = pattern.trimmed();
            if (!trimmed.isEmpty())
                entry.patterns.append(trimmed);
        }
        if (!entry.patterns.isEmpty())
            entries.append(entry);
    }
    return entries;
}

QString anyCasePattern(const QString &pattern)
{
    QString result;
    bool inBracket = false;
    for (const QChar c : pattern) {
        const QChar lower = c.toLower();
        const QChar upper = c.toUpper();
        if (c == u'[' && !inBracket)
            inBracket = true;
        else if (c == u']' && inBracket)
            inBracket = false;
        if (lower == upper)
            result += c;
        else if (inBracket)
            result += QString(lower) + upper;
        else
            result += u'[' + QString(lower) + upper + u']';
    }
    return result;
}

QStringList qtNameFilters(const QString &filter, PatternCase patternCase)
{
    QStringList nameFilters;
    for (FileFilterEntry entry : parseFileFilter(filter)) {
        if (patternCase == PatternCase::AnyCase) {
            for (QString &pattern : entry.patterns)
                pattern = anyCasePattern(pattern);
        }
        // QFileDialog takes the patterns from the last parentheses, so a description that has
        // its own "(*.mp3)" is kept whole and shown as it is.
        nameFilters.append(entry.description + QStringLiteral(" (") + entry.patterns.join(u' ') +
                           u')');
    }
    return nameFilters;
}

namespace {

// The file dialogs of GTK, of the desktop portal and of KDE match patterns letter for letter;
// those of Windows and macOS ignore the case and know no bracket expressions.
constexpr bool desktopDialogMatchesCase()
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return false;
#else
    return true;
#endif
}

// The detail view's columns: name, size, type, date modified.
constexpr int SizeColumn = 1;
constexpr int DateColumn = 3;

// Qt's file model writes sizes and dates in the system's language, English under a plain C
// locale, while the dialog's other words follow the program's; this writes them in the program's.
class ProgramLocaleSizesAndDates : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        if (index.column() == DateColumn)
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        // Folders have no size shown.
        if (index.column() == SizeColumn && !files->isDir(source))
            return QLocale().formattedDataSize(files->size(source));
        return QIdentityProxyModel::data(index, role);
    }
};

// The widest short date the program's locale can write: two digits in every field, each digit the
// font's widest.
QString widestShortDate(const QFontMetrics &metrics)
{
    QChar widestDigit = u'0';
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widestDigit))
            widestDigit = QChar(digit);
    }
    QString text =
        QLocale().toString(QDateTime(QDate(2026, 12, 28), QTime(23, 59, 59)), QLocale::ShortFormat);
    for (QChar &c : text) {
        if (c.isDigit())
            c = widestDigit;
    }
    return text;
}

// Qt sizes the date column for an American two-digit-year date in a typical font; the program's
// dates are longer, and how much depends on the fonts installed. The column gets the width the
// view's own delegate asks for the widest date, in the view's font.
void fitDateColumn(QFileDialog &dialog)
{
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view)
        return;
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = widestShortDate(option.fontMetrics);
    const int width =
        view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view).width();
    QHeaderView *header = view->header();
    if (header->sectionSize(DateColumn) < width)
        header->resizeSection(DateColumn, width);
}

} // namespace

void QtFileDialog::ShowOpen(QWidget *parent)
{
    show(parent, Mode::Open);
}

void QtFileDialog::ShowSave(QWidget *parent)
{
    show(parent, Mode::Save);
}

void QtFileDialog::show(QWidget *parent, Mode mode)
{
    // The desktop's own dialog where the platform offers one, Qt's own where it does not (the
    // offscreen platform, a bare X server). Qt builds its dialog's widgets only for its own.
    QFileDialog dialog(parent);
    const bool desktopDialog = dialog.layout() == nullptr;
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // Names match their patterns whatever the letter case ("SONG.MP3" is an mp3 file). For Qt's
    // own dialog the patterns stay as given: it writes the first pattern's suffix into a typed
    // name when the file type is chosen again, so a rewritten pattern would end up in the name.
    // A desktop dialog that matches case by case gets patterns that spell out both cases.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    const QStringList nameFilters =
        qtNameFilters(m_filter, desktopDialog && desktopDialogMatchesCase() ? PatternCase::AnyCase
                                                                            : PatternCase::AsGiven);
    if (!nameFilters.isEmpty())
        dialog.setNameFilters(nameFilters);
    if (!desktopDialog) {
        dialog.setProxyModel(new ProgramLocaleSizesAndDates(&dialog));
        fitDateColumn(dialog);
    }

    if (mode == Mode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode((m_flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile
                                                         : QFileDialog::AnyFile);
    } else {
        // A save names a new file more often than not, whatever the flags say.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !(m_flags & OFN_OVERWRITEPROMPT));
    }

    const QString proposed = m_fileName.isEmpty() ? m_lastChosen : m_fileName;
    if (!proposed.isEmpty()) {
        const QFileInfo info(proposed);
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.absoluteFilePath());
    }

    // A cancel must read as no choice, also when an earlier use left a name behind.
    m_fileName.clear();
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return;
    m_fileName = QFileInfo(chosen.first()).absoluteFilePath();
    m_lastChosen = m_fileName;
}
