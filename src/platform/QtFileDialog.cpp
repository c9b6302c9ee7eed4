#include "platform/QtFileDialog.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>

namespace {

QChar otherCase(QChar c)
{
    const QChar lower = c.toLower();
    return c == lower ? c.toUpper() : lower;
}

bool hasCase(QChar c)
{
    return c.toLower() != c.toUpper();
}

} // namespace

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

QString caseInsensitiveWildcard(const QString &pattern)
{
    QString result;
    bool inSet = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (!inSet) {
            if (c == u'[') {
                inSet = true;
                result += c;
            } else if (hasCase(c)) {
                result += u'[';
                result += c.toLower();
                result += c.toUpper();
                result += u']';
            } else {
                result += c;
            }
            continue;
        }
        if (c == u']') {
            inSet = false;
            result += c;
        } else if (i + 2 < pattern.size() && pattern.at(i + 1) == u'-' &&
                   pattern.at(i + 2) != u']') {
            // A range "a-c" gets its twin "A-C"; adding single letters would bend it into "aA-cC".
            const QChar last = pattern.at(i + 2);
            result += c;
            result += u'-';
            result += last;
            if (hasCase(c) && hasCase(last)) {
                result += otherCase(c);
                result += u'-';
                result += otherCase(last);
            }
            i += 2;
        } else {
            result += c;
            if (hasCase(c))
                result += otherCase(c);
        }
    }
    return result;
}

QStringList qtNameFilters(const QString &filter)
{
    QStringList nameFilters;
    for (const FileFilterEntry &entry : parseFileFilter(filter)) {
        QStringList patterns;
        for (const QString &pattern : entry.patterns)
            patterns.append(caseInsensitiveWildcard(pattern));
        // QFileDialog takes the patterns from the last parentheses, so a description that has
        // its own "(*.mp3)" is kept whole and shown as it is.
        nameFilters.append(entry.description + QStringLiteral(" (") + patterns.join(u' ') + u')');
    }
    return nameFilters;
}

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
    QFileDialog dialog(parent);
    // Qt's own dialog looks the same on every desktop and can be driven by tests.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList nameFilters = qtNameFilters(m_filter);
    if (!nameFilters.isEmpty())
        dialog.setNameFilters(nameFilters);

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
