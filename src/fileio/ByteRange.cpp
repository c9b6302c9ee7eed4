#include "fileio/ByteRange.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 kMax32 = std::numeric_limits<qint32>::max();

// “/x/a.mp3” as the user would type it.
QString Quoted(const QString &path)
{
    return QStringLiteral("“") + QDir::toNativeSeparators(path) + QStringLiteral("”");
}

[[noreturn]] void Fail(const QString &message)
{
    throw FileIoError(message);
}

QString CannotRead(const QString &path)
{
    return QStringLiteral("无法读取文件") + Quoted(path);
}

QString CannotWrite(const QString &path)
{
    return QStringLiteral("无法写入文件") + Quoted(path);
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
    return what + QStringLiteral("（") + file.errorString() + QStringLiteral("）。");
}

[[noreturn]] void FailReading(const QFileDevice &file, const QString &path)
{
    Fail(CannotRead(path) + QStringLiteral("：") + Reason(file, false));
}

[[noreturn]] void FailWriting(const QFileDevice &file, const QString &path)
{
    Fail(CannotWrite(path) + QStringLiteral("：") + Reason(file, true));
}

// Writes everything or reports why not; QIODevice::write may stop short on some devices.
bool WriteAll(QFileDevice &file, const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 written = file.write(data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// Root ignores permission bits, so access() would say yes; the user's read-only mark must still
// protect the file.
bool ReadOnlyByMode(const QFileInfo &info)
{
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

// A folder or a file marked read-only is never replaced.
void RefuseProtectedTarget(const QString &path)
{
    const QFileInfo existing(path);
    if (existing.isDir())
        Fail(CannotWrite(path) + QStringLiteral("：这是一个文件夹。"));
    if (ReadOnlyByMode(existing))
        Fail(QStringLiteral("文件") + Quoted(path) + QStringLiteral("是只读的，不能替换。"));
}

// How many bytes the range takes; refuses what can give no byte at all.
qint64 RangeSize(const QString &path, qint32 position, qint32 count, qint64 length)
{
    if (count != -1)
        return count;
    if (position > length)
        Fail(CannotRead(path) + QStringLiteral("：位置超出范围（第 %1 字节，文件只有 %2 字节）。")
                                    .arg(QString::number(position), QString::number(length)));
    const qint64 size = length - position + 1;
    if (size > kMax32)
        Fail(CannotRead(path) + QStringLiteral("：文件太大（超过 2 GB）。"));
    return size;
}

// What follows every slice written, by either path: the slice goes to the disk at once and the
// one before it is waited for, so that no more than two slices are ever waiting to be written
// (the sync before the rename, during which the window runs no events, then has almost nothing
// left to do; on a slow stick it would otherwise take many seconds); then waiting events run.
class SlicePacing
{
public:
    SlicePacing(int fd, const EventPump &pump) : m_fd(fd), m_pump(pump) {}

    void written(qint64 at, qint64 size)
    {
#ifdef Q_OS_LINUX
        // Only pacing: a failure here shows again, and is reported, at the sync before the rename.
        if (m_size > 0)
            ::sync_file_range(m_fd, m_at, m_size,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER);
        ::sync_file_range(m_fd, at, size, SYNC_FILE_RANGE_WRITE);
#else
        Q_UNUSED(m_fd);
#endif
        m_at = at;
        m_size = size;
        if (m_pump)
            m_pump();
    }

private:
    int m_fd;
    const EventPump &m_pump;
    qint64 m_at = 0;
    qint64 m_size = 0;
};

// Moves up to `size` bytes inside the kernel, from `from` in `in` to `to` in `out`, and returns
// how many it moved. It stops early, leaving the rest to plain reads and writes, where the system
// has no such copy or refuses it (another file system, an old kernel), and where the source ends:
// the plain path then pads with zeros or says which of the two files failed.
qint64 KernelCopy(int in, qint64 from, int out, qint64 to, qint64 size, SlicePacing &pacing)
{
    qint64 done = 0;
#ifdef Q_OS_LINUX
    off64_t inAt = from;
    off64_t outAt = to;
    while (done < size) {
        const auto slice = static_cast<size_t>(std::min(size - done, CopySliceBytes));
        const ssize_t moved = ::copy_file_range(in, &inAt, out, &outAt, slice, 0);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved <= 0)
            break;
        pacing.written(to + done, moved);
        done += moved;
    }
#else
    Q_UNUSED(in);
    Q_UNUSED(from);
    Q_UNUSED(out);
    Q_UNUSED(to);
    Q_UNUSED(size);
    Q_UNUSED(pacing);
#endif
    return done;
}

struct CopyEnds
{
    QFile &in;
    const QString &source;
    QSaveFile &out;
    const QString &target;
};

// Reads and writes through one buffer of at most one slice; past the source's end it writes
// zeros.
void BufferedCopy(const CopyEnds &ends, qint64 from, qint64 to, qint64 size, SlicePacing &pacing)
{
    if (!ends.in.seek(from))
        FailReading(ends.in, ends.source);
    if (!ends.out.seek(to))
        FailWriting(ends.out, ends.target);
    QByteArray buffer(static_cast<qsizetype>(std::min(size, CopySliceBytes)), Qt::Uninitialized);
    char *data = buffer.data();
    bool sourceEnded = false;
    for (qint64 left = size, at = to; left > 0;) {
        const qint64 want = std::min<qint64>(left, buffer.size());
        qint64 got = 0;
        while (!sourceEnded && got < want) {
            const qint64 n = ends.in.read(data + got, want - got);
            if (n < 0)
                FailReading(ends.in, ends.source);
            sourceEnded = n == 0;
            got += n;
        }
        std::memset(data + got, 0, static_cast<size_t>(want - got));
        if (!WriteAll(ends.out, data, want))
            FailWriting(ends.out, ends.target);
        pacing.written(at, want);
        left -= want;
        at += want;
    }
}

} // namespace

FileIoError::FileIoError(const QString &message) : std::runtime_error(message.toStdString()) {}

void CopyByteRange(const QString &source, qint32 position, qint32 count, const QString &target,
                   const EventPump &pumpEvents, CopyMethod method, const RangeEdits &edits)
{
    if (position < 1)
        Fail(CannotRead(source) + QStringLiteral("：位置超出范围（%1）。").arg(position));
    if (count == 0 || count < -1)
        Fail(CannotRead(source) + QStringLiteral("：长度无效（%1）。").arg(count));
    const QFileInfo info(source);
    if (!info.exists())
        Fail(CannotRead(source) + QStringLiteral("：文件不存在。"));
    if (info.isDir())
        Fail(CannotRead(source) + QStringLiteral("：这是一个文件夹。"));

    // Shared read: the player keeps this file open while we cut it.
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        FailReading(in, source);
    const qint64 size = RangeSize(source, position, count, in.size());

    RefuseProtectedTarget(target);
    // The new content goes to a temporary file next to the target and is renamed over it only
    // once complete and synced to disk; until then the old file is untouched, and a failure
    // leaves no temporary behind. Unbuffered, so every write error is seen before commit().
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        FailWriting(out, target);

    const qint64 from = position - 1;
    const qint64 at = edits.head.size();
    if (!WriteAll(out, edits.head.constData(), at))
        FailWriting(out, target);
    SlicePacing pacing(out.handle(), pumpEvents);
    qint64 done = 0;
    if (method == CopyMethod::Kernel)
        done = KernelCopy(in.handle(), from, out.handle(), at, size, pacing);
    if (done < size)
        BufferedCopy({in, source, out, target}, from + done, at + done, size - done, pacing);
    in.close();
    // The patch lies inside the range, so it never changes the new file's length.
    if (edits.patchAt >= 0 && edits.patchAt + edits.patch.size() <= size &&
        (!out.seek(at + edits.patchAt) ||
         !WriteAll(out, edits.patch.constData(), edits.patch.size())))
        FailWriting(out, target);
    if (!out.commit())
        FailWriting(out, target);
}

qint32 FileSize32(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        Fail(QStringLiteral("找不到文件") + Quoted(path) + QStringLiteral("。"));
    if (info.isDir())
        Fail(CannotRead(path) + QStringLiteral("：这是一个文件夹。"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        FailReading(file, path);
    const qint64 size = file.size();
    if (size > kMax32)
        Fail(QStringLiteral("文件") + Quoted(path) +
             QStringLiteral("太大（%1 字节），只能处理小于 2 GB 的文件。").arg(size));
    return static_cast<qint32>(size);
}

namespace {

// Which volume and which file on it: the same for every name of one file (links, other letter
// case on case-insensitive disks, 8.3 short names on Windows).
struct FileIdentity
{
    quint64 volume = 0;
    quint64 file = 0;
    bool operator==(const FileIdentity &other) const
    {
        return volume == other.volume && file == other.file;
    }
};

bool IdentityOf(const QString &path, FileIdentity &identity)
{
#ifdef Q_OS_WIN
    // The C runtime's stat() reports 0 for every inode here; the file index is the real one.
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE handle =
        ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION about{};
    const bool known = ::GetFileInformationByHandle(handle, &about) != 0;
    ::CloseHandle(handle);
    if (!known)
        return false;
    identity.volume = about.dwVolumeSerialNumber;
    identity.file = (quint64(about.nFileIndexHigh) << 32) | about.nFileIndexLow;
    return true;
#else
    struct stat about;
    if (::stat(QFile::encodeName(path).constData(), &about) != 0)
        return false;
    identity.volume = static_cast<quint64>(about.st_dev);
    identity.file = static_cast<quint64>(about.st_ino);
    return true;
#endif
}

} // namespace

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
    FileIdentity identityA;
    FileIdentity identityB;
    return IdentityOf(a, identityA) && IdentityOf(b, identityB) && identityA == identityB;
}
