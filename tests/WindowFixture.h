#pragma once

// The main window over test doubles, and the ways tests reach it as a user does: by its
// controls' names and by clicks.

#include "FakePlatform.h"

#include "app/FrmMain.h"
#include "ui/MainWindowSkin.h"
#include "ui/SkinControls.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// The window's controls, found by their names.
inline MainWindowSkin skinOf(const QWidget &window)
{
    const auto find = [&window](auto *&control, const char *name) {
        using Control = std::remove_pointer_t<std::remove_reference_t<decltype(control)>>;
        control = window.findChild<Control *>(QString::fromLatin1(name));
        if (!control)
            qFatal("no control %s", name);
    };
    MainWindowSkin skin;
    find(skin.WindowsMediaPlayer1, "WindowsMediaPlayer1");
    find(skin.Shape1, "Shape1");
    find(skin.Shape2, "Shape2");
    find(skin.ShapXuan, "ShapXuan");
    find(skin.LabTime, "LabTime");
    find(skin.LabFname, "LabFname");
    find(skin.ImgOpenFile, "ImgOpenFile");
    find(skin.ImgKaishi, "ImgKaishi");
    find(skin.ImgJiesu, "ImgJiesu");
    find(skin.ImgMowei, "ImgMowei");
    find(skin.Labdakai, "Labdakai");
    find(skin.Labkaishi, "Labkaishi");
    find(skin.Labjiesu, "Labjiesu");
    find(skin.Labwei, "Labwei");
    find(skin.ImgSave, "ImgSave");
    find(skin.LabBaocun, "LabBaocun");
    find(skin.ImgGuanyu, "ImgGuanyu");
    find(skin.LabGuanyu, "LabGuanyu");
    find(skin.Timer1, "Timer1");
    return skin;
}

// A left click on the control, as the user gives it.
inline void click(QWidget *control)
{
    QTest::mouseClick(control, Qt::LeftButton);
}

// A window over fresh doubles and a fresh folder, made again for every test function.
class WindowFixture
{
protected:
    void makeDoubles()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_fake = new FakePlatform;
    }
    void makeWindow()
    {
        makeDoubles();
        m_window = std::make_unique<FrmMain>(m_fake->take());
    }
    void dropWindow()
    {
        m_window.reset();
        delete m_fake;
        m_fake = nullptr;
        m_dir.reset();
    }
    MainWindowSkin skin() const { return skinOf(*m_window); }
    // Opens `path` through the Open dialog; the player then tells `duration` seconds.
    void openSource(const QString &path, double duration)
    {
        m_fake->open->answers << path;
        m_fake->player->length = duration;
        click(skin().ImgOpenFile);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    FakePlatform *m_fake = nullptr;
    std::unique_ptr<FrmMain> m_window;
};
