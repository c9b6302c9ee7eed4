// The yardsticks for bench_startup: the least a Qt Widgets program does to show a window, and
// (built with VELQUIST_WITH_TEXT) the same window showing one line of text, which is what costs
// the font database's start.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(640, 400);
#ifdef VELQUIST_WITH_TEXT
    auto *label = new QLabel(QStringLiteral("没有播放文件"), &window);
    label->adjustSize();
#endif
    window.show();
    // Leaves once the first showing has been processed, as the program's start does here.
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
