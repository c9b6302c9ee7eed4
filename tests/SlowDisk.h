#pragma once

// A slow disk, for the tests that ask for one (include in one file of a test executable only):
// the copy's wait for a slice to reach the disk takes as long as it would at `bytesPerSecond`,
// and the next flush `flushMs`, on whatever thread it runs. Everything else is the real disk.
// The two calls are replaced for the whole test executable; Qt's own flush comes here too.

#include <QtGlobal>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace slowdisk {

inline std::atomic<qint64> bytesPerSecond{0};
inline std::atomic<int> flushMs{0};

template <typename Function> Function real(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace slowdisk

struct SlowDisk
{
    SlowDisk(qint64 bytesPerSecond, int flushMs)
    {
        slowdisk::bytesPerSecond = bytesPerSecond;
        slowdisk::flushMs = flushMs;
    }
    ~SlowDisk()
    {
        slowdisk::bytesPerSecond = 0;
        slowdisk::flushMs = 0;
    }
    SlowDisk(const SlowDisk &) = delete;
    SlowDisk &operator=(const SlowDisk &) = delete;
};

extern "C" int sync_file_range(int fd, off64_t offset, off64_t count, unsigned int flags)
{
    using Call = int (*)(int, off64_t, off64_t, unsigned int);
    static const auto call = slowdisk::real<Call>("sync_file_range");
    const qint64 rate = slowdisk::bytesPerSecond;
    if (rate > 0 && (flags & SYNC_FILE_RANGE_WAIT_AFTER))
        std::this_thread::sleep_for(std::chrono::microseconds(count * 1'000'000 / rate));
    return call(fd, offset, count, flags);
}

extern "C" int fdatasync(int fd)
{
    static const auto call = slowdisk::real<int (*)(int)>("fdatasync");
    std::this_thread::sleep_for(std::chrono::milliseconds(slowdisk::flushMs.exchange(0)));
    return call(fd);
}
