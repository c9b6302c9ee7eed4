#pragma once

#include "mp3/Mp3Analysis.h"

#include <QString>

#include <atomic>
#include <stdexcept>

// The analysis was given up because another file was opened; its result is of no use.
class AnalysisCancelled : public std::runtime_error
{
public:
    AnalysisCancelled() : std::runtime_error("analysis cancelled") {}
};

// Reads the file once from beginning to end in large blocks and maps its audio frames: the tags
// before and after them, each frame's offset, the Xing/Info/VBRI frame at the head, and whether
// bytes are in proportion to playing time. A file without a run of valid frames (not an MP3,
// empty) comes back linear with no frames. Throws FileIoError when the file cannot be read and
// AnalysisCancelled once `cancel` is set.
Mp3Analysis analyseMp3(const QString &path, const std::atomic_bool *cancel = nullptr);
