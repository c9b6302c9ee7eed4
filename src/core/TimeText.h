#pragma once

#include <QString>
#include <QtGlobal>

// Clock text for the player: "mm:ss", or "h:mm:ss" from an hour on. Whole seconds, cut down, so
// the text never runs ahead of what has been heard. A negative time reads "00:00".
namespace TimeText {
QString fromMilliseconds(qint64 milliseconds);
// The same with tenths of a second, rounded: "00:05.8", "1:02:03.4"; for marks, not the clock.
QString withTenths(double seconds);
} // namespace TimeText
