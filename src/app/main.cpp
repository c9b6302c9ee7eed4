#include "app/FrmMain.h"
#include "platform/Translations.h"
#include "ui/DefaultFont.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installChineseTranslations(app);
    QApplication::setFont(defaultFont());
    FrmMain window(Platform::qt());
    window.show();
    return app.exec();
}
