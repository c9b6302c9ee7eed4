#include "FakePlatform.h"

#include "app/FrmMain.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

#include <cstdlib>
#include <vector>

// The size cap against a real window manager (openbox on its own X server), with the resize
// coming from outside the program as a user's drag or a tool's request does.
class TestWindowManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void externalResizeIsCapped_data();
    void externalResizeIsCapped();
    void maximizeFromOutsideIsUndone();

private:
    static bool run(const QString &program, const QStringList &arguments);
    QProcess m_windowManager;
};

bool TestWindowManager::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

void TestWindowManager::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs xvfb-run (package xvfb)");
    for (const char *tool : {"openbox", "xdotool", "wmctrl"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("needs %1 (scripts/setup.sh installs it)")
                                 .arg(QString::fromLatin1(tool))));
    }
    m_windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    QVERIFY(m_windowManager.waitForStarted());
    // wmctrl -m answers once a window manager has taken the screen.
    QTRY_VERIFY_WITH_TIMEOUT(run(QStringLiteral("wmctrl"), {QStringLiteral("-m")}), 10000);
}

void TestWindowManager::cleanupTestCase()
{
    m_windowManager.terminate();
    m_windowManager.waitForFinished(5000);
}

void TestWindowManager::externalResizeIsCapped_data()
{
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("too wide: both sides snap") << QSize(467, 100) << QSize(413, 179);
    QTest::newRow("too tall: both sides snap") << QSize(200, 300) << QSize(413, 179);
    QTest::newRow("smaller stays") << QSize(200, 100) << QSize(200, 100);
}

void TestWindowManager::externalResizeIsCapped()
{
    QFETCH(QSize, requested);
    QFETCH(QSize, expected);
    FakePlatform fake;
    FrmMain window(fake.take());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // From a small size, so a manager clamping one side shows itself.
    QVERIFY(run(QStringLiteral("xdotool"),
                {QStringLiteral("windowsize"), QString::number(window.winId()), "200", "100"}));
    QTRY_COMPARE(window.size(), QSize(200, 100));
    QVERIFY(run(QStringLiteral("xdotool"),
                {QStringLiteral("windowsize"), QString::number(window.winId()),
                 QString::number(requested.width()), QString::number(requested.height())}));
    QTRY_COMPARE(window.size(), expected);
    QTest::qWait(300);
    QCOMPARE(window.size(), expected);
}

void TestWindowManager::maximizeFromOutsideIsUndone()
{
    FakePlatform fake;
    FrmMain window(fake.take());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect before = window.geometry();
    QVERIFY(run(QStringLiteral("wmctrl"),
                {QStringLiteral("-i"), QStringLiteral("-r"), QString::number(window.winId()),
                 QStringLiteral("-b"), QStringLiteral("add,maximized_vert,maximized_horz")}));
    QTest::qWait(500);
    QTRY_COMPARE(window.windowState(), Qt::WindowNoState);
    QTRY_COMPARE(window.geometry(), before);
}

int main(int argc, char *argv[])
{
    // Runs itself again on a private X server of its own, so the window manager started here
    // touches nothing else on the machine.
    if (!qEnvironmentVariableIsSet("VELQUIST_OWN_X_SERVER") &&
        !QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty()) {
        setenv("VELQUIST_OWN_X_SERVER", "1", 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        std::vector<char *> command = {const_cast<char *>("xvfb-run"), const_cast<char *>("-a"),
                                       const_cast<char *>("-s"),
                                       const_cast<char *>("-screen 0 1024x768x24")};
        for (int i = 0; i < argc; ++i)
            command.push_back(argv[i]);
        command.push_back(nullptr);
        execvp(command[0], command.data());
    }
    QApplication app(argc, argv);
    TestWindowManager test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowmanager.moc"
