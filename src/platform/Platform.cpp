#include "platform/Platform.h"

#include "platform/FileDialog.h"
#include "platform/MediaPlayer.h"
#include "platform/MessageBoxes.h"
#include "platform/PictureLoader.h"

Platform::Platform() = default;
Platform::Platform(Platform &&) noexcept = default;
Platform &Platform::operator=(Platform &&) noexcept = default;
Platform::~Platform() = default;
