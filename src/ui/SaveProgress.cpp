#include "ui/SaveProgress.h"

#include <QDir>
#include <QFontMetrics>
#include <QLabel>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Half a second: what a save takes longer than before it shows a window.
constexpr int ShowAfterMs = 500;
// The window changes at most this often: often enough to be seen moving, rarely enough for the
// time left to be read, and each change repaints it at once.
constexpr qint64 TextEveryMs = 250;
// Paths longer than this are shortened in the middle, so the window fits the screen.
constexpr int LongestPathPixels = 480;

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024 * 1024), 'f', 1) + QStringLiteral(" MB");
}

QString timeLeft(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("剩余约 %1 秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("剩余约 %1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("剩余约 %1 小时 %2 分").arg(seconds / 3600).arg(seconds / 60 % 60);
}

} // namespace

SaveProgress::SaveProgress(QWidget *parent, const QString &title, const QString &target,
                           qint64 total)
    : m_dialog(parent), m_total(std::max<qint64>(total, 1))
{
    m_dialog.setObjectName(QString::fromLatin1(ObjectName));
    m_dialog.setWindowTitle(title);
    // Not modal to Qt: the save's input hold keeps the main window's input from it instead, so
    // that a close of the main window still arrives and can be asked about.
    m_dialog.setWindowModality(Qt::NonModal);
    // A path may hold '<' or '&': shown as it is.
    auto *label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    m_dialog.setLabel(label);
    m_dialog.setCancelButtonText(QStringLiteral("取消"));
    // Esc reaches QDialog's reject() where the dialog's own shortcut does not catch it first.
    QObject::connect(&m_dialog, &QDialog::rejected, &m_dialog, &QProgressDialog::cancel);
    // It stays up, at 100 %, while the new file is synced to the disk.
    m_dialog.setAutoClose(false);
    m_dialog.setAutoReset(false);
    const QString path = QDir::toNativeSeparators(target);
    m_heading =
        QStringLiteral("正在保存到“%1”")
            .arg(
                QFontMetrics(m_dialog.font()).elidedText(path, Qt::ElideMiddle, LongestPathPixels));
    m_dialog.setLabelText(m_heading + QLatin1Char('\n') + details(0));
    // The counts fit: a range is at most 2 GB.
    m_dialog.setRange(0, static_cast<int>(std::min<qint64>(m_total, INT_MAX)));
    m_dialog.setValue(0);
    // Shown by a clock of our own, not by Qt's guess from the first slices: a save that is over
    // within half a second shows nothing, one that is not shows then, copying or syncing.
    m_dialog.setMinimumDuration(INT_MAX);
    m_showTimer.setSingleShot(true);
    QObject::connect(&m_showTimer, &QTimer::timeout, &m_dialog, &QWidget::show);
    m_showTimer.start(ShowAfterMs);
    m_clock.start();
}

void SaveProgress::update(qint64 written)
{
    const qint64 now = m_clock.elapsed();
    if (m_textShownAt >= 0 && now - m_textShownAt < TextEveryMs && written < m_total)
        return;
    m_textShownAt = now;
    m_dialog.setValue(static_cast<int>(std::min(written, m_total)));
    m_dialog.setLabelText(m_heading + QLatin1Char('\n') + details(written));
}

QString SaveProgress::details(qint64 written) const
{
    const QString counts =
        QStringLiteral("已写入 %1 / %2").arg(megabytes(written), megabytes(m_total));
    if (written <= 0)
        return counts + QStringLiteral("，正在估计剩余时间");
    // At the pace so far: the disk's speed, not the first slices into its cache, sets it.
    const double secondsLeft =
        double(m_clock.elapsed()) / 1000 * double(m_total - written) / double(written);
    return counts + QStringLiteral("，") + timeLeft(static_cast<qint64>(std::ceil(secondsLeft)));
}
