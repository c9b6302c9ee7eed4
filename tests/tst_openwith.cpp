#include "WindowFixture.h"

#include "app/FrmMain.h"
#include "ui/FrmAbout.h"
#include "ui/SkinControls.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

// A file that comes from outside the Open dialog: named on the command line or dropped on the
// window. Either runs the Open command's steps; what cannot be opened changes nothing.
class TestOpenWith : public QObject, protected WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void namedFileRunsTheOpenSteps();
    void unreadableNameChangesNothing_data();
    void unreadableNameChangesNothing();
    void dropTakesOneMp3File_data();
    void dropTakesOneMp3File();
    void noDropUnderAModalBox();
    void helpAndVersionNeedNoDisplay_data();
    void helpAndVersionNeedNoDisplay();

private:
    QString makeFile(const QString &name);
    // Drag enter, then drop; true when the window took both as a copy.
    bool drop(QMimeData *data, Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction);
};

void TestOpenWith::init()
{
    makeWindow();
}

void TestOpenWith::cleanup()
{
    dropWindow();
}

QString TestOpenWith::makeFile(const QString &name)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(30000, 'x')) != 30000)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

bool TestOpenWith::drop(QMimeData *data, Qt::DropActions offered)
{
    const QPoint at(200, 100);
    QDragEnterEvent enter(at, offered, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window.get(), &enter);
    QDropEvent dropped(at, offered, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window.get(), &dropped);
    QApplication::processEvents();
    delete data;
    return dropped.isAccepted() && dropped.dropAction() == Qt::CopyAction;
}

void TestOpenWith::namedFileRunsTheOpenSteps()
{
    // A range marked on another file first, so the clearing shows.
    openSource(makeFile(QStringLiteral("first.mp3")), 180);
    m_fake->player->position = 45;
    click(skin().ImgKaishi);
    QVERIFY(!skin().ShapXuan->isHidden());
    m_fake->player->calls.clear();

    // A name relative to where the program was started becomes the full path.
    const QString second = makeFile(QStringLiteral("second.mp3"));
    const QString before = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    m_window->openFileNamed(QStringLiteral("second.mp3"));
    QDir::setCurrent(before);

    QCOMPARE(m_fake->player->calls, QStringList({"stop", "close", "URL"}));
    QCOMPARE(m_fake->player->url, second);
    QCOMPARE(skin().LabFname->Caption(), QStringLiteral("正在播放：") + second);
    QVERIFY(skin().Timer1->isActive());
    QVERIFY(skin().ShapXuan->isHidden());
    QCOMPARE(skin().ShapXuan->Width(), 1.0f);
    QCOMPARE(m_fake->open->shown, 1);
    QVERIFY(m_fake->messages->shown.empty());
}

void TestOpenWith::unreadableNameChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "gone.mp3"
                             << "找不到文件";
    QTest::newRow("a folder") << "folder.mp3"
                              << "不是文件";
}

void TestOpenWith::unreadableNameChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.mp3")));
    const QString path = m_dir->filePath(name);
    m_window->openFileNamed(path);

    QCOMPARE(m_fake->messages->shown.size(), size_t(1));
    const auto &box = m_fake->messages->shown.front();
    QVERIFY2(box.text.contains(message) && box.text.contains(path), qPrintable(box.text));
    QCOMPARE(box.title, QStringLiteral("错误"));
    QCOMPARE(box.icon, MessageBoxes::Icon::Critical);
    // The empty window stays empty: nothing stopped, opened or started.
    QVERIFY(m_fake->player->calls.isEmpty());
    QCOMPARE(skin().LabFname->Caption(), QStringLiteral("没有播放文件"));
    QVERIFY(!skin().Timer1->isActive());
}

void TestOpenWith::dropTakesOneMp3File_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("offered");
    QTest::addColumn<bool>("taken");
    const int copyOrMove = Qt::CopyAction | Qt::MoveAction;
    QTest::newRow("one .mp3") << QStringList{"a.mp3"} << "" << copyOrMove << true;
    QTest::newRow("any letter case") << QStringList{"B.Mp3"} << "" << copyOrMove << true;
    QTest::newRow("two files") << QStringList{"a.mp3", "B.Mp3"} << "" << copyOrMove << false;
    QTest::newRow("another type") << QStringList{"c.wav"} << "" << copyOrMove << false;
    QTest::newRow("text") << QStringList{} << "a.mp3" << copyOrMove << false;
    // Taking a move would let the file manager delete the user's file.
    QTest::newRow("move only") << QStringList{"a.mp3"} << "" << int(Qt::MoveAction) << false;
}

void TestOpenWith::dropTakesOneMp3File()
{
    QFETCH(QStringList, files);
    QFETCH(QString, text);
    QFETCH(int, offered);
    QFETCH(bool, taken);
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &file : files)
        urls << QUrl::fromLocalFile(makeFile(file));
    if (!urls.isEmpty())
        data->setUrls(urls);
    if (!text.isEmpty())
        data->setText(text);

    QCOMPARE(drop(data, Qt::DropActions(offered)), taken);
    if (taken) {
        QTRY_COMPARE(m_fake->player->calls, QStringList({"stop", "close", "URL"}));
        QCOMPARE(m_fake->player->url, urls.first().toLocalFile());
        QCOMPARE(skin().LabFname->Caption(),
                 QStringLiteral("正在播放：") + urls.first().toLocalFile());
    } else {
        QTest::qWait(20);
        QVERIFY(m_fake->player->calls.isEmpty());
        QCOMPARE(skin().LabFname->Caption(), QStringLiteral("没有播放文件"));
    }
}

void TestOpenWith::noDropUnderAModalBox()
{
    const QString path = makeFile(QStringLiteral("a.mp3"));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    bool refused = false;
    QTimer::singleShot(50, this, [&] {
        auto *about = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
        QVERIFY(about);
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(path)});
        refused = !drop(data);
        about->close();
    });
    click(skin().ImgGuanyu);
    QVERIFY(refused);
    QTest::qWait(20);
    QVERIFY(m_fake->player->calls.isEmpty());
}

void TestOpenWith::helpAndVersionNeedNoDisplay_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("expected");
    QTest::newRow("--version") << "--version"
                               << "Velquistmp3剪切器 1.2.2\n";
    QTest::newRow("--help") << "--help"
                            << "[文件]";
}

void TestOpenWith::helpAndVersionNeedNoDisplay()
{
    QFETCH(QString, option);
    QFETCH(QString, expected);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A platform that cannot start here: the text must come before any window is made.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VELQUIST_BIN_DIR "/velquist-mp3-cutter"), {option});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    QVERIFY2(option == QLatin1String("--help") ? out.contains(expected) : out == expected,
             qPrintable(out));
}

QTEST_MAIN(TestOpenWith)
#include "tst_openwith.moc"
