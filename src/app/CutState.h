#pragma once

#include <QString>
#include <QtGlobal>

// What the main window knows about the cut under way. -1 and the empty text mean "not set".
struct CutState
{
    qint32 StartOffset = -1; // 1-based byte position where the cut begins
    qint32 CutLength = -1;   // number of bytes in the cut
    QString SourceFile;      // the MP3 opened last, as the Open dialog returned it
    QString TargetFile;      // the Save dialog's choice, only while a save is under way

    // The marks as pressed, in samples of the file decoded gaplessly (the player's timeline);
    // the piece holds [StartSample, EndSample). -1: not marked; ToEnd: the file's last sample.
    static constexpr qint64 ToEnd = -2;
    qint64 StartSample = -1;
    qint64 EndSample = -1;

    // Clears the marks and the target; the source stays what was opened last.
    void reset()
    {
        StartOffset = -1;
        CutLength = -1;
        StartSample = -1;
        EndSample = -1;
        TargetFile.clear();
    }
};
