#include "platform/QtMessageBoxes.h"

#include <QMessageBox>

namespace {

QMessageBox::Icon toQt(MessageBoxes::Icon icon)
{
    switch (icon) {
    case MessageBoxes::Icon::Information:
        return QMessageBox::Information;
    case MessageBoxes::Icon::Critical:
        return QMessageBox::Critical;
    case MessageBoxes::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void QtMessageBoxes::show(QWidget *parent, const QString &text, const QString &title, Icon icon)
{
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, parent);
    box.setObjectName(QString::fromLatin1(ObjectName));
    // Paths may hold '<' or '&'; the text is shown exactly as given.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}
