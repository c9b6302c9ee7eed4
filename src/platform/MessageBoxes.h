#pragma once

#include <QString>

class QWidget;

// Modal message boxes with an OK button only.
class MessageBoxes
{
public:
    enum class Icon { None, Information, Critical };

    virtual ~MessageBoxes() = default;
    virtual void show(QWidget *parent, const QString &text, const QString &title, Icon icon) = 0;
};
