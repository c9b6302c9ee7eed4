#include "mp3/Mp3Tags.h"

#include "mp3/Mp3Analysis.h"
#include "mp3/Mp3Bytes.h"

#include <optional>
#include <vector>

namespace {

constexpr int kHeaderSize = 10;
constexpr int kFooterSize = 10;
constexpr int kId3v1Size = 128;
// A tag larger than this (a cover is rarely above a few MB) stays behind rather than be held in
// memory for the save.
constexpr qint64 kMaxTagBytes = 16 * 1024 * 1024;

uchar byteAt(const QByteArray &bytes, qsizetype at)
{
    return uchar(bytes[at]);
}

const uchar *bytesAt(const QByteArray &bytes, qsizetype at)
{
    return reinterpret_cast<const uchar *>(bytes.constData() + at);
}

qint64 syncSafe(const QByteArray &bytes, qsizetype at)
{
    return mp3::syncSafe(bytesAt(bytes, at));
}

void putSyncSafe(QByteArray &bytes, qsizetype at, qint64 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (21 - 7 * i)) & 0x7f);
}

// Undoes the unsynchronisation of versions 2.2 and 2.3, which covers the whole tag after its
// header: every 0xFF 0x00 was 0xFF.
QByteArray resynchronised(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        if (byteAt(bytes, i) == 0xff && i + 1 < bytes.size() && bytes[i + 1] == 0)
            ++i;
    }
    return out;
}

struct Frame
{
    qsizetype at = 0;
    qsizetype size = 0; // header included
    bool length = false;
};

// A tag read down to its frames; `body` is what follows the header, unsynchronisation undone
// where it covers the whole tag.
struct ParsedTag
{
    int major = 0;
    uchar revision = 0;
    uchar flags = 0;
    QByteArray body;
    qsizetype extendedSize = 0;
    bool extendedHasCrc = false;
    std::vector<Frame> frames;
    qsizetype padding = 0;
};

bool isIdChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Walks the frames from `tag.extendedSize`; false where one does not fit or the padding after the
// last one is not zeros. Version 2.4 sizes are sync-safe, unless `plainSizes` (some writers put
// plain ones there).
bool readFrames(ParsedTag &tag, bool plainSizes)
{
    const QByteArray &body = tag.body;
    const int idSize = tag.major == 2 ? 3 : 4;
    const int headerSize = tag.major == 2 ? 6 : 10;
    const QByteArray lengthId = tag.major == 2 ? "TLE" : "TLEN";
    tag.frames.clear();
    qsizetype pos = tag.extendedSize;
    while (pos + headerSize <= body.size() && body[pos] != 0) {
        for (int i = 0; i < idSize; ++i)
            if (!isIdChar(body[pos + i]))
                return false;
        qint64 size = 0;
        if (tag.major == 2)
            size = (qint64(byteAt(body, pos + 3)) << 16) | (byteAt(body, pos + 4) << 8) |
                   byteAt(body, pos + 5);
        else if (tag.major == 3 || plainSizes)
            size = mp3::getBE32(body, pos + 4);
        else
            size = syncSafe(body, pos + 4);
        if (size < 0 || size > body.size() - pos - headerSize)
            return false;
        tag.frames.push_back(
            {pos, qsizetype(headerSize + size), body.mid(pos, idSize) == lengthId});
        pos += headerSize + size;
    }
    for (qsizetype i = pos; i < body.size(); ++i)
        if (body[i] != 0)
            return false;
    tag.padding = body.size() - pos;
    return true;
}

// `tag` must outlive the result, which may read its bytes where they are.
std::optional<ParsedTag> parse(const QByteArray &tag)
{
    ParsedTag parsed;
    parsed.major = byteAt(tag, 3);
    parsed.revision = byteAt(tag, 4);
    parsed.flags = byteAt(tag, 5);
    // 2.2's compression has no defined scheme; bits a version does not define make the tag
    // unreadable for whoever does not know them.
    static constexpr uchar known[] = {0x80, 0xe0, 0xf0};
    if (parsed.major < 2 || parsed.major > 4 || (parsed.flags & ~known[parsed.major - 2]))
        return std::nullopt;
    // Not copied where it can be read as it stands: the tag may hold a large picture.
    parsed.body = QByteArray::fromRawData(tag.constData() + kHeaderSize, syncSafe(tag, 6));
    if (parsed.major < 4 && (parsed.flags & 0x80))
        parsed.body = resynchronised(parsed.body);
    if (parsed.flags & 0x40) {
        const QByteArray &body = parsed.body;
        if (body.size() < 6)
            return std::nullopt;
        if (parsed.major == 3) {
            // Its size counts what follows the size field: 6 bytes, or 10 with a checksum.
            const quint32 rest = mp3::getBE32(body, 0);
            if (rest != 6 && rest != 10)
                return std::nullopt;
            parsed.extendedSize = 4 + rest;
            parsed.extendedHasCrc = byteAt(body, 4) & 0x80;
        } else {
            const qint64 whole = syncSafe(body, 0);
            if (whole < 6 || byteAt(body, 4) != 1)
                return std::nullopt;
            parsed.extendedSize = whole;
            parsed.extendedHasCrc = byteAt(body, 5) & 0x20;
        }
        if (parsed.extendedSize > body.size())
            return std::nullopt;
    }
    if (readFrames(parsed, false) || (parsed.major == 4 && readFrames(parsed, true)))
        return parsed;
    return std::nullopt;
}

QByteArray lengthFrame(int major, qint64 lengthMs)
{
    const QByteArray text = '\0' + QByteArray::number(lengthMs); // ISO-8859-1 digits
    QByteArray frame;
    if (major == 2) {
        frame = "TLE" + QByteArray(3, '\0');
        frame[3] = char(text.size() >> 16);
        frame[4] = char(text.size() >> 8);
        frame[5] = char(text.size());
    } else {
        frame = "TLEN" + QByteArray(6, '\0');
        if (major == 3)
            mp3::putBE32(frame, 4, quint32(text.size()));
        else
            putSyncSafe(frame, 4, text.size());
    }
    return frame + text;
}

// The tag again with its length frames replaced by one for the piece. Where unsynchronisation
// covered the whole tag, the frames are written as they read without it; an extended header
// with a checksum over the frames is dropped, the checksum no longer holding.
QByteArray rebuilt(const ParsedTag &tag, qint64 lengthMs)
{
    uchar flags = tag.flags;
    if (tag.major < 4)
        flags &= ~0x80;
    const bool keepsExtended = tag.extendedSize > 0 && !tag.extendedHasCrc;
    if (!keepsExtended)
        flags &= ~0x40;
    // Written in one buffer, sized once: a copy of a large picture costs more than it seems.
    QByteArray out;
    out.reserve(kHeaderSize + tag.body.size() + 64 + kFooterSize);
    out += "ID3";
    out += char(tag.major);
    out += char(tag.revision);
    out += char(flags);
    out.append(4, '\0');
    if (keepsExtended)
        out.append(tag.body.constData(), tag.extendedSize);
    bool stated = false;
    for (const Frame &frame : tag.frames) {
        if (!frame.length) {
            out.append(tag.body.constData() + frame.at, frame.size);
        } else if (!stated && lengthMs >= 0) {
            out += lengthFrame(tag.major, lengthMs);
            stated = true;
        }
    }
    out.append(tag.padding, '\0');
    putSyncSafe(out, 6, out.size() - kHeaderSize);
    if (tag.major == 4 && (flags & 0x10)) {
        const QByteArray footer = "3DI" + out.mid(3, kHeaderSize - 3);
        out += footer;
    }
    return out;
}

} // namespace

QByteArray id3v2ForPiece(const QByteArray &tag, qint64 lengthMs)
{
    if (tag.size() < kHeaderSize || mp3::id3v2TagSize(bytesAt(tag, 0)) != tag.size())
        return {};
    const std::optional<ParsedTag> parsed = parse(tag);
    if (!parsed) {
        // Frame names are never compressed or unsynchronised in 2.3 and 2.4, so a search finds
        // a length frame wherever there is one; of another version nothing can be known.
        const int major = byteAt(tag, 3);
        const bool mayStateLength = major < 3 || major > 4 || tag.indexOf("TLEN", kHeaderSize) >= 0;
        return mayStateLength ? QByteArray() : tag;
    }
    for (const Frame &frame : parsed->frames)
        if (frame.length)
            return rebuilt(*parsed, lengthMs);
    return tag;
}

PieceTags pieceTags(const Mp3Analysis &analysis, const ReadBytes &read, qint64 lengthMs)
{
    PieceTags tags;
    if (analysis.frameCount() == 0)
        return tags;
    // The tags before the audio, several in a row if so, as the analysis passed them.
    for (qint64 pos = 0; pos + kHeaderSize <= analysis.audioBegin;) {
        const QByteArray header = read(pos, kHeaderSize);
        const qint64 size =
            header.size() < kHeaderSize ? -1 : mp3::id3v2TagSize(bytesAt(header, 0));
        if (size < 0 || pos + size > analysis.audioBegin)
            break;
        if (size <= kMaxTagBytes)
            tags.front += id3v2ForPiece(read(pos, size), lengthMs);
        pos += size;
    }
    if (analysis.fileSize - kId3v1Size >= analysis.audioEnd) {
        const QByteArray last = read(analysis.fileSize - kId3v1Size, kId3v1Size);
        if (last.size() == kId3v1Size && last.startsWith("TAG"))
            tags.back = last;
    }
    return tags;
}
