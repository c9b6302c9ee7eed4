#include "fileio/FileIoError.h"

#include <QDir>

FileIoError::FileIoError(const QString &message) : std::runtime_error(message.toStdString()) {}

QString quotedPath(const QString &path)
{
    return QStringLiteral("“") + QDir::toNativeSeparators(path) + QStringLiteral("”");
}

QString cannotRead(const QString &path)
{
    return QStringLiteral("无法读取文件") + quotedPath(path);
}

QString cannotWrite(const QString &path)
{
    return QStringLiteral("无法写入文件") + quotedPath(path);
}
