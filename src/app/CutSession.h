#pragma once

#include "app/CutState.h"
#include "app/CutTimes.h"
#include "fileio/ByteRange.h"
#include "mp3/Mp3Piece.h"

#include <QDateTime>
#include <QFuture>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <vector>

class Mp3Analysis;

// A cut that cannot go on as asked; what() says why, in words for the user.
class CutError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Left and width in twips, as the window's shapes keep them: the byte numbers are computed from
// these very floats.
struct BarSpan
{
    float left = 0;
    float width = 0;
};

// The selection over the track bar; shown means that a start has been marked.
struct Selection
{
    BarSpan span;
    bool shown = false;
};

// What the player says at the moment of a mark: seconds for the track bar, and the sample heard,
// -1 where the player cannot say.
struct PlayerTime
{
    double position = 0;
    double duration = 0;
    qint64 sample = -1;
};

// Why a marking command changed nothing. AtLimit: a mark to be moved already stands at the
// other mark, 0 or the end of the file.
enum class MarkOutcome { Done, NoFile, NoStart, EndNotAfterStart, NoEnd, AtLimit };

// The player's timeline, for marks placed by number rather than at the playing position.
struct Timeline
{
    double duration = 0; // seconds
    int rate = 0;        // samples per second
    qint64 samples = 0;
};

// The marks on the timeline: start -1 where none is marked; end -1 where none is marked, or
// CutState::ToEnd for the file's end.
struct MarkSamples
{
    qint64 start = -1;
    qint64 end = -1;
};

enum class Mark { Start, End };

// What a save still lacks, in the order the save asks for it.
enum class Missing { Nothing, File, Start, End };

// What the save copies: `count` bytes of `source` from 1-based `start`, with the edits that make
// the piece state its own length.
struct SavePlan
{
    QString source;
    qint32 start = 0;
    qint32 count = 0;
    RangeEdits edits;
};

// The cut under way, apart from any window: the opened file, the selection on the track bar,
// the byte range it stands for and the map of the file's frames made in the background.
class CutSession
{
public:
    // Runs until the analysis is finished; the window lets events run meanwhile.
    using AnalysisWait = std::function<void(const QFuture<void> &analysis)>;
    // Asked for the player's time only when a mark needs it.
    using Clock = std::function<PlayerTime()>;

    CutSession(BarSpan bar, Selection selection, AnalysisWait wait = {});
    ~CutSession();
    CutSession(const CutSession &) = delete;
    CutSession &operator=(const CutSession &) = delete;

    const CutState &state() const { return m_cut; }
    const Selection &selection() const { return m_selection; }
    const QString &source() const { return m_cut.SourceFile; }

    // A file named outside the Open dialog, as a full path; throws FileIoError where it is not
    // a readable file.
    static QString namedFile(const QString &path);
    // Throws FileIoError for a file the byte positions cannot reach.
    static void checkOpenable(const QString &path);
    // Takes `path` as the source and clears the marks; checks it first, changing nothing when
    // it cannot be cut.
    void open(const QString &path);
    // The source's frame map once its analysis is done, waiting for it; null where it failed.
    std::shared_ptr<const Mp3Analysis> frameMap() { return analysisFor(); }
    // The analysis of the file opened last, for whoever wants to hear when it is done.
    const QFuture<std::shared_ptr<const Mp3Analysis>> &analysis() const { return m_analysis; }

    // Every command that moves a mark can be undone, back to the file's opening.
    MarkOutcome markStart(const Clock &now);
    MarkOutcome markEnd(const Clock &now);
    MarkOutcome markToEnd();
    // Both marks at once, as B and E pressed at those samples would set them; refused unless
    // 0 <= start < end <= the timeline's last sample.
    MarkOutcome setMarks(MarkSamples wanted, const Timeline &timeline);
    // Moves one mark by `delta` samples; it stops at the other mark (keeping a hundredth of a
    // second between them), at 0 and at the end of the file.
    MarkOutcome nudge(Mark mark, qint64 delta, const Timeline &timeline);
    MarkSamples marks(const Timeline &timeline) const;
    // Puts back the marks as they stood before the last change; false where there is none.
    bool undo();
    // The stretch of playing time the selection covers in a file of `duration` seconds.
    CutTimes markedTimes(double duration) const;

    Missing missingBeforeSave() const;
    // True when `target` is the source under another spelling or through a link, too.
    bool isSource(const QString &target) const;
    // Takes `target` for the save and works out what to copy; throws where the source is not
    // the file that was marked or the range lies past its end.
    SavePlan planSave(const QString &target);
    void saveCancelled();
    void saved();

private:
    void startAnalysis(const QString &path);
    // Of the source, which is always the file analysed last.
    std::shared_ptr<const Mp3Analysis> analysisFor();
    std::shared_ptr<const Mp3Analysis> framesWhereNotLinear(double size);
    qint32 sourceSize() const;
    double durationOf(const PlayerTime &time) const;
    // Throws, as durationOf, where the player cannot say how long the file plays.
    void checkTimeline(const Timeline &timeline) const;
    MarkOutcome placeStart(const PlayerTime &time);
    MarkOutcome placeEnd(const PlayerTime &time, bool keepWidth);
    MarkOutcome placeToEnd(bool keepWidth);
    MarkOutcome applyEnd(qint32 width, const PlayerTime *time, bool keepWidth);
    MarkOutcome remembered(const std::function<MarkOutcome()> &change);
    std::optional<Mp3PiecePlan> samplePiece(const Mp3Analysis &analysis,
                                            const QString &source) const;

    // What undo puts back: the selection and the marks, bytes and samples.
    struct Snapshot
    {
        Selection selection;
        qint32 startOffset, cutLength;
        qint64 startSample, endSample;
        auto fields() const
        {
            return std::tuple(selection.shown, selection.span.left, selection.span.width,
                              startOffset, cutLength, startSample, endSample);
        }
    };
    Snapshot snapshot() const;
    void restore(const Snapshot &marks);

    BarSpan m_bar;
    Selection m_selection;
    CutState m_cut;
    std::vector<Snapshot> m_history;
    AnalysisWait m_wait;
    // The source as it was opened: a file rewritten since would get a piece of other content.
    qint64 m_openedSize = -1;
    QDateTime m_openedModified;
    QFuture<std::shared_ptr<const Mp3Analysis>> m_analysis;
    std::shared_ptr<std::atomic_bool> m_cancelAnalysis;
};
