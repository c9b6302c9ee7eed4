#pragma once

#include "platform/FileDialog.h"

#include <QList>
#include <QString>
#include <QStringList>

// One entry of a "description|pattern;pattern|…" filter string.
struct FileFilterEntry
{
    QString description;
    QStringList patterns;

    bool operator==(const FileFilterEntry &other) const
    {
        return description == other.description && patterns == other.patterns;
    }
};

// Splits a filter string into its entries. A trailing description without a pattern and entries
// without any pattern are dropped; blanks around patterns are ignored.
QList<FileFilterEntry> parseFileFilter(const QString &filter);

// The filter string as QFileDialog name filters, "description (pattern pattern)"; the dialog
// shows only the description.
QStringList qtNameFilters(const QString &filter);

// The file dialog over QFileDialog, the same on every desktop (Qt's own, not the native one).
class QtFileDialog : public FileDialog
{
public:
    void ShowOpen(QWidget *parent) override;
    void ShowSave(QWidget *parent) override;

private:
    enum class Mode { Open, Save };
    void show(QWidget *parent, Mode mode);

    // The name chosen last in this dialog; it is proposed again even after a cancel.
    QString m_lastChosen;
};
