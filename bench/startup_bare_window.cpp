// The yardstick for bench_startup: the least a Qt Widgets program does to show a window.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(640, 400);
    window.show();
    // Leaves the same way the program does under VELQUIST_EXIT_WHEN_SHOWN.
    if (qEnvironmentVariableIntValue("VELQUIST_EXIT_WHEN_SHOWN") == 1)
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
