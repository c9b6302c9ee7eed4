#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Clock text for the player: "mm:ss", or "h:mm:ss" from an hour on. Whole seconds, cut down, so
// the text never runs ahead of what has been heard. A negative time reads "00:00".
namespace TimeText {
QString fromMilliseconds(qint64 milliseconds);
// A typed mark: "mm:ss.cc", or "h:mm:ss.cc" where the file runs an hour or more, so that both
// fields of a file read alike. A negative time reads as zero.
QString fromHundredths(qint64 hundredths, bool withHours);
// Reads what a person types for a mark: "s", "m:ss" or "h:mm:ss", each with one or two decimals
// or none; the fields after the first have two digits and stay below 60. Full-width colons and
// stops, as a Chinese input method types them, count as their plain forms. Anything else,
// including a half-typed time such as "1:2" or "01:02.", is nullopt.
std::optional<qint64> hundredthsFrom(const QString &text);
} // namespace TimeText
