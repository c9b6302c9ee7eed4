#pragma once

#include <QString>

class QWidget;

// Modal message boxes: notices with an OK button, and yes/no questions.
class MessageBoxes
{
public:
    enum class Icon { None, Information, Critical };

    virtual ~MessageBoxes() = default;
    virtual void show(QWidget *parent, const QString &text, const QString &title, Icon icon) = 0;
    // True for "是"; "否", Esc and closing the box answer no.
    virtual bool ask(QWidget *parent, const QString &text, const QString &title) = 0;
};
