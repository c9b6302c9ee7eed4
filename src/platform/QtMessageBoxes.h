#pragma once

#include "platform/MessageBoxes.h"

// Message boxes over QMessageBox.
class QtMessageBoxes : public MessageBoxes
{
public:
    // objectName of every box shown, so that tests can find it.
    static constexpr const char *ObjectName = "velquistMessageBox";

    void show(QWidget *parent, const QString &text, const QString &title, Icon icon) override;
    bool ask(QWidget *parent, const QString &text, const QString &title) override;
};
