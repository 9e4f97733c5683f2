// Rows of the join list that take only a clip of their file: what such a row keeps besides
// the texts shown, and the JoinFile of any row, whole file or clip.
#pragma once

#include <QString>
#include <optional>

#include "core/launch.h"
#include "core/segments.h"
#include "engine/conversion_job.h"

namespace ulvane {

class CCheckListCtrl;

// The clip a row of the join list takes, on its path cell; the join roles come before them.
namespace clip_role {
enum : int {
    kClipped = 0x0140,  // Qt::UserRole + 0x40
    kStart,             // microseconds of the file's timeline
    kEnd,
    kLabel,
    kFileLength,  // the whole file's length, microseconds (the length cell shows the clip)
};
}  // namespace clip_role

// "00:01:30.000" for a time in microseconds (to the millisecond below).
QString MicrosText(int64_t micros);
// "00:01:00.000–00:02:30.000": where a clip starts and ends in its file.
QString ClipRangeText(const Segment& clip);

// Makes `row` (just added for its whole file, lasting `fileMicros`) a clip: its name shows
// the label, its length cell the clip's start and end, its tooltip adds `clipLine`.
void MakeClipRow(CCheckListCtrl& list, int row, const Segment& clip, int64_t fileMicros, const QString& clipLine);

// The clip a row takes; nothing for a whole file.
std::optional<Segment> ClipOfRow(const CCheckListCtrl& list, int row);

// What a join knows of the file of a row (as the row shows and keeps it), with its clip.
JoinFile JoinFileOfRow(const CCheckListCtrl& list, int row);

// `file` as a job that keeps only `tracks` of it sees it ("" every track, as it is): a direct
// join compares its files by the tracks it keeps. Probes the file's header again; a file that
// cannot be probed so is left as it was.
void KeepTracks(JoinFile& file, const std::string& tracks);

}  // namespace ulvane
