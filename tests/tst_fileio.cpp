#include "fileio/ByteRange.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <unistd.h>

#include <limits>

namespace {

constexpr qint32 kMax32 = std::numeric_limits<qint32>::max();
constexpr qint64 k2GiB = qint64(1) << 31;

// Bytes that differ from their neighbours, so an off-by-one shows.
QByteArray Pattern(int size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed * 13 + 1) & 0xff);
    return bytes;
}

void Put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray Get(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// A file of `size` bytes without storing them: a hole reads as zeros.
void PutSparse(const QString &path, qint64 size)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(file.resize(size));
}

// How many of this process's descriptors are open on `path`.
int OpenHandles(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == target)
            ++count;
    return count;
}

// Runs `call`, expecting a FileIoError that names `path`.
template <typename Call> void ExpectFailureNaming(const QString &path, Call call)
{
    try {
        call();
    } catch (const FileIoError &error) {
        const QString message = QString::fromUtf8(error.what());
        QVERIFY2(message.contains(QStringLiteral("“%1”").arg(path)), qPrintable(message));
        return;
    }
    QFAIL("no FileIoError thrown");
}

// Undoes a mount made by a test, however the test ends.
struct MountGuard
{
    QString dir;
    ~MountGuard()
    {
        if (!dir.isEmpty())
            ::umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
    }
};

} // namespace

class TestFileIo : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readsRange_data();
    void readsRange();
    void refusesBadReads_data();
    void refusesBadReads();
    void readReleasesFileBeforePumping();

    void writes_data();
    void writes();
    void refusesBadWrites_data();
    void refusesBadWrites();
    void refusesAppendPast2GiB();
    void replaceKeepsPermissionBits();
    void refusesReadOnlyTarget_data();
    void refusesReadOnlyTarget();
    void failsWhereParentIsAFile_data();
    void failsWhereParentIsAFile();
    void fullDiskLeavesOldTarget();
    void readOnlyMountLeavesOldTarget();

    void fileSize32_data();
    void fileSize32();
    void sameFile_data();
    void sameFile();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    int m_pumps = 0;
    EventPump m_pump = [this] { ++m_pumps; };
};

void TestFileIo::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_pumps = 0;
}

void TestFileIo::readsRange_data()
{
    QTest::addColumn<qint32>("position");
    QTest::addColumn<qint32>("count");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray file = Pattern(10);
    QTest::newRow("whole file") << 1 << -1 << file;
    QTest::newRow("exactly the file") << 1 << 10 << file;
    QTest::newRow("middle") << 3 << 4 << file.mid(2, 4);
    QTest::newRow("rest from the middle") << 4 << -1 << file.mid(3);
    QTest::newRow("last byte through end") << 10 << -1 << file.right(1);
    QTest::newRow("zero tail past end") << 8 << 6 << file.mid(7) + QByteArray(3, '\0');
    QTest::newRow("wholly past end") << 20 << 3 << QByteArray(3, '\0');
}

void TestFileIo::readsRange()
{
    QFETCH(qint32, position);
    QFETCH(qint32, count);
    QFETCH(QByteArray, expected);
    const QString source = path("a.mp3");
    Put(source, Pattern(10));

    QCOMPARE(ReadByteRange(source, position, count, m_pump), expected);
    QCOMPARE(m_pumps, 1);
}

void TestFileIo::refusesBadReads_data()
{
    QTest::addColumn<qint64>("fileSize"); // -1: no file
    QTest::addColumn<qint32>("position");
    QTest::addColumn<qint32>("count");
    QTest::newRow("missing file") << qint64(-1) << 1 << -1;
    QTest::newRow("position 0") << qint64(10) << 0 << 5;
    QTest::newRow("position -5") << qint64(10) << -5 << 5;
    QTest::newRow("count 0") << qint64(10) << 1 << 0;
    QTest::newRow("count -2") << qint64(10) << 1 << -2;
    QTest::newRow("through end, past end") << qint64(10) << 11 << -1;
    QTest::newRow("through end, empty file") << qint64(0) << 1 << -1;
    QTest::newRow("rest does not fit 32 bits") << qint64(3) * (1 << 30) << 1 << -1;
}

void TestFileIo::refusesBadReads()
{
    QFETCH(qint64, fileSize);
    QFETCH(qint32, position);
    QFETCH(qint32, count);
    const QString source = path("a.mp3");
    if (fileSize >= 0)
        PutSparse(source, fileSize);

    ExpectFailureNaming(source, [&] { ReadByteRange(source, position, count, m_pump); });
    QCOMPARE(m_pumps, 0);
    if (fileSize >= 0)
        QCOMPARE(OpenHandles(source), 0);
}

void TestFileIo::readReleasesFileBeforePumping()
{
    const QString source = path("a.mp3");
    Put(source, Pattern(100));
    int handlesDuringPump = -1;
    ReadByteRange(source, 1, -1, [&] { handlesDuringPump = OpenHandles(source); });
    QCOMPARE(handlesDuringPump, 0);
}

void TestFileIo::writes_data()
{
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint32>("position");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QByteArray>("after");
    const QByteArray old = Pattern(20, 1);
    const QByteArray buf = Pattern(6, 2);
    QTest::newRow("replace, after end") << old << buf << -1 << true << buf;
    QTest::newRow("replace, shorter old") << buf << old << -1 << true << old;
    QTest::newRow("replace at 3") << old << buf << 3 << true << QByteArray(2, '\0') + buf;
    QTest::newRow("replace, new file") << QByteArray() << buf << -1 << true << buf;
    QTest::newRow("append") << old << buf << -1 << false << old + buf;
    QTest::newRow("overwrite start, length kept") << old << buf << 1 << false << buf + old.mid(6);
    QTest::newRow("overwrite across end") << old << buf << 18 << false << old.left(17) + buf;
    QTest::newRow("gap past end") << old << buf << 23 << false << old + QByteArray(2, '\0') + buf;
    QTest::newRow("in place, new file at end") << QByteArray() << buf << -1 << false << buf;
    QTest::newRow("in place, new file at 4")
        << QByteArray() << buf << 4 << false << QByteArray(3, '\0') + buf;
}

void TestFileIo::writes()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, bytes);
    QFETCH(qint32, position);
    QFETCH(bool, replace);
    QFETCH(QByteArray, after);
    const QString target = path("out.mp3");
    if (!before.isNull())
        Put(target, before);

    WriteBytes(target, bytes, position, replace, m_pump);
    QCOMPARE(Get(target), after);
    QCOMPARE(m_pumps, 1);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"out.mp3"});
}

void TestFileIo::refusesBadWrites_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint32>("position");
    QTest::addColumn<bool>("replace");
    const QByteArray buf = Pattern(2);
    for (const bool replace : {true, false}) {
        const char *mode = replace ? "replace" : "in place";
        QTest::addRow("%s, position 0", mode) << buf << 0 << replace;
        QTest::addRow("%s, position -2", mode) << buf << -2 << replace;
        QTest::addRow("%s, nothing to write", mode) << QByteArray() << 1 << replace;
        QTest::addRow("%s, end past 32 bits", mode) << buf << kMax32 << replace;
    }
}

void TestFileIo::refusesBadWrites()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint32, position);
    QFETCH(bool, replace);
    const QString target = path("out.mp3");
    const QByteArray old = Pattern(8);
    Put(target, old);

    ExpectFailureNaming(target, [&] { WriteBytes(target, bytes, position, replace, m_pump); });
    QCOMPARE(Get(target), old);
    QCOMPARE(m_pumps, 0);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"out.mp3"});
}

void TestFileIo::refusesAppendPast2GiB()
{
    const QString target = path("big.mp3");
    PutSparse(target, kMax32);
    ExpectFailureNaming(target, [&] { WriteBytes(target, Pattern(1), -1, false); });
    QCOMPARE(QFileInfo(target).size(), qint64(kMax32));
}

void TestFileIo::replaceKeepsPermissionBits()
{
    const QString target = path("out.mp3");
    Put(target, Pattern(8));
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(target, mode));

    WriteBytes(target, Pattern(3), -1, true);
    // Only the stored mode bits; the "User" flags describe whoever runs the test.
    const auto stored = QFileDevice::Permissions(0x7077);
    QCOMPARE(QFileInfo(target).permissions() & stored, mode);
}

void TestFileIo::refusesReadOnlyTarget_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("replace") << true;
    QTest::newRow("in place") << false;
}

void TestFileIo::refusesReadOnlyTarget()
{
    QFETCH(bool, replace);
    const QString target = path("out.mp3");
    const QByteArray old = Pattern(8);
    Put(target, old);
    QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ReadGroup));

    ExpectFailureNaming(target, [&] { WriteBytes(target, Pattern(3), -1, replace); });
    QCOMPARE(Get(target), old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"out.mp3"});
}

void TestFileIo::failsWhereParentIsAFile_data()
{
    refusesReadOnlyTarget_data();
}

void TestFileIo::failsWhereParentIsAFile()
{
    QFETCH(bool, replace);
    Put(path("plain"), Pattern(4));
    const QString target = path("plain/out.mp3");
    ExpectFailureNaming(target, [&] { WriteBytes(target, Pattern(3), -1, replace, m_pump); });
    QCOMPARE(m_pumps, 0);
    QCOMPARE(Get(path("plain")), Pattern(4));
}

void TestFileIo::fullDiskLeavesOldTarget()
{
    const QString small = path("small");
    QVERIFY(QDir().mkpath(small));
    MountGuard guard;
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("cannot mount a small tmpfs here (needs root in a mount-capable environment)");
    guard.dir = small;

    const QString target = small + "/out.mp3";
    const QByteArray old = Pattern(16 * 1024);
    Put(target, old);
    ExpectFailureNaming(target, [&] { WriteBytes(target, Pattern(200 * 1024, 3), -1, true); });
    QCOMPARE(Get(target), old);
    QCOMPARE(QDir(small).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"out.mp3"});
}

void TestFileIo::readOnlyMountLeavesOldTarget()
{
    const QString real = path("real");
    const QString view = path("view");
    QVERIFY(QDir().mkpath(real));
    QVERIFY(QDir().mkpath(view));
    const QByteArray old = Pattern(100);
    Put(real + "/out.mp3", old);

    MountGuard guard;
    const QByteArray viewName = QFile::encodeName(view);
    if (::mount(QFile::encodeName(real).constData(), viewName.constData(), nullptr, MS_BIND,
                nullptr) != 0)
        QSKIP("cannot make a bind mount here (needs root in a mount-capable environment)");
    guard.dir = view;
    if (::mount(nullptr, viewName.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                nullptr) != 0)
        QSKIP("cannot make the bind mount read-only here");

    const QString target = view + "/out.mp3";
    ExpectFailureNaming(target, [&] { WriteBytes(target, Pattern(10, 4), -1, true); });
    ExpectFailureNaming(target, [&] { WriteBytes(target, Pattern(10, 4), 1, false); });
    QCOMPARE(Get(target), old);
    QCOMPARE(QDir(real).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"out.mp3"});
}

void TestFileIo::fileSize32_data()
{
    QTest::addColumn<qint64>("size"); // -1: no file
    QTest::addColumn<bool>("fits");
    QTest::newRow("empty") << qint64(0) << true;
    QTest::newRow("small") << qint64(5) << true;
    QTest::newRow("2 GiB - 1") << k2GiB - 1 << true;
    QTest::newRow("2 GiB") << k2GiB << false;
    QTest::newRow("missing") << qint64(-1) << false;
}

void TestFileIo::fileSize32()
{
    QFETCH(qint64, size);
    QFETCH(bool, fits);
    const QString file = path("a.mp3");
    if (size >= 0)
        PutSparse(file, size);

    if (fits)
        QCOMPARE(FileSize32(file), qint32(size));
    else
        ExpectFailureNaming(file, [&] { FileSize32(file); });
}

void TestFileIo::sameFile_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    // Rows name files relative to the test's folder; sameFile() makes them.
    QTest::newRow("same text, even missing") << "gone.mp3"
                                             << "gone.mp3" << true;
    QTest::newRow("symbolic link") << "a.mp3"
                                   << "link.mp3" << true;
    QTest::newRow("hard link") << "a.mp3"
                               << "hard.mp3" << true;
    QTest::newRow("dot-dot") << "a.mp3"
                             << "sub/../a.mp3" << true;
    QTest::newRow("dot") << "a.mp3"
                         << "./sub/./../a.mp3" << true;
    QTest::newRow("different files") << "a.mp3"
                                     << "b.mp3" << false;
    QTest::newRow("one missing") << "a.mp3"
                                 << "gone.mp3" << false;
    QTest::newRow("other case on a case-sensitive disk") << "a.mp3"
                                                         << "A.mp3" << false;
}

void TestFileIo::sameFile()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    Put(path("a.mp3"), Pattern(4));
    Put(path("b.mp3"), Pattern(4));
    QVERIFY(QDir().mkpath(path("sub")));
    QVERIFY(QFile::link(path("a.mp3"), path("link.mp3")));
    QCOMPARE(::link(QFile::encodeName(path("a.mp3")).constData(),
                    QFile::encodeName(path("hard.mp3")).constData()),
             0);

    QCOMPARE(SameFile(path(a), path(b)), same);
    QCOMPARE(SameFile(path(b), path(a)), same);
}

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_fileio.moc"
