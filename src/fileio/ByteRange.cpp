#include "fileio/ByteRange.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

#include <sys/stat.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr qint64 kMax32 = std::numeric_limits<qint32>::max();

// “/x/a.mp3” as the user would type it.
QString Quoted(const QString &path)
{
    return QStringLiteral("“%1”").arg(QDir::toNativeSeparators(path));
}

[[noreturn]] void Fail(const QString &message)
{
    throw FileIoError(message);
}

QString CannotRead(const QString &path)
{
    return QStringLiteral("无法读取文件%1").arg(Quoted(path));
}

QString CannotWrite(const QString &path)
{
    return QStringLiteral("无法写入文件%1").arg(Quoted(path));
}

// A Chinese sentence for what went wrong, with the system's own words in brackets.
QString Reason(const QFileDevice &file, bool writing)
{
    QString what;
    switch (file.error()) {
    case QFileDevice::ReadError:
        what = QStringLiteral("读取失败");
        break;
    case QFileDevice::WriteError:
    case QFileDevice::ResizeError:
        what = QStringLiteral("写入失败");
        break;
    case QFileDevice::OpenError:
        what = QStringLiteral("无法打开");
        break;
    case QFileDevice::RenameError:
        what = QStringLiteral("无法用新内容替换旧文件");
        break;
    case QFileDevice::PermissionsError:
        what = QStringLiteral("没有权限");
        break;
    case QFileDevice::PositionError:
        what = QStringLiteral("无法定位");
        break;
    default:
        what = writing ? QStringLiteral("写入失败") : QStringLiteral("读取失败");
        break;
    }
    return QStringLiteral("%1（%2）。").arg(what, file.errorString());
}

// Filling a long range faults its buffer in one 4 KiB page at a time, which costs about as much as
// the copy itself; 2 MiB pages cut that to almost nothing. Only a hint: ignored where unsupported.
void PreferHugePages(char *data, qint64 size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    const auto first = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (first + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t end = (first + std::uintptr_t(size)) & ~(kHuge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

// The first `size` bytes of a buffer, allocated without clearing: it is about to be overwritten
// by the read, so clearing it first would touch every page twice.
ByteBuffer Allocate(const QString &path, qint32 size)
{
    try {
        ByteBuffer buffer(size, Qt::Uninitialized);
        PreferHugePages(buffer.data(), size);
        return buffer;
    } catch (const std::bad_alloc &) {
        Fail(QStringLiteral("%1：内存不足，无法容纳 %2 字节。").arg(CannotRead(path)).arg(size));
    }
}

// Writes everything or reports why not; QIODevice::write may stop short on some devices. The
// buffer goes out in slices: one giant write() makes the kernel take the whole range into its
// page cache at once, which measured several times slower than moderate slices.
bool WriteAll(QFileDevice &file, const ByteBuffer &bytes)
{
    constexpr qint64 Slice = 8 * 1024 * 1024;
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 written = file.write(data, std::min(left, Slice));
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

// Root ignores permission bits, so access() would say yes; the user's read-only mark must still
// protect the file.
bool ReadOnlyByMode(const QFileInfo &info)
{
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

void CheckEnd(const QString &path, qint64 position, qint64 size)
{
    if (position - 1 + size > kMax32)
        Fail(QStringLiteral("%1：位置超出范围（%2 + %3 字节超过 2 GB）。")
                 .arg(CannotWrite(path))
                 .arg(position)
                 .arg(size));
}

// A folder or a file marked read-only is never written, in either mode.
void RefuseProtectedTarget(const QString &path, bool replacing)
{
    const QFileInfo existing(path);
    if (existing.isDir())
        Fail(QStringLiteral("%1：这是一个文件夹。").arg(CannotWrite(path)));
    if (ReadOnlyByMode(existing))
        Fail(QStringLiteral("文件%1是只读的，不能%2。")
                 .arg(Quoted(path), replacing ? QStringLiteral("替换") : QStringLiteral("写入")));
}

void ReplaceWith(const QString &path, const ByteBuffer &bytes, qint32 position)
{
    // The new content goes to a temporary file next to the target and is renamed over it only
    // once complete; until then the old file is untouched. Unbuffered, so every write error is
    // seen by QSaveFile before commit() decides to rename.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        Fail(QStringLiteral("%1：%2").arg(CannotWrite(path), Reason(file, true)));

    bool ok = true;
    if (position > 1)
        ok = file.seek(position - 1);
    ok = ok && WriteAll(file, bytes);
    if (!ok) {
        const QString reason = Reason(file, true);
        file.cancelWriting();
        Fail(QStringLiteral("%1：%2").arg(CannotWrite(path), reason));
    }
    if (!file.commit())
        Fail(QStringLiteral("%1：%2").arg(CannotWrite(path), Reason(file, true)));
}

void WriteInPlace(const QString &path, const ByteBuffer &bytes, qint32 position)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        Fail(QStringLiteral("%1：%2").arg(CannotWrite(path), Reason(file, true)));

    qint64 at = position;
    if (position == -1) {
        const qint64 length = file.size();
        if (length >= kMax32)
            Fail(QStringLiteral("%1：文件已达 2 GB，不能再追加。").arg(CannotWrite(path)));
        at = length + 1;
    }
    CheckEnd(path, at, bytes.size());

    if (!file.seek(at - 1) || !WriteAll(file, bytes))
        Fail(QStringLiteral("%1：%2").arg(CannotWrite(path), Reason(file, true)));
    file.close();
    if (file.error() != QFileDevice::NoError)
        Fail(QStringLiteral("%1：%2").arg(CannotWrite(path), Reason(file, true)));
}

} // namespace

FileIoError::FileIoError(const QString &message) : std::runtime_error(message.toStdString()) {}

ByteBuffer ReadByteRange(QString path, qint32 position, qint32 count, const EventPump &pumpEvents)
{
    if (position < 1)
        Fail(QStringLiteral("%1：位置超出范围（%2）。").arg(CannotRead(path)).arg(position));
    if (count == 0 || count < -1)
        Fail(QStringLiteral("%1：长度无效（%2）。").arg(CannotRead(path)).arg(count));

    ByteBuffer buffer;
    {
        const QFileInfo info(path);
        if (!info.exists())
            Fail(QStringLiteral("%1：文件不存在。").arg(CannotRead(path)));
        if (info.isDir())
            Fail(QStringLiteral("%1：这是一个文件夹。").arg(CannotRead(path)));

        // Shared read: the player keeps this file open while we cut it.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            Fail(QStringLiteral("%1：%2").arg(CannotRead(path), Reason(file, false)));

        const qint64 length = file.size();
        qint64 size = count;
        if (count == -1) {
            if (position > length)
                Fail(QStringLiteral("%1：位置超出范围（第 %2 字节，文件只有 %3 字节）。")
                         .arg(CannotRead(path))
                         .arg(position)
                         .arg(length));
            size = length - position + 1;
            if (size > kMax32)
                Fail(QStringLiteral("%1：文件太大（超过 2 GB）。").arg(CannotRead(path)));
        }

        buffer = Allocate(path, static_cast<qint32>(size));
        char *data = buffer.data();
        qint64 got = 0;
        if (position - 1 < length) {
            if (!file.seek(position - 1))
                Fail(QStringLiteral("%1：%2").arg(CannotRead(path), Reason(file, false)));
            while (got < size) {
                const qint64 n = file.read(data + got, size - got);
                if (n < 0)
                    Fail(QStringLiteral("%1：%2").arg(CannotRead(path), Reason(file, false)));
                if (n == 0)
                    break;
                got += n;
            }
        }
        // Past the end of the file the range reads as zeros.
        std::memset(data + got, 0, static_cast<size_t>(size - got));
    }
    if (pumpEvents)
        pumpEvents();
    return buffer;
}

void WriteBytes(QString path, const ByteBuffer &bytes, qint32 position, bool replaceExisting,
                const EventPump &pumpEvents)
{
    if (position < 1 && position != -1)
        Fail(QStringLiteral("%1：位置超出范围（%2）。").arg(CannotWrite(path)).arg(position));
    if (bytes.isEmpty())
        Fail(QStringLiteral("%1：没有可写入的内容。").arg(CannotWrite(path)));

    RefuseProtectedTarget(path, replaceExisting);
    if (replaceExisting) {
        // The old content goes away entirely, so "after its end" is the very start.
        const qint32 at = position == -1 ? 1 : position;
        CheckEnd(path, at, bytes.size());
        ReplaceWith(path, bytes, at);
    } else {
        WriteInPlace(path, bytes, position);
    }
    if (pumpEvents)
        pumpEvents();
}

qint32 FileSize32(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        Fail(QStringLiteral("找不到文件%1。").arg(Quoted(path)));
    if (info.isDir())
        Fail(QStringLiteral("%1：这是一个文件夹。").arg(CannotRead(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        Fail(QStringLiteral("%1：%2").arg(CannotRead(path), Reason(file, false)));
    const qint64 size = file.size();
    if (size > kMax32)
        Fail(QStringLiteral("文件%1太大（%2 字节），只能处理小于 2 GB 的文件。")
                 .arg(Quoted(path))
                 .arg(size));
    return static_cast<qint32>(size);
}

bool SameFile(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    const QFileInfo infoA(a);
    const QFileInfo infoB(b);
    if (!infoA.exists() || !infoB.exists())
        return false;
    const QString canonicalA = infoA.canonicalFilePath();
    if (!canonicalA.isEmpty() && canonicalA == infoB.canonicalFilePath())
        return true;
    // Hard links and case-insensitive names have different canonical texts but one inode.
    struct stat statA;
    struct stat statB;
    if (::stat(QFile::encodeName(a).constData(), &statA) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &statB) != 0)
        return false;
    return statA.st_dev == statB.st_dev && statA.st_ino == statB.st_ino;
}
