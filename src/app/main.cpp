#include "AppInfo.h"
#include "app/FrmMain.h"
#include "platform/Translations.h"
#include "ui/DefaultFont.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// --help and --version answer on the terminal, also where no display is at hand.
bool asksOnlyForText(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--")
            break;
        for (const char *option : {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (argument == option)
                return true;
        }
    }
    return false;
}

// Handles --help and --version itself (printing and leaving); what remains is the file to open.
QStringList filesNamed(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("从 MP3 文件中截取一段，另存为新文件，不重新编码。"));
    parser.addHelpOption();
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                           QStringLiteral("显示版本信息。"));
    parser.addOption(versionOption);
    parser.addPositionalArgument(QStringLiteral("文件"),
                                 QStringLiteral("启动后打开并播放的 mp3 文件。"),
                                 QStringLiteral("[文件]"));
    parser.process(app);
    if (parser.isSet(versionOption)) {
        // The version as the window's title gives it.
        const QString version = QString::fromUtf8(AppInfo::Title) + QLatin1Char(' ') +
                                QString::fromLatin1(AppInfo::Version) + QLatin1Char('\n');
        std::fputs(version.toLocal8Bit().constData(), stdout);
        std::exit(EXIT_SUCCESS);
    }
    return parser.positionalArguments();
}

} // namespace

int main(int argc, char *argv[])
{
    if (asksOnlyForText(argc, argv)) {
        QCoreApplication app(argc, argv);
        installChineseTranslations(app);
        filesNamed(app);
        return EXIT_SUCCESS;
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(AppInfo::VersionString));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(AppInfo::AppId));
    installChineseTranslations(app);
    const QStringList files = filesNamed(app);

    QApplication::setFont(defaultFont());
    FrmMain window(Platform::qt());
    window.show();
    // Opened once the window is up, so a name that cannot be opened is reported over it.
    if (!files.isEmpty())
        QTimer::singleShot(0, &window,
                           [&window, file = files.first()] { window.openFileNamed(file); });
    return app.exec();
}
