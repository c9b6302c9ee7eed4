#pragma once

class MediaPlayer;
class QTimer;
class QWidget;
class ShapeRect;
class SkinImage;
class SkinLabel;

// The main window's controls as designed, created over the window's background picture.
struct MainWindowSkin
{
    static constexpr float ClientWidth = 6195;  // twips
    static constexpr float ClientHeight = 2685; // twips

    // Creates every control with its design-time position, content and look, bottom of the
    // stacking order first, and adopts the player as the bottom-most control.
    void build(QWidget *window, MediaPlayer *player);

    MediaPlayer *WindowsMediaPlayer1 = nullptr;
    ShapeRect *Shape1 = nullptr;
    ShapeRect *Shape2 = nullptr;
    ShapeRect *ShapXuan = nullptr;
    SkinLabel *LabTime = nullptr;
    SkinLabel *LabFname = nullptr;
    SkinImage *ImgOpenFile = nullptr;
    SkinImage *ImgKaishi = nullptr;
    SkinImage *ImgJiesu = nullptr;
    SkinImage *ImgMowei = nullptr;
    SkinLabel *Labdakai = nullptr;
    SkinLabel *Labkaishi = nullptr;
    SkinLabel *Labjiesu = nullptr;
    SkinLabel *Labwei = nullptr;
    SkinImage *ImgSave = nullptr;
    SkinLabel *LabBaocun = nullptr;
    SkinImage *ImgGuanyu = nullptr;
    SkinLabel *LabGuanyu = nullptr;
    QTimer *Timer1 = nullptr;
};
