#include "core/TimeText.h"

#include <QStringList>

#include <algorithm>

namespace {

QString fromWholeSeconds(qint64 total)
{
    const qint64 hours = total / 3600;
    const qint64 minutes = (total / 60) % 60;
    const qint64 seconds = total % 60;
    if (hours > 0) {
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(seconds, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

// Digits only, at most `longest` of them; the value fits easily in 64 bits.
std::optional<qint64> digits(QStringView text, qsizetype shortest, qsizetype longest)
{
    if (text.size() < shortest || text.size() > longest)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

} // namespace

namespace TimeText {

QString fromMilliseconds(qint64 milliseconds)
{
    return fromWholeSeconds(milliseconds > 0 ? milliseconds / 1000 : 0);
}

QString fromHundredths(qint64 hundredths, bool withHours)
{
    const qint64 total = std::max<qint64>(hundredths, 0);
    const qint64 seconds = total / 100;
    const QString fraction = QStringLiteral(".%1").arg(total % 100, 2, 10, QLatin1Char('0'));
    if (withHours) {
        return QStringLiteral("%1:%2:%3")
                   .arg(seconds / 3600)
                   .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                   .arg(seconds % 60, 2, 10, QLatin1Char('0')) +
               fraction;
    }
    return QStringLiteral("%1:%2")
               .arg(seconds / 60, 2, 10, QLatin1Char('0'))
               .arg(seconds % 60, 2, 10, QLatin1Char('0')) +
           fraction;
}

std::optional<qint64> hundredthsFrom(const QString &text)
{
    QString plain = text.trimmed();
    plain.replace(QChar(0xFF1A), QLatin1Char(':')); // ：
    plain.replace(QChar(0x3002), QLatin1Char('.')); // 。
    plain.replace(QChar(0xFF0E), QLatin1Char('.')); // ．

    QStringView whole = plain;
    qint64 fraction = 0;
    if (const qsizetype stop = plain.indexOf(QLatin1Char('.')); stop >= 0) {
        const QStringView decimals = whole.mid(stop + 1);
        const auto value = digits(decimals, 1, 2);
        if (!value)
            return std::nullopt;
        fraction = decimals.size() == 1 ? *value * 10 : *value;
        whole = whole.left(stop);
    }

    const QList<QStringView> fields = whole.split(QLatin1Char(':'));
    if (fields.size() > 3)
        return std::nullopt;
    // The first field may be as long as a person would type; nine digits stay far from overflow.
    auto seconds = digits(fields.front(), 1, 9);
    if (!seconds)
        return std::nullopt;
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const auto value = digits(fields[i], 2, 2);
        if (!value || *value >= 60)
            return std::nullopt;
        *seconds = *seconds * 60 + *value;
    }
    return *seconds * 100 + fraction;
}

} // namespace TimeText
