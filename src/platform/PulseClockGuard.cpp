// Mends a fault in libpulse 16 (Debian 12's PulseAudio client library), which GStreamer's
// PulseAudio output plays through.
//
// When a stream that has played is uncorked (after a seek or a resume), libpulse resumes the
// stream's clock smoother at a moment slightly in the future. Asked for the stream's time before
// that moment, the smoother subtracts in unsigned arithmetic and answers thousands of hours ahead;
// libpulse then holds the stream's time there for good, as it never lets it run back. GStreamer's
// audio sink asks within a tenth of a millisecond of the uncork, and often loses that race: it
// places the rest of the sound thousands of hours ahead, PulseAudio drops it, and the user hears
// silence while the position runs on (or stands still). Newer PulseAudio checks for it.
//
// This file defines two libpulse functions in the program itself, which the dynamic linker then
// prefers to the library's (the program exports them, see src/platform/CMakeLists.txt). They
// hand on to libpulse's own and change one thing each: playback streams are connected without
// libpulse's hold on the time, so a far-future answer does not stay, and the time handed back
// holds instead at the last plausible answer, never running back, as libpulse's own hold would.

#include <dlfcn.h>

#include <cstdint>
#include <ctime>
#include <mutex>
#include <unordered_map>

extern "C" {
struct pa_stream;
using pa_usec_t = std::uint64_t;

// The declarations of <pulse/stream.h>, with the structures the program does not look into left
// opaque; the flags are an enumeration the size of an int.
int pa_stream_connect_playback(pa_stream *s, const char *dev, const void *attr, unsigned flags,
                               const void *volume, pa_stream *sync_stream);
int pa_stream_get_time(pa_stream *s, pa_usec_t *r_usec);
}

namespace {

constexpr unsigned NotMonotonic = 0x0004U; // PA_STREAM_NOT_MONOTONIC
// Far beyond anything real (a flush moves a stream's time on by its buffer, a second or two), far
// short of the fault's thousands of hours.
constexpr pa_usec_t ImplausibleLead = 600ULL * 1000 * 1000; // 10 minutes

using ConnectPlayback = int (*)(pa_stream *, const char *, const void *, unsigned, const void *,
                                pa_stream *);
using GetTime = int (*)(pa_stream *, pa_usec_t *);

template <typename Function> Function libpulse(const char *name)
{
    // Whoever calls these has libpulse loaded already (GStreamer's plug-in links it, the program
    // does not), so it is only looked up, never loaded here.
    void *library = dlopen("libpulse.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (!library)
        return nullptr;
    void *symbol = dlsym(library, name);
    dlclose(library);
    return reinterpret_cast<Function>(symbol);
}

pa_usec_t wallNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<pa_usec_t>(now.tv_sec) * 1000000 +
           static_cast<pa_usec_t>(now.tv_nsec) / 1000;
}

struct Answer
{
    pa_usec_t time; // µs of the stream's time
    pa_usec_t wall; // when it was given
};

std::mutex answersLock;
std::unordered_map<const pa_stream *, Answer> answers;

} // namespace

extern "C" int pa_stream_connect_playback(pa_stream *s, const char *dev, const void *attr,
                                          unsigned flags, const void *volume,
                                          pa_stream *sync_stream)
{
    static const auto realConnect = libpulse<ConnectPlayback>("pa_stream_connect_playback");
    if (!realConnect)
        return -1;
    {
        const std::lock_guard<std::mutex> lock(answersLock);
        answers.erase(s); // a new stream may have an old one's address
    }
    return realConnect(s, dev, attr, flags | NotMonotonic, volume, sync_stream);
}

extern "C" int pa_stream_get_time(pa_stream *s, pa_usec_t *r_usec)
{
    static const auto realGetTime = libpulse<GetTime>("pa_stream_get_time");
    if (!realGetTime)
        return -1;
    pa_usec_t time = 0;
    const int result = realGetTime(s, &time);
    if (result < 0)
        return result;
    const pa_usec_t wall = wallNow();
    {
        const std::lock_guard<std::mutex> lock(answersLock);
        const auto [at, first] = answers.try_emplace(s, Answer{time, wall});
        Answer &last = at->second;
        if (!first) {
            if (time < last.time || time > last.time + (wall - last.wall) + ImplausibleLead)
                time = last.time;
            last = {time, wall};
        }
    }
    if (r_usec)
        *r_usec = time;
    return result;
}
