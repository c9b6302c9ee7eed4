#include "app/FrmMain.h"

FrmMain::FrmMain(QWidget *parent) : QWidget(parent) {}
