#pragma once

#include <QString>

#include <memory>

class MediaPlayer;
class FileDialog;
class MessageBoxes;
class PictureLoader;

// The services the main window takes from the platform. Tests hand in doubles.
struct Platform
{
    MediaPlayer *player = nullptr; // a widget; the window adopts it as a child
    std::unique_ptr<FileDialog> openDialog;
    std::unique_ptr<FileDialog> saveDialog;
    std::unique_ptr<MessageBoxes> messages;
    std::unique_ptr<PictureLoader> pictures;
    QString programFolder; // where the button face files lie

    Platform();
    Platform(Platform &&) noexcept;
    Platform &operator=(Platform &&) noexcept;
    ~Platform();

    // The real services over Qt.
    static Platform qt();
};
