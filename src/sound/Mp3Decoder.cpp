#include "sound/Mp3Decoder.h"

#include "mp3/Mp3Analysis.h"

#include <QFile>

#include <mpg123.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Enough frames to fill the bit reservoir again after a seek, so that decoding from there gives
// the very samples a decode from the beginning gives (4, the default, often does not).
constexpr long PreFrames = 10;
// The index handed to libmpg123 holds at most this many offsets; a long file gets every n-th.
constexpr qint64 MaxIndexEntries = 1 << 16;

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

QString notPlayable(const QString &path)
{
    return QStringLiteral("“%1”不是可以播放的 MP3 文件。").arg(path);
}

} // namespace

Mp3Decoder::Mp3Decoder(const QString &path, int sampleRate)
{
    initialiseOnce();
    int error = MPG123_OK;
    m_handle = mpg123_new(nullptr, &error);
    if (!m_handle)
        throw DecodeError(QStringLiteral("无法启动 MP3 解码器：%1")
                              .arg(QString::fromUtf8(mpg123_plain_strerror(error)))
                              .toStdString());
    // Gapless decoding is libmpg123's default, so the LAME tag's delay and padding are trimmed.
    mpg123_param(m_handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO, 0);
    mpg123_param(m_handle, MPG123_PREFRAMES, PreFrames, 0);
    if (sampleRate > 0) {
        // Fixed, so that a stray frame of another rate cannot change the output's format.
        mpg123_format_none(m_handle);
        mpg123_format(m_handle, sampleRate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    const QByteArray name = QFile::encodeName(path);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_open(m_handle, name.constData()) != MPG123_OK ||
        mpg123_getformat(m_handle, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        encoding != MPG123_ENC_SIGNED_16) {
        mpg123_delete(m_handle);
        throw DecodeError(notPlayable(path).toStdString());
    }
    m_facts.sampleRate = static_cast<int>(rate);
    m_facts.estimatedLength = std::max<qint64>(0, mpg123_length(m_handle));
    m_facts.samplesPerFrame = std::max(0, mpg123_spf(m_handle));
    long delay = -1;
    long padding = -1;
    double unused = 0;
    mpg123_getstate(m_handle, MPG123_ENC_DELAY, &delay, &unused);
    mpg123_getstate(m_handle, MPG123_ENC_PADDING, &padding, &unused);
    if (delay >= 0 && padding >= 0)
        m_facts.trimmed = delay + padding;
}

Mp3Decoder::~Mp3Decoder()
{
    mpg123_delete(m_handle);
}

void Mp3Decoder::useFrameMap(const Mp3Analysis &frames)
{
    const qint64 count = frames.frameCount();
    if (count == 0)
        return;
    const qint64 step = (count + MaxIndexEntries - 1) / MaxIndexEntries;
    std::vector<off_t> offsets;
    offsets.reserve(static_cast<size_t>((count + step - 1) / step));
    for (qint64 i = 0; i < count; i += step)
        offsets.push_back(static_cast<off_t>(frames.frameOffset(i)));
    // libmpg123 copies the offsets.
    mpg123_set_index(m_handle, offsets.data(), static_cast<off_t>(step), offsets.size());
}

bool Mp3Decoder::seek(qint64 frame)
{
    return mpg123_seek(m_handle, static_cast<off_t>(frame), SEEK_SET) >= 0;
}

qint64 Mp3Decoder::read(char *out, qint64 maxFrames)
{
    size_t done = 0;
    int result = MPG123_NEW_FORMAT;
    // The first read only announces the format, with no samples.
    for (int tries = 0; result == MPG123_NEW_FORMAT && done == 0 && tries < 3; ++tries)
        result = mpg123_read(m_handle, reinterpret_cast<unsigned char *>(out),
                             static_cast<size_t>(maxFrames) * Channels * 2, &done);
    if (result != MPG123_OK && result != MPG123_NEW_FORMAT && result != MPG123_DONE)
        return 0; // a broken stream ends where it breaks
    return static_cast<qint64>(done / (Channels * 2));
}

qint64 Mp3Decoder::exactLength(const StreamFacts &facts, const Mp3Analysis &frames)
{
    return std::max<qint64>(0, frames.frameCount() * facts.samplesPerFrame - facts.trimmed);
}
