#pragma once

class MediaPlayer;
class QTimer;
class QWidget;
class ShapeRect;
class SkinImage;
class SkinLabel;

// The main window's controls as designed, created over the window's background picture.
//
// Key to the design's names: a kind prefix (Img picture button, Lab label, Shap rectangle, Cm
// file dialog) and the pinyin of a key word of the caption or role.
//   ImgOpenFile, Labdakai (dakai, open)     "打开mp3"     open a file; it starts playing
//   ImgKaishi, Labkaishi (kaishi, start)    "定位开始"    mark the start at the playing position
//   ImgJiesu, Labjiesu (jieshu, end)        "定位结束"    mark the end at the playing position
//   ImgMowei, Labwei (mowei, tail end)      "至文件尾"    mark the end at the end of the file
//   ImgSave, LabBaocun (baocun, save)       "保存新文件"  save the marked bytes as a new file
//   ImgGuanyu, LabGuanyu (guanyu, about)    "关于……"      open the About box
//   ShapXuan (xuan, choose)                 the selection, drawn over the track bar Shape2
//   LabFname, LabTime                       play state and file name; position and length
//   CmDialog, CmDialgS (S: save)            FrmMain's Open and Save dialogs
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
