#include "ui/MainWindowSkin.h"

#include "platform/MediaPlayer.h"
#include "ui/SkinControls.h"
#include "ui/SkinPicture.h"
#include "ui/Twips.h"

#include <QCursor>
#include <QPixmap>
#include <QTimer>

namespace {

QCursor handPointer()
{
    // The fingertip is the hot spot. The window system takes it in the picture's own pixels, so
    // it moves with the picture drawn at twice the size.
    const QPixmap hand = skinPicture(QStringLiteral(":/hand.png"));
    const qreal ratio = hand.devicePixelRatio();
    return QCursor(hand, qRound(6 * ratio), qRound(0 * ratio));
}

SkinImage *makeButtonImage(QWidget *window, const char *name, float left, float top,
                           const QPixmap &face, const QCursor &pointer)
{
    auto *image = new SkinImage(window);
    image->setObjectName(QString::fromLatin1(name));
    image->setPicture(face);
    image->setLeft(left);
    image->setTop(top);
    image->setCursor(pointer);
    return image;
}

SkinLabel *makeLabel(QWidget *window, const char *name, float left, float top,
                     const QString &caption)
{
    auto *label = new SkinLabel(window);
    label->setObjectName(QString::fromLatin1(name));
    label->setLeft(left);
    label->setTop(top);
    label->setCaption(caption);
    // The skin's light picture needs the design's dark text; a dark desktop theme's light text
    // would vanish on it.
    label->setForeColor(Qt::black);
    return label;
}

SkinLabel *makeButtonCaption(QWidget *window, const char *name, float left, float top,
                             const QString &caption, const QCursor &pointer)
{
    SkinLabel *label = makeLabel(window, name, left, top, caption);
    label->setCursor(pointer);
    return label;
}

ShapeRect *makeShape(QWidget *window, const char *name, const QColor &fill, float left, float top,
                     float width, float height)
{
    auto *shape = new ShapeRect(fill, window);
    shape->setObjectName(QString::fromLatin1(name));
    shape->setTwipsGeometry(left, top, width, height);
    return shape;
}

} // namespace

void MainWindowSkin::build(QWidget *window, MediaPlayer *player)
{
    // The face stored with the layout; the face files beside the program replace it on use.
    const QPixmap face = skinPicture(QStringLiteral(":/face.gif"));
    const QCursor hand = handPointer();

    // Qt stacks later siblings over earlier ones, so the bottom of the design comes first.
    WindowsMediaPlayer1 = player;
    player->setParent(window);
    player->setObjectName(QStringLiteral("WindowsMediaPlayer1"));
    player->setGeometry(Twips::toPixelRect(240, 360, 5775, 735));

    Shape1 = makeShape(window, "Shape1", QColor(0, 0, 255), 240, 1080, 5775, 255);
    Shape2 = makeShape(window, "Shape2", QColor(0, 255, 255), 720, 1080, 4935, 255);
    ShapXuan = makeShape(window, "ShapXuan", QColor(255, 192, 128), 720, 1080, 50, 255);

    LabTime = makeLabel(window, "LabTime", 3600, 720, QStringLiteral("Label2"));
    LabTime->setForeColor(QColor(0, 192, 0));
    LabFname = makeLabel(window, "LabFname", 10, 120, QStringLiteral("没有播放文件"));

    ImgOpenFile = makeButtonImage(window, "ImgOpenFile", 383, 1433, face, hand);
    ImgKaishi = makeButtonImage(window, "ImgKaishi", 1775, 1433, face, hand);
    ImgJiesu = makeButtonImage(window, "ImgJiesu", 3167, 1433, face, hand);
    ImgMowei = makeButtonImage(window, "ImgMowei", 4560, 1433, face, hand);
    Labdakai = makeButtonCaption(window, "Labdakai", 720, 1560, QStringLiteral("打开mp3"), hand);
    Labkaishi =
        makeButtonCaption(window, "Labkaishi", 2067, 1560, QStringLiteral("定位开始"), hand);
    Labjiesu = makeButtonCaption(window, "Labjiesu", 3459, 1560, QStringLiteral("定位结束"), hand);
    Labwei = makeButtonCaption(window, "Labwei", 4852, 1560, QStringLiteral("至文件尾"), hand);

    ImgSave = makeButtonImage(window, "ImgSave", 1440, 2040, face, hand);
    LabBaocun =
        makeButtonCaption(window, "LabBaocun", 1635, 2160, QStringLiteral("保存新文件"), hand);
    ImgGuanyu = makeButtonImage(window, "ImgGuanyu", 3600, 2040, face, hand);
    LabGuanyu = makeButtonCaption(window, "LabGuanyu", 3840, 2160, QStringLiteral("关于……"), hand);

    Timer1 = new QTimer(window);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
}
