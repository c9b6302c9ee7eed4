#include "platform/Platform.h"

#include "platform/FileDialog.h"
#include "platform/MediaPlayer.h"
#include "platform/MessageBoxes.h"
#include "platform/PictureLoader.h"
#include "platform/QtFileDialog.h"
#include "platform/QtMediaPlayer.h"
#include "platform/QtMessageBoxes.h"
#include "platform/QtPictureLoader.h"

#include <QCoreApplication>

Platform::Platform() = default;
Platform::Platform(Platform &&) noexcept = default;
Platform &Platform::operator=(Platform &&) noexcept = default;
Platform::~Platform() = default;

Platform Platform::qt()
{
    Platform platform;
    platform.player = new QtMediaPlayer;
    platform.openDialog = std::make_unique<QtFileDialog>();
    platform.saveDialog = std::make_unique<QtFileDialog>();
    platform.messages = std::make_unique<QtMessageBoxes>();
    platform.pictures = std::make_unique<QtPictureLoader>();
    platform.programFolder = QCoreApplication::applicationDirPath();
    return platform;
}
