#pragma once

#include <QDialog>

// Stand-in until the About dialog lands.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr) : QDialog(parent) {}
    void showModal(QWidget *) { exec(); }
};
