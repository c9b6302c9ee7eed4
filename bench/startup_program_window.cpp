// The program's start for bench_startup and the player's stress run: the same libraries,
// application set-up and main window as velquist-mp3-cutter, opening the file named on the
// command line, if any, and leaving once the first showing has been processed, so that the
// program itself carries no switch for it.
#include "AppInfo.h"
#include "app/FrmMain.h"
#include "platform/Translations.h"
#include "ui/DefaultFont.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(AppInfo::AppId));
    installChineseTranslations(app);
    QApplication::setFont(defaultFont());
    FrmMain window(Platform::qt());
    window.show();
    const QStringList files = QCoreApplication::arguments().mid(1);
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, &files] { window.openFileNamed(files.first()); });
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
