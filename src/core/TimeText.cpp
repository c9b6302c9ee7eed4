#include "core/TimeText.h"

#include <algorithm>
#include <cmath>

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

} // namespace

namespace TimeText {

QString fromMilliseconds(qint64 milliseconds)
{
    return fromWholeSeconds(milliseconds > 0 ? milliseconds / 1000 : 0);
}

QString withTenths(double seconds)
{
    constexpr double longest = 1e12;
    const qint64 tenths = std::isfinite(seconds) && seconds > 0.0
                              ? std::llround(std::min(seconds, longest) * 10.0)
                              : 0;
    return fromWholeSeconds(tenths / 10) + QLatin1Char('.') + QString::number(tenths % 10);
}

} // namespace TimeText
