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

// A wildcard pattern that matches whatever the letter case, for dialogs that match letter for
// letter: "*.mp3" -> "*.[mM][pP]3".
QString anyCasePattern(const QString &pattern);

enum class PatternCase { AsGiven, AnyCase };

// The filter string as QFileDialog name filters, "description (pattern pattern)"; the dialog
// shows only the description. AnyCase writes each pattern through anyCasePattern.
QStringList qtNameFilters(const QString &filter, PatternCase patternCase = PatternCase::AsGiven);

// The file dialog over QFileDialog: the desktop's own where the platform has one, else Qt's.
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
