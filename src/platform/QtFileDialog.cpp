#include "platform/QtFileDialog.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

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

QStringList qtNameFilters(const QString &filter)
{
    QStringList nameFilters;
    for (const FileFilterEntry &entry : parseFileFilter(filter)) {
        // QFileDialog takes the patterns from the last parentheses, so a description that has
        // its own "(*.mp3)" is kept whole and shown as it is.
        nameFilters.append(entry.description + QStringLiteral(" (") + entry.patterns.join(u' ') +
                           u')');
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
    // Names match their patterns whatever the letter case ("SONG.MP3" is an mp3 file). The
    // patterns stay as given: QFileDialog writes the first pattern's suffix into a typed name
    // when the file type is chosen again, so a rewritten pattern would end up in the name.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
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
