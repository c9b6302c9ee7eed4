#include "app/FrmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FrmMain window;
    window.show();
    return app.exec();
}
