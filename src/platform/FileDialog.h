#pragma once

#include <QString>
#include <QtGlobal>

class QWidget;

// A file-choosing dialog with the common dialog's properties. Cancelling is seen only as an
// empty FileName.
class FileDialog
{
public:
    static constexpr qint32 OFN_OVERWRITEPROMPT = 2;
    static constexpr qint32 OFN_FILEMUSTEXIST = 4096;

    virtual ~FileDialog() = default;

    // "description|pattern|description|pattern…", patterns separated by ';'.
    void setFilter(const QString &filter) { m_filter = filter; }
    QString Filter() const { return m_filter; }
    void setFlags(qint32 flags) { m_flags = flags; }
    qint32 Flags() const { return m_flags; }
    void setFileName(const QString &name) { m_fileName = name; }
    QString FileName() const { return m_fileName; }

    // Modal. Afterwards FileName is the chosen full path, or empty when cancelled.
    virtual void ShowOpen(QWidget *parent) = 0;
    virtual void ShowSave(QWidget *parent) = 0;

protected:
    QString m_filter;
    qint32 m_flags = 0;
    QString m_fileName;
};
