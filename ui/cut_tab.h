// CutTab: the cut tab's loaded file and what the user marks in it: the start and end marks
// with their time boxes, the segment list (kept for each file under the services' segments
// folder, read and written as CSV), the track choices, the output's turn and Find. It shows
// pictures through the CutPreview and starts its jobs (a cut, an export of segments) through
// the JobLauncher. All on the window's thread.
#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "core/segment_edits.h"
#include "core/segment_formats.h"
#include "core/segments.h"
#include "engine/conversion_job.h"

class QLineEdit;
class QLabel;

namespace ulvane {

class CBitmapSlider;
class CutPreview;
class FindButton;
class JobLauncher;
class SegmentList;
class TrackChoices;
class TrackList;
struct OutputChoice;
struct WindowContext;

// The time typed in a box, in milliseconds; nullopt when the text is no time.
std::optional<int32_t> TypedTime(const QLineEdit* box);

// For a file cut short (its header says it lasts longer than its pictures and sound do), a
// sentence saying so and where they end; "" for any other file.
QString CutShortNote(const WindowContext& context, const QString& path, const MediaInfo& info);

class CutTab : public QObject {
    Q_OBJECT

public:
    CutTab(const WindowContext& context, CutPreview* preview, JobLauncher* launcher, QObject* parent);
    ~CutTab() override;

    void Load(const QString& path, const MediaInfo& info);
    const QString& cutSourcePath() const { return path_; }
    const MediaInfo& info() const { return info_; }
    // The texts of the active language. The direct-start note says the longest it gets, so
    // that the layout makes room for it, until ShowDirectStartNote.
    void ApplyTexts();
    // "Direct cut from" and the key frame a direct cut would start at, when it is not the start.
    void ShowDirectStartNote();

    // The mark buttons, I and O: a mark at the picture shown (once the exact picture is in, at
    // its time). The boxes and the marks are the selected segment's; with no segment yet, a mark
    // makes segment 1.
    void SetStartPoint();
    void SetEndPoint();
    // N and the add button: a new segment from the picture shown to the next segment's start
    // or the source's end.
    void AddSegment();
    // Shift+I and Shift+O: the preview to the selected segment's start (false) or end (true).
    void GoToMark(bool end);
    // Shift+Space: the selected segment (else the marks) from its start to its end.
    void PlaySegment();
    // P and the play button's menu: the export as it will be made, in the preview: the
    // segments one after another in list order, or with "everything except" chosen for the
    // export, the parts outside them. Again while it plays: a pause.
    void PlayResult();
    // R and Shift+R: the output a quarter turn more, clockwise (1) or back (-1), for this file.
    void TurnOutput(int quarters);

    // The segments in list order (times on the source's timeline) and the selected one's place
    // (-1: none, only when the list is empty).
    std::vector<Segment> Segments() const;
    int SelectedSegment() const;
    // The start and end typed in the boxes; nullopt when either is no time.
    std::optional<Segment> TypedMarks() const;
    // Takes segments to the join list, as the user chooses under "Send to join list". The
    // button shows once a hook is set; an empty hook hides it again.
    using SegmentsSender = std::function<void(const QString& source, const std::vector<Segment>& segments)>;
    void SetSendToJoinList(SegmentsSender send);
    // The segment list's menu: the list written to a list file in the format its extension
    // names (CSV otherwise), or replaced by one (a step that can be undone), through the
    // services' file dialogs.
    void SaveSegmentsFile();
    void LoadSegmentsFile();
    // "Chapters as segments": the source's own chapters replace the list (a step that can be undone).
    void LoadChapters();
    // What the list formats need of the loaded source: its length, frame rate and name.
    SegmentSource ListSource() const;

    // The convert button: the marked segment cut, or two segments or more exported together
    // as the cut settings say (cut_tab_jobs.cpp).
    void LaunchCut();
    void LaunchExport(const std::vector<Segment>& segments);

    SegmentList* segmentList() const { return segmentList_; }
    TrackChoices* trackChoices() const { return tracks_; }
    TrackList* trackList() const;
    FindButton* find() const { return find_; }

protected:
    // The time boxes' Enter (the time typed taken, the keys the preview's again) and Escape
    // (the box's last good time again).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Mark { kStart, kEnd };
    void OnTimeEdited();
    void OnTimeTyped(QLineEdit* box);
    void MarkShownPicture(Mark mark);
    // Puts a mark at `ms`, the other kept; an end before the start exchanges the two. `refine`:
    // the mark set before takes its exact picture's time, in the same step.
    void PlaceMark(Mark mark, int32_t ms, bool refine = false);
    void OnPictureShown(qint64 fromMicros, qint64 forMicros, bool exact, int request);
    void OnSegmentsChanged();
    void ShowSelectedSegment();
    void ShowSegmentBands();
    void SendSegments(bool all);
    // While the result plays, the segment its clip `clip` comes from is the selected one.
    void FollowResultClip(int clip);
    void ApplyTurnTexts();
    // The turn into `job` for a job of the loaded file; false, told, when a direct job's
    // container cannot keep it.
    bool ApplyTurn(ConversionJob& job, const OutputChoice& choice) const;
    // A box whose text is no time is named and takes the focus: true, the job does not start.
    bool RefuseUntypedBox() const;

    const WindowContext& context_;
    CutPreview* preview_;
    JobLauncher* launcher_;
    QString path_;
    MediaInfo info_;
    QLineEdit *startBox_, *endBox_;
    QLabel* lengthText_;
    CBitmapSlider* seekBar_;
    SegmentList* segmentList_;
    TrackChoices* tracks_;
    FindButton* find_;
    SegmentsSender sendToJoinList_;
    // A mark set at a key frame's picture, refined when the exact picture it asked for comes.
    // A typed start goes to the picture a cut from it starts on (`typedStart`, microseconds).
    struct WaitingMark {
        Mark mark;
        int request;
        std::optional<int64_t> typedStart = std::nullopt;
    };
    std::optional<WaitingMark> waitingMark_;
    bool toldSegmentsProblem_ = false;
    bool restoring_ = false;           // a file's kept segments are being shown, not changed
    QMap<QString, int> turns_;         // the turn chosen for each file this run, in degrees clockwise
    std::vector<int> resultSegments_;  // the segment of each clip of the result playing (none: outside them)
};

}  // namespace ulvane
