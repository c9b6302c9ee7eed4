#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Writes four copies of the 3 s tone end to end: 12 s of frames with no length header, like a
// piece cut from the middle of a file, whose length is a guess until its frames are mapped.
// Returns the bytes written, empty on failure.
inline QByteArray writeLongTone(const QString &path)
{
    QFile tone(QStringLiteral(VELQUIST_FIXTURES "/tone-3s.mp3"));
    QFile file(path);
    if (!tone.open(QIODevice::ReadOnly) || !file.open(QIODevice::WriteOnly))
        return {};
    const QByteArray bytes = tone.readAll().repeated(4);
    return file.write(bytes) == bytes.size() ? bytes : QByteArray();
}
