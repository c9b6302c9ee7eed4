#include "app/FrmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FrmMain window(Platform::qt());
    window.show();
    return app.exec();
}
