#include "app/CutSession.h"

#include "app/Numeric.h"
#include "mp3/Mp3Analysis.h"
#include "mp3/Mp3ByteMap.h"
#include "mp3/Mp3PieceHeader.h"
#include "mp3/Mp3Scan.h"
#include "mp3/Mp3Tags.h"

#include <QFile>
#include <QFileInfo>
#include <QtConcurrent>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Numeric;

namespace {

// The marking formulas measure the bytes before the selection; the cut starts at the next one.
qint32 firstByteAfter(qint32 bytesBefore)
{
    if (bytesBefore == std::numeric_limits<qint32>::max())
        throw ArithmeticError("计算出错：数值超出范围。");
    return bytesBefore + 1;
}

// A byte position or count of the frame map, in the cut state's 32 bits.
qint32 fits32(qint64 value)
{
    if (value > std::numeric_limits<qint32>::max())
        throw ArithmeticError("计算出错：数值超出范围。");
    return static_cast<qint32>(value);
}

} // namespace

CutSession::CutSession(BarSpan bar, Selection selection, AnalysisWait wait)
    : m_bar(bar), m_selection(selection), m_wait(std::move(wait))
{
    if (!m_wait)
        m_wait = [](QFuture<void> analysis) { analysis.waitForFinished(); };
}

CutSession::~CutSession()
{
    // The scan stops at its next block; it must not outlive the session it reports to.
    if (m_cancelAnalysis)
        m_cancelAnalysis->store(true);
    m_analysis.waitForFinished();
}

QString CutSession::namedFile(const QString &path)
{
    const QFileInfo file(path);
    if (!file.exists())
        throw FileIoError(QStringLiteral("找不到文件“%1”。").arg(path));
    if (!file.isFile())
        throw FileIoError(QStringLiteral("“%1”不是文件。").arg(path));
    if (QFile readable(file.absoluteFilePath()); !readable.open(QIODevice::ReadOnly))
        throw FileIoError(cannotRead(file.absoluteFilePath()) + QStringLiteral("：") +
                          readable.errorString());
    // The name may be relative to where the program started.
    return file.absoluteFilePath();
}

void CutSession::checkOpenable(const QString &path)
{
    // Byte positions are 32-bit: refused now, not after the file has played and been marked.
    if (const QFileInfo file(path);
        file.exists() && file.size() > std::numeric_limits<qint32>::max())
        throw FileIoError(
            QStringLiteral("文件“%1”大于 2 GB，本程序只能剪切 2 GB 以内的文件。").arg(path));
}

void CutSession::open(const QString &path)
{
    checkOpenable(path);
    const QFileInfo file(path);
    // First: the analysis under way is always that of the source.
    startAnalysis(path);
    m_cut.SourceFile = path;
    m_openedSize = file.exists() ? file.size() : -1;
    m_openedModified = file.lastModified();
    m_history.clear();
    m_cut.reset();
    m_selection.shown = false;
    m_selection.span.width = 1;
}

qint32 CutSession::sourceSize() const
{
    const qint32 size = FileSize32(m_cut.SourceFile);
    if (size != m_openedSize || QFileInfo(m_cut.SourceFile).lastModified() != m_openedModified)
        throw CutError("源文件已被改动，请重新打开。");
    return size;
}

double CutSession::durationOf(const PlayerTime &time) const
{
    // The marking formulas divide by the length; without one there is nothing to mark against.
    if (!(time.duration > 0))
        throw CutError(QStringLiteral("无法定位：播放器读不出文件“%1”的播放时长。")
                           .arg(m_cut.SourceFile)
                           .toStdString());
    return time.duration;
}

void CutSession::checkTimeline(const Timeline &timeline) const
{
    durationOf({0, timeline.rate > 0 && timeline.samples > 0 ? timeline.duration : 0});
}

MarkOutcome CutSession::markStart(const Clock &now)
{
    if (m_cut.SourceFile.isEmpty())
        return MarkOutcome::NoFile;
    const PlayerTime time = now();
    return remembered([&] { return placeStart(time); });
}

MarkOutcome CutSession::placeStart(const PlayerTime &time)
{
    const double d = durationOf(time);
    const double W = m_bar.width;
    const double L = m_bar.left;
    const double p = time.position;
    const qint32 x = ToInt32(Add(Mul(Div(p, d), W), L));

    m_selection.span = {static_cast<float>(x), 1};
    m_selection.shown = true;

    const double n = sourceSize();
    const double Ls = m_selection.span.left;
    if (const auto frames = framesWhereNotLinear(n)) {
        const double t = cutTimes(L, W, Ls, m_selection.span.width, d).start;
        m_cut.StartOffset = fits32(firstByteAt(*frames, t));
    } else {
        m_cut.StartOffset = firstByteAfter(ToInt32(Mul(Div(Sub(Ls, L), W), n)));
    }
    m_cut.CutLength = -1;
    m_cut.StartSample = time.sample;
    m_cut.EndSample = -1;
    return MarkOutcome::Done;
}

MarkOutcome CutSession::markEnd(const Clock &now)
{
    if (m_cut.SourceFile.isEmpty())
        return MarkOutcome::NoFile;
    if (!m_selection.shown)
        return MarkOutcome::NoStart;
    const PlayerTime time = now();
    return remembered([&] { return placeEnd(time, false); });
}

MarkOutcome CutSession::placeEnd(const PlayerTime &time, bool keepWidth)
{
    const double d = durationOf(time);
    const double W = m_bar.width;
    const double Ls = m_selection.span.left;
    const double L = m_bar.left;
    const double p = time.position;
    return applyEnd(ToInt32(Add(Sub(Mul(Div(p, d), W), Ls), L)), &time, keepWidth);
}

MarkOutcome CutSession::markToEnd()
{
    if (m_cut.SourceFile.isEmpty())
        return MarkOutcome::NoFile;
    if (!m_selection.shown)
        return MarkOutcome::NoStart;
    return remembered([&] { return placeToEnd(false); });
}

MarkOutcome CutSession::placeToEnd(bool keepWidth)
{
    const double Ls = m_selection.span.left;
    const double L = m_bar.left;
    const double W = m_bar.width;
    return applyEnd(ToInt32(Add(Sub(W, Ls), L)), nullptr, keepWidth);
}

MarkOutcome CutSession::setMarks(MarkSamples wanted, const Timeline &timeline)
{
    if (m_cut.SourceFile.isEmpty())
        return MarkOutcome::NoFile;
    checkTimeline(timeline);
    const qint64 end = wanted.end == CutState::ToEnd ? timeline.samples : wanted.end;
    const bool startOnly = wanted.end == -1;
    if (wanted.start < 0 || (!startOnly && end <= wanted.start) ||
        (startOnly ? wanted.start : end) > timeline.samples)
        return MarkOutcome::EndNotAfterStart;
    const auto at = [&timeline](qint64 sample) {
        return PlayerTime{double(sample) / timeline.rate, timeline.duration, sample};
    };
    return remembered([&] {
        placeStart(at(wanted.start));
        if (startOnly)
            return MarkOutcome::Done;
        return wanted.end == CutState::ToEnd ? placeToEnd(true) : placeEnd(at(end), true);
    });
}

MarkSamples CutSession::marks(const Timeline &timeline) const
{
    MarkSamples found;
    if (m_cut.SourceFile.isEmpty() || !m_selection.shown || timeline.rate <= 0)
        return found;
    // A mark the player could not give a sample for is where the bar puts it.
    const CutTimes times = markedTimes(timeline.duration);
    found.start =
        m_cut.StartSample >= 0 ? m_cut.StartSample : std::llround(times.start * timeline.rate);
    if (m_cut.CutLength > 0)
        found.end =
            m_cut.EndSample == -1 ? std::llround(times.end * timeline.rate) : m_cut.EndSample;
    return found;
}

MarkOutcome CutSession::nudge(Mark mark, qint64 delta, const Timeline &timeline)
{
    if (m_cut.SourceFile.isEmpty())
        return MarkOutcome::NoFile;
    checkTimeline(timeline);
    const MarkSamples now = marks(timeline);
    if (now.start < 0)
        return MarkOutcome::NoStart;
    if (mark == Mark::End && now.end == -1)
        return MarkOutcome::NoEnd;
    const qint64 last = timeline.samples;
    const qint64 end = now.end == CutState::ToEnd ? last : now.end;
    // The finest step apart, so that neither mark can pass the other.
    const qint64 gap = std::max<qint64>(timeline.rate / 100, 1);
    MarkSamples moved = now;
    qint64 &moving = mark == Mark::Start ? moved.start : moved.end;
    const qint64 from = mark == Mark::Start ? now.start : end;
    if (mark == Mark::Start)
        moving = std::clamp(from + delta, qint64(0),
                            now.end == -1 ? last : std::max<qint64>(end - gap, 0));
    else
        moving = std::clamp(from + delta, std::min(now.start + gap, last), last);
    if (moving == from)
        return MarkOutcome::AtLimit;
    return setMarks(moved, timeline);
}

bool CutSession::undo()
{
    if (m_history.empty())
        return false;
    restore(m_history.back());
    m_history.pop_back();
    return true;
}

CutSession::Snapshot CutSession::snapshot() const
{
    return {m_selection, m_cut.StartOffset, m_cut.CutLength, m_cut.StartSample, m_cut.EndSample};
}

void CutSession::restore(const Snapshot &marks)
{
    m_selection = marks.selection;
    m_cut.StartOffset = marks.startOffset;
    m_cut.CutLength = marks.cutLength;
    m_cut.StartSample = marks.startSample;
    m_cut.EndSample = marks.endSample;
    m_cut.TargetFile.clear();
}

// Runs a change of the marks and keeps what it changed for undo, even where it failed halfway.
MarkOutcome CutSession::remembered(const std::function<MarkOutcome()> &change)
{
    const Snapshot before = snapshot();
    const auto keep = [&] {
        if (snapshot().fields() != before.fields())
            m_history.push_back(before);
    };
    try {
        const MarkOutcome outcome = change();
        keep();
        return outcome;
    } catch (...) {
        keep();
        throw;
    }
}

// time: the player's, for an end at the current position; none for the file's end. keepWidth:
// marks placed by number may lie closer than a twip; the selection still shows.
MarkOutcome CutSession::applyEnd(qint32 width, const PlayerTime *time, bool keepWidth)
{
    if (keepWidth)
        width = std::max(width, 1);
    // The selection would collapse while the last length still stood and got saved.
    if (width < 1)
        return MarkOutcome::EndNotAfterStart;
    m_selection.span.width = static_cast<float>(width);
    m_cut.EndSample = time ? time->sample : CutState::ToEnd;
    const double W = m_bar.width;
    const double n = sourceSize();
    const double Ws = m_selection.span.width;
    const auto frames = framesWhereNotLinear(n);
    if (!frames) {
        m_cut.CutLength = ToInt32(Mul(Div(Ws, W), n));
        return MarkOutcome::Done;
    }
    // Through the last byte of the frame playing at the end, or of the file.
    const qint64 last =
        time ? lastByteAt(*frames,
                          cutTimes(m_bar.left, W, m_selection.span.left, Ws, durationOf(*time)).end)
             : frames->fileSize;
    // A start past the audio keeps a length, so the save reports the start, as the formulas do.
    m_cut.CutLength = fits32(std::max<qint64>(last - m_cut.StartOffset + 1, 1));
    return MarkOutcome::Done;
}

CutTimes CutSession::markedTimes(double duration) const
{
    return cutTimes(m_bar.left, m_bar.width, m_selection.span.left, m_selection.span.width,
                    durationOf({0, duration}));
}

Missing CutSession::missingBeforeSave() const
{
    if (m_cut.SourceFile.isEmpty())
        return Missing::File;
    if (m_cut.StartOffset <= 0)
        return Missing::Start;
    if (m_cut.CutLength <= 0)
        return Missing::End;
    return Missing::Nothing;
}

bool CutSession::isSource(const QString &target) const
{
    return SameFile(target, m_cut.SourceFile);
}

namespace {

// A piece's byte range, `first` to `last` (0-based), held to the source's audio: its tags come
// as edits, so that a piece from the start or to the end holds none twice, nor a part of one.
// False where no audio is in the range, which then stays as it is.
bool holdToAudio(const Mp3Analysis &analysis, qint64 &first, qint64 &last)
{
    if (analysis.frameCount() == 0)
        return false;
    const qint64 from = std::max(first, analysis.audioBegin);
    const qint64 to = std::min(last, analysis.audioEnd - 1);
    if (from > to)
        return false;
    first = from;
    last = to;
    return true;
}

// The source's tags around a piece that plays `samples`, which its length frame states.
void addSourceTags(SavePlan &plan, const Mp3Analysis &analysis, qint64 samples)
{
    QFile file(plan.source);
    const ReadBytes read = readerOf(file, plan.source);
    const qint64 rate = analysis.format.sampleRate;
    PieceTags tags = pieceTags(analysis, read, rate > 0 ? (samples * 1000 + rate / 2) / rate : -1);
    // The tag may hold a large picture: its buffer grows in place rather than be copied.
    tags.front.append(plan.edits.head);
    plan.edits.head = std::move(tags.front);
    plan.edits.tail = tags.back;
}

} // namespace

SavePlan CutSession::planSave(const QString &target)
{
    m_cut.TargetFile = target;
    SavePlan plan;
    plan.source = m_cut.SourceFile;
    plan.start = m_cut.StartOffset;
    const qint64 size = sourceSize();
    if (plan.start > size)
        throw FileIoError(
            QStringLiteral("选定的范围超出了文件“%1”的末尾，没有写入任何内容。").arg(plan.source));
    // Copy what the file holds; never pad the new file with bytes the source does not have.
    plan.count = static_cast<qint32>(std::min<qint64>(m_cut.CutLength, size - plan.start + 1));
    // Without the file's map the piece is the source's bytes alone.
    if (const std::shared_ptr<const Mp3Analysis> analysis = analysisFor();
        analysis && analysis->fileSize == size) {
        if (const auto piece = samplePiece(*analysis, plan.source)) {
            plan.start = fits32(piece->first + 1);
            plan.count = fits32(piece->last - piece->first + 1);
            plan.edits = piece->edits;
            m_cut.StartOffset = plan.start;
            m_cut.CutLength = plan.count;
            addSourceTags(plan, *analysis, piece->samples);
            return plan;
        }
        qint64 first = plan.start - 1;
        qint64 last = first + plan.count - 1;
        const bool audio = holdToAudio(*analysis, first, last);
        plan.start = fits32(first + 1);
        plan.count = fits32(last - first + 1);
        plan.edits = readPieceHeader(*analysis, plan.source, first, last);
        if (audio)
            addSourceTags(plan, *analysis, samplesWithin(*analysis, first, last));
    }
    return plan;
}

// The piece that plays exactly the marked samples, where the file and the marks allow one; else
// the save cuts at the frames the byte range names.
std::optional<Mp3PiecePlan> CutSession::samplePiece(const Mp3Analysis &analysis,
                                                    const QString &source) const
{
    if (m_cut.StartSample < 0 || (m_cut.EndSample < 0 && m_cut.EndSample != CutState::ToEnd))
        return std::nullopt;
    const qint64 last = gaplessTimeline(analysis).samples;
    const qint64 end = m_cut.EndSample == CutState::ToEnd ? last : std::min(m_cut.EndSample, last);
    return planPiece(analysis, source, m_cut.StartSample, end);
}

void CutSession::saveCancelled()
{
    // Nothing was written: the marks stay, so the piece can be saved elsewhere.
    m_cut.TargetFile.clear();
}

void CutSession::saved()
{
    // Undo brings the saved marks back, to nudge the piece or save it again.
    m_history.push_back(snapshot());
    m_selection.shown = false;
    m_cut.reset();
}

void CutSession::startAnalysis(const QString &path)
{
    if (m_cancelAnalysis)
        m_cancelAnalysis->store(true);
    m_cancelAnalysis = std::make_shared<std::atomic_bool>(false);
    m_analysis = QtConcurrent::run(
        [path, cancel = m_cancelAnalysis]() -> std::shared_ptr<const Mp3Analysis> {
            try {
                return std::make_shared<const Mp3Analysis>(analyseMp3(path, cancel.get()));
            } catch (const AnalysisCancelled &) {
                return nullptr; // another file was opened
            } catch (const std::exception &error) {
                // The marks fall back to the formulas; the user is not troubled with it.
                qDebug("MP3 analysis of %s not used: %s", qPrintable(path), error.what());
                return nullptr;
            }
        });
}

std::shared_ptr<const Mp3Analysis> CutSession::analysisFor()
{
    if (m_analysis.isCanceled() || !m_analysis.isValid())
        return nullptr;
    if (!m_analysis.isFinished())
        m_wait(QFuture<void>(m_analysis));
    auto analysis = m_analysis.result();
    // A file whose frames cannot all be mapped is not cut by the byte formulas either.
    if (analysis && !analysis->refusal.isEmpty())
        throw FileIoError(analysis->refusal);
    return analysis;
}

std::shared_ptr<const Mp3Analysis> CutSession::framesWhereNotLinear(double size)
{
    auto frames = analysisFor();
    if (!frames || frames->linear || static_cast<double>(frames->fileSize) != size)
        return nullptr;
    return frames;
}
