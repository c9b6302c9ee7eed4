#include "fileio/ByteRange.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <limits>
#include <system_error>
#include <thread>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 kMax32 = std::numeric_limits<qint32>::max();

[[noreturn]] void fail(const QString &message)
{
    throw FileIoError(message);
}

// A Chinese sentence for what went wrong, with the system's own words in brackets.
QString reason(const QFileDevice &file, bool writing)
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

[[noreturn]] void failReading(const QFileDevice &file, const QString &path)
{
    fail(cannotRead(path) + QStringLiteral("：") + reason(file, false));
}

[[noreturn]] void failWriting(const QFileDevice &file, const QString &path)
{
    fail(cannotWrite(path) + QStringLiteral("：") + reason(file, true));
}

// Writes everything or reports why not; QIODevice::write may stop short on some devices.
bool writeAll(QFileDevice &file, const char *data, qint64 size)
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
bool readOnlyByMode(const QFileInfo &info)
{
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

// A folder or a file marked read-only is never replaced.
void refuseProtectedTarget(const QString &path)
{
    const QFileInfo existing(path);
    if (existing.isDir())
        fail(cannotWrite(path) + QStringLiteral("：这是一个文件夹。"));
    if (readOnlyByMode(existing))
        fail(QStringLiteral("文件") + quotedPath(path) + QStringLiteral("是只读的，不能替换。"));
}

// Refuses a range that runs past the source's end: its bytes would have to be made up.
void refuseRangePastEnd(const QString &path, qint32 position, qint32 count, qint64 length)
{
    if (qint64(position) - 1 + count > length)
        fail(cannotRead(path) +
             QStringLiteral("：范围超出文件末尾（第 %1 至 %2 字节，文件只有 %3 字节）。")
                 .arg(QString::number(position), QString::number(qint64(position) - 1 + count),
                      QString::number(length)));
}

// Slices are sized so that each takes about this long, reads, writes and waits included.
constexpr qint64 kSliceNs = 40'000'000;
// The smallest and the first slice: small enough for a slow stick, large enough to be cheap.
constexpr qint64 kMinSliceBytes = 64 * 1024;
// How often waiting events run while the copy and the sync work on threads of their own.
constexpr auto kTurn = std::chrono::milliseconds(20);

// Paces the slices, by either path: sizes each by the time the last one took, and after each
// hands it to the disk at once and waits for the one before it, so that no more than two slices
// are ever waiting to be written (the final sync then has little left to do; on a slow stick it
// would otherwise take many seconds). Counts what is written and passes a stop on, between the
// window's thread and the copy's.
class SlicePacing
{
public:
    explicit SlicePacing(int fd) : m_fd(fd) {}

    // How many bytes the next slice should move, at most `left`; starts its clock.
    qint64 nextSlice(qint64 left)
    {
        m_clock.start();
        return std::min(left, m_slice);
    }

    // False when the copy is to stop.
    bool written(qint64 at, qint64 size)
    {
#ifdef Q_OS_LINUX
        // Only pacing: a failure here shows again, and is reported, at the sync before the rename.
        if (m_size > 0)
            ::sync_file_range(m_fd, m_at, m_size,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER);
        ::sync_file_range(m_fd, at, size, SYNC_FILE_RANGE_WRITE);
#endif
        fitSlice(size, m_clock.nsecsElapsed());
        m_at = at;
        m_size = size;
        m_written += size;
        return !m_stop;
    }

    qint64 writtenSoFar() const
    {
        return m_written;
    }
    void stop()
    {
        m_stop = true;
    }
    bool stopped() const
    {
        return m_stop;
    }

private:
    // The next slice takes about kSliceNs at the speed just seen; it may grow only twofold at a
    // time, so one fast slice on a slow disk cannot bring a long one. The time spent covers this
    // slice's copy and the wait for the one before, so the smaller of the two is the measure:
    // measured by this slice alone the size would swing instead of settling.
    void fitSlice(qint64 size, qint64 tookNs)
    {
        const qint64 measure = m_size > 0 ? std::min(size, m_size) : size;
        const qint64 fit = measure * kSliceNs / std::max<qint64>(tookNs, 1);
        m_slice = std::clamp(std::min(fit, 2 * m_slice), kMinSliceBytes, CopySliceBytes);
    }

    int m_fd;
    QElapsedTimer m_clock;
    qint64 m_slice = kMinSliceBytes;
    qint64 m_at = 0;
    qint64 m_size = 0;
    std::atomic<qint64> m_written{0};
    std::atomic<bool> m_stop{false};
};

// Moves up to `size` bytes inside the kernel, from `from` in `in` to `to` in `out`, and returns
// how many it moved. It stops early, leaving the rest to plain reads and writes, where the system
// has no such copy or refuses it (another file system, an old kernel), and where the source ends:
// the plain path then says which of the two files failed. It also stops when
// the pacing says so.
qint64 kernelCopy(int in, qint64 from, int out, qint64 to, qint64 size, SlicePacing &pacing)
{
    qint64 done = 0;
#ifdef Q_OS_LINUX
    off64_t inAt = from;
    off64_t outAt = to;
    while (done < size) {
        const auto slice = static_cast<size_t>(pacing.nextSlice(size - done));
        const ssize_t moved = ::copy_file_range(in, &inAt, out, &outAt, slice, 0);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved <= 0)
            break;
        done += moved;
        if (!pacing.written(to + done - moved, moved))
            break;
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

// Reads and writes through one buffer of at most one slice; a source that ends before the range
// does (cut short since the copy began) is a failure. It stops when the pacing says so.
void bufferedCopy(const CopyEnds &ends, qint64 from, qint64 to, qint64 size, SlicePacing &pacing)
{
    if (!ends.in.seek(from))
        failReading(ends.in, ends.source);
    if (!ends.out.seek(to))
        failWriting(ends.out, ends.target);
    QByteArray buffer(static_cast<qsizetype>(std::min(size, CopySliceBytes)), Qt::Uninitialized);
    char *data = buffer.data();
    for (qint64 left = size, at = to; left > 0;) {
        const qint64 want = pacing.nextSlice(left);
        for (qint64 got = 0; got < want;) {
            const qint64 n = ends.in.read(data + got, want - got);
            if (n < 0)
                failReading(ends.in, ends.source);
            if (n == 0)
                fail(cannotRead(ends.source) + QStringLiteral("：文件在复制过程中变短了。"));
            got += n;
        }
        if (!writeAll(ends.out, data, want))
            failWriting(ends.out, ends.target);
        left -= want;
        at += want;
        if (!pacing.written(at - want, want))
            return;
    }
}

// Lets waiting events run; false when the caller asked to stop.
bool turn(const CopyOptions &options)
{
    if (options.pumpEvents)
        options.pumpEvents();
    return !(options.cancelled && options.cancelled());
}

// Waits for the copy's thread while waiting events run and the progress is reported, and passes
// a cancel on to it. However this ends, the copy has stopped before its files are let go.
void copyWhileEventsRun(std::future<void> &copying, SlicePacing &pacing, qint64 total,
                        const CopyOptions &options)
{
    struct Join
    {
        std::future<void> &copying;
        SlicePacing &pacing;
        ~Join()
        {
            if (copying.valid()) {
                pacing.stop();
                copying.wait();
            }
        }
    } join{copying, pacing};
    do {
        if (options.progress)
            options.progress(pacing.writtenSoFar(), total);
        if (!turn(options))
            pacing.stop();
    } while (copying.wait_for(kTurn) != std::future_status::ready);
    copying.get(); // a failure of the copy is thrown here
    if (options.progress)
        options.progress(pacing.writtenSoFar(), total);
}

// Brings the new file's data to the disk on a thread of its own while waiting events run: on a
// slow stick that can take seconds, and the window must not freeze for them. The thread works on
// its own descriptor, so that a cancel can drop the file at once and leave the flush to finish
// in the background. Returns false when the caller asked to stop; the rename's own sync then
// finds nothing left to do.
bool syncWhileEventsRun(int fd, const CopyOptions &options, const QString &target)
{
#ifdef Q_OS_UNIX
    const int own = ::dup(fd);
    if (own < 0)
        return true; // the rename's own sync does it, with the window waiting
    std::promise<int> promise;
    std::future<int> result = promise.get_future();
    try {
        std::thread([own, promise = std::move(promise)]() mutable {
            const int error = ::fdatasync(own) == 0 ? 0 : errno;
            ::close(own);
            promise.set_value(error);
        }).detach();
    } catch (const std::system_error &) {
        ::close(own);
        return true;
    }
    while (result.wait_for(kTurn) != std::future_status::ready)
        if (!turn(options))
            return false;
    // Both descriptors share one open file, so the error is reported once, here, and not again
    // by the rename's sync.
    if (const int error = result.get())
        fail(cannotWrite(target) + QStringLiteral("：写入失败（") + qt_error_string(error) +
             QStringLiteral("）。"));
    return true;
#else
    Q_UNUSED(fd);
    Q_UNUSED(target);
    return turn(options);
#endif
}

} // namespace

CopyOutcome CopyByteRange(const QString &source, qint32 position, qint32 count,
                          const QString &target, const CopyOptions &options)
{
    if (position < 1)
        fail(cannotRead(source) + QStringLiteral("：位置超出范围（%1）。").arg(position));
    if (count <= 0)
        fail(cannotRead(source) + QStringLiteral("：长度无效（%1）。").arg(count));
    const QFileInfo info(source);
    if (!info.exists())
        fail(cannotRead(source) + QStringLiteral("：文件不存在。"));
    if (info.isDir())
        fail(cannotRead(source) + QStringLiteral("：这是一个文件夹。"));

    // Shared read: the player keeps this file open while we cut it.
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        failReading(in, source);
    refuseRangePastEnd(source, position, count, in.size());
    const qint64 size = count;

    refuseProtectedTarget(target);
    // The new content goes to a temporary file next to the target and is renamed over it only
    // once complete and synced to disk; until then the old file is untouched, and a failure
    // leaves no temporary behind. Unbuffered, so every write error is seen before commit().
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        failWriting(out, target);

    const qint64 from = position - 1;
    const RangeEdits &edits = options.edits;
    const qint64 at = edits.head.size();
    if (!writeAll(out, edits.head.constData(), at))
        failWriting(out, target);
    SlicePacing pacing(out.handle());
    // The slices run on a thread of their own: a write or a wait for the disk can block for
    // longer than the window may freeze (a busy disk, a full cache, a slow stick), so the window's
    // thread only runs events, reports the progress and passes a cancel on.
    std::future<void> copying = std::async(std::launch::async, [&] {
        qint64 done = 0;
        if (options.method == CopyMethod::Kernel)
            done = kernelCopy(in.handle(), from, out.handle(), at, size, pacing);
        if (!pacing.stopped() && done < size)
            bufferedCopy({in, source, out, target}, from + done, at + done, size - done, pacing);
    });
    copyWhileEventsRun(copying, pacing, size, options);
    in.close();
    // Leaving without commit() drops the temporary file; the old target was never touched.
    if (pacing.stopped())
        return CopyOutcome::Cancelled;
    // The patch lies inside the range, so it never changes the new file's length.
    if (edits.patchAt >= 0 && edits.patchAt + edits.patch.size() <= size &&
        (!out.seek(at + edits.patchAt) ||
         !writeAll(out, edits.patch.constData(), edits.patch.size())))
        failWriting(out, target);
    // The in-kernel copy writes at its own offsets, not the file's position.
    if (!edits.tail.isEmpty() &&
        (!out.seek(at + size) || !writeAll(out, edits.tail.constData(), edits.tail.size())))
        failWriting(out, target);
    if (!syncWhileEventsRun(out.handle(), options, target))
        return CopyOutcome::Cancelled;
    if (!out.commit())
        failWriting(out, target);
    return CopyOutcome::Completed;
}

qint32 FileSize32(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("找不到文件") + quotedPath(path) + QStringLiteral("。"));
    if (info.isDir())
        fail(cannotRead(path) + QStringLiteral("：这是一个文件夹。"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        failReading(file, path);
    const qint64 size = file.size();
    if (size > kMax32)
        fail(QStringLiteral("文件") + quotedPath(path) +
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

bool identityOf(const QString &path, FileIdentity &identity)
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
    return identityOf(a, identityA) && identityOf(b, identityB) && identityA == identityB;
}
