#include "AppInfo.h"
#include "app/FrmMain.h"
#include "platform/Translations.h"
#include "ui/DefaultFont.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(AppInfo::VersionString));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(AppInfo::AppId));
    installChineseTranslations(app);
    QApplication::setFont(defaultFont());
    FrmMain window(Platform::qt());
    window.show();
    // For the start-up benchmark: leave once the first showing has been processed.
    if (qEnvironmentVariableIntValue("VELQUIST_EXIT_WHEN_SHOWN") == 1)
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
