#pragma once

#include <QPixmap>
#include <QString>

// A picture compiled into the program, for the screens at hand; null when it is missing. On a
// screen scaled above 100 % its twin drawn at twice the size ("@2x") stands in, with the same
// logical size.
QPixmap skinPicture(const QString &resourcePath);
