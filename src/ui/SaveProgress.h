#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QString>
#include <QTimer>

// The window of a long save: where it writes, how far it has got, how long it has left, and a
// cancel ("取消", Esc, or closing the window). It shows itself only once the save has run for
// half a second, so a short save shows nothing.
class SaveProgress
{
public:
    // objectName of the window, so that tests and benchmarks can find it.
    static constexpr const char *ObjectName = "velquistSaveProgress";

    SaveProgress(QWidget *parent, const QString &title, const QString &target, qint64 total);

    // Bytes of the total written so far.
    void update(qint64 written);
    bool cancelled() const { return m_dialog.wasCanceled(); }
    QWidget *window() { return &m_dialog; }

private:
    QString details(qint64 written) const;

    QProgressDialog m_dialog;
    QString m_heading;
    qint64 m_total;
    QElapsedTimer m_clock;
    QTimer m_showTimer;
    qint64 m_textShownAt = -1;
};
