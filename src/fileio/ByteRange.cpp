#include "fileio/ByteRange.h"

FileIoError::FileIoError(const QString &message) : std::runtime_error(message.toStdString()) {}

ByteBuffer ReadByteRange(QString path, qint32, qint32, const EventPump &)
{
    throw FileIoError(QString("尚未实现：%1").arg(path));
}

void WriteBytes(QString path, const ByteBuffer &, qint32, bool, const EventPump &)
{
    throw FileIoError(QString("尚未实现：%1").arg(path));
}

qint32 FileSize32(const QString &path)
{
    throw FileIoError(QString("尚未实现：%1").arg(path));
}

bool SameFile(const QString &a, const QString &b)
{
    return a == b;
}
