// CUlvaneAVConverterDlg: the program's window. Two modes on two tabs: cut one file (a
// preview with a seek bar, start and end points, time boxes) and join the ticked rows of a
// source list. Built from template 102; every text comes from the active language file.
#pragma once

#include <QDialog>
#include <QImage>
#include <QMap>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "core/job_monitor.h"
#include "core/language_table.h"
#include "core/launch.h"
#include "core/segments.h"
#include "core/settings_store.h"
#include "engine/conversion_job.h"
#include "engine/frame_grabber.h"
#include "ui/desktop.h"
#include "ui/detect_dialog.h"
#include "ui/dialog_template.h"

class QAction;
class QComboBox;
class QPushButton;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTabBar;

namespace ulvane {

class CBitmapSlider;
class CCheckListCtrl;
class CControlButton;
class CHyperLink;
class CAVConvertDlg;
class ExactPictures;
class OutputSettingsDialog;
class PreviewFrame;
class PreviewPlayer;
class QueuePanel;
class QueueRunner;
class SegmentList;
class TimelineFeeder;
class TimelineStrip;
class TrackList;

// Asks for a file to write or read: the dialog's title, where it starts (a suggested file, or
// a folder) and its filter in Qt's "Name (*.a);;Other (*)" form; the path chosen, "" when
// cancelled.
using PathChooser =
    std::function<QString(QWidget* parent, const QString& title, const QString& place, const QString& filter)>;

// What the window asks of the desktop; tests replace each part.
struct WindowServices {
    QString dataDir;                             // languages/, help/ and images/
    QString settingsFile;                        // the setting.ini the window reads and writes
    QString snapshotFile;                        // the preview's snapshot bitmap
    QString segmentsDir;                         // where each source's segments are kept between runs ("" keeps none)
    QString timelineCacheDir;                    // the timeline strip's cache ("" keeps none)
    QString queueFile;                           // the queue's waiting jobs between runs ("" keeps none)
    QString cliPath;                             // the ulvane-cli queued jobs run in ("" beside this program)
    FileChooser chooseFiles;                     // the open-file dialog
    PathChooser chooseSaveFile, chooseOpenFile;  // a segment list's file (CSV) to write or read
    MessageSink* messages = nullptr;
    std::function<bool(const QString&)> open;                     // the desktop's "open" (play, help)
    std::function<QString(QWidget*, const QString&)> pickFolder;  // the folder picker
    // Moves the window with the pointer (the window manager's move); tests count the calls.
    std::function<void(QWidget*)> startMove;
    // Runs a settings dialog modally; true when it was confirmed.
    std::function<bool(OutputSettingsDialog&)> runSettings;
    // The desktop's own services, and the places of the copy this program belongs to.
    static WindowServices Default();
    // The same for a program in `programDir`: a portable copy keeps its files beside it, an
    // installed one reads ../share/ulvane and keeps the user's files in the XDG folders.
    static WindowServices ForProgramIn(const QString& programDir);
    // Every file in one folder, as in a portable copy.
    void UseFolder(const QString& folder) {
        dataDir = folder;
        settingsFile = folder + "/setting.ini";
        snapshotFile = folder + "/image.bmp";
        segmentsDir = folder + "/segments";
        timelineCacheDir = folder + "/timeline";
        queueFile = folder + "/queue.txt";
    }
};

class CUlvaneAVConverterDlg : public QDialog {
    Q_OBJECT

public:
    explicit CUlvaneAVConverterDlg(WindowServices services, QWidget* parent = nullptr);
    ~CUlvaneAVConverterDlg() override;

    // The dialog item with this id (template 102), or null.
    QWidget* Item(int id) const { return items_.value(id); }
    template <typename T>
    T* ItemAs(int id) const {
        return qobject_cast<T*>(Item(id));
    }

    // The operations behind the window's controls, callable by tests as the controls call them.
    void AddSourceFiles();
    // Files given to the program (a file manager's "Open with"): one file becomes the cut
    // source, several go to the join list, through the same checks as the add buttons.
    void OpenFiles(const QStringList& files);
    void RemoveSelectedSource();
    // Ctrl+Up / Ctrl+Down: the selected join row one place up (-1) or down (+1).
    void MoveSelectedSource(int step);
    // Files dropped from a file manager: as the add button adds them, on the shown tab.
    void DropFiles(const QList<QUrl>& urls);
    void SelectTab(int index);
    void SelectLanguage(int position);
    void ShowPreviewFrame(double seconds);
    void SetStartPoint();
    void SetEndPoint();
    // Playback in the preview (main_window_player.cpp). The play button: plays from the
    // picture shown, or pauses; with Shift held, opens the file in the desktop's player.
    void Play();
    void TogglePlayback();
    // The play button's menu and Shift+click: the source in the desktop's own player.
    void OpenInDesktopPlayer();
    // J (-1), K (0) and L (+1): backwards, pause, forwards; again in the same direction,
    // twice and four times as fast.
    void Shuttle(int direction);
    // Shift+Space: the selected segment (else the marks) from its start to its end, again
    // and again while the loop box is ticked.
    void PlaySegment();
    PreviewPlayer* previewPlayer() const { return player_; }
    // The convert and merge buttons: settings dialog, job, worker, timer 1, progress dialog.
    // Each returns when the progress dialog has closed (or at once when nothing started).
    void LaunchCut();
    void LaunchJoin();
    // The export of two or more segments of the loaded source in one job, as the cut settings
    // say (main_window_launch.cpp); LaunchCut comes here when the segment list holds them.
    void LaunchExport(const std::vector<Segment>& segments);
    // The segments of `path` as clip rows of the join list, in their order (main_window_sources.cpp).
    void AddJoinClips(const QString& path, const std::vector<Segment>& segments);
    // Waits for a worker still finishing a stopped job.
    void WaitForWorker();
    CAVConvertDlg* progressDialog() const { return progress_; }
    bool jobRunning() const { return jobRunning_; }
    QueueRunner* queueRunner() const { return queue_; }
    QueuePanel* queuePanel() const { return queuePanel_; }
    void ShowQueue();
    // The jobs kept waiting when the window last closed, offered again (asked once).
    void OfferKeptJobs();
    void ApplyToAll();
    const ConversionJob* job() const { return job_.get(); }
    const QString& lastOutputFolder() const { return lastOutputFolder_; }
    const std::vector<int>& joinRows() const { return joinRows_; }

    const QString& cutSourcePath() const { return cutSourcePath_; }
    // The whole path of the file in a row of the join list ("" for no row).
    QString RowPath(int row) const;
    // The seek-bar position whose frame the preview shows, and how many frames it grabbed.
    int shownPosition() const { return shownPosition_; }
    int grabCount() const { return grabCount_; }
    int previewPositionMs() const { return previewPositionMs_; }
    const LanguageTable& languageTable() const { return table_; }
    // The loaded source's key frames (microseconds), once the background scan has found them.
    const std::vector<int64_t>& keyFrames() const { return keyFrames_; }
    // How many exact pictures the preview has shown, and when the one shown starts (-1: none).
    int exactPicturesShown() const { return exactShown_; }
    int64_t shownFromMicros() const { return shownFrom_; }
    // Comma and period: the picture before or after the one shown (-1, +1).
    void StepPicture(int step);
    const SettingsStore& settings() const { return store_; }
    QString snapshotPath() const;
    // A tooltip's text as the window would show it now ("" for controls without one).
    QString TooltipFor(int controlId) const;
    // A join row's status, in the active language, and its tick as the status wants it.
    void ShowRowStatus(int row, RowStatus status);
    // A mark of the window's job: only on a row that still holds the file it held when the job began.
    void ShowJobRowStatus(int row, RowStatus status);
    // A row's file as the job monitor names it: a clip row's with the clip's times.
    std::string RowPathText(int row) const;
    // A finished job's message naming its file, with Open, Show in folder and Close.
    void OfferOutput(const QString& text, const QString& output);

    // The cut tab's segments (main_window_segments.cpp). The start and end boxes and the mark
    // buttons are the selected segment's; with no segment yet, a mark makes segment 1.
    //
    // The segments of the loaded source in list order (times on the source's timeline), and
    // the place of the selected one (-1: none, only when the list is empty). The cut tab's
    // convert button cuts the selected segment, whose marks the boxes show.
    std::vector<Segment> Segments() const;
    int SelectedSegment() const;
    // Takes segments to the join list: called with the source's path and, in list order, the
    // selected segment or all of them, as the user chooses under "Send to join list". The
    // button shows once a hook is set; an empty hook hides it again.
    using SegmentsSender = std::function<void(const QString& source, const std::vector<Segment>& segments)>;
    void SetSendToJoinList(SegmentsSender send);
    // N and the add button: a new segment from the picture shown to the next segment's start
    // or the source's end.
    void AddSegment();
    // Shift+I and Shift+O: the preview to the selected segment's start (false) or end (true).
    void GoToMark(bool end);
    // Up and Down: the preview to the key frame before (-1) or after (+1) the picture shown.
    void GoToKeyFrame(int step);
    // Left and Right: the picture before (-1) or after (+1) the one shown; before the exact
    // picture is in, a picture's time (from the source's frame rate) from the position.
    void StepOnePicture(int step);
    // The segment list's menu: the list written to a CSV file, or replaced by one (a step
    // that can be undone), through the services' file dialogs.
    void SaveSegmentsFile();
    void LoadSegmentsFile();
    // The list itself: its `changed` signal follows every change of the segments or of the
    // selected one (an undo, a file's kept segments, a CSV file's) once the boxes show it.
    SegmentList* segmentList() const { return segmentList_; }
    // The loaded file's tracks (main_window_tracks.cpp): which ones every job from that file
    // keeps (a cut, an export of its segments, its clips in a join), remembered for each file
    // while the program runs.
    TrackList* trackList() const { return trackList_; }
    // Detection (main_window_detect.cpp): the segment list's Find menu opens a DetectDialog for
    // the loaded source; its segments are added to the list as one step that can be undone.
    void OpenDetectDialog(DetectKind kind);
    DetectDialog* detectDialog() const { return detectDialog_; }
    QPushButton* detectButton() const { return detectButton_; }
    // The track list chosen for the file at `path` ("" every track).
    std::string TracksOf(const QString& path) const;
    // The timeline strip above the seek bar and what fills it (main_window_timeline.cpp).
    TimelineStrip* timelineStrip() const { return strip_; }
    TimelineFeeder* timelineFeeder() const { return feeder_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void accept() override {}  // Enter does not close the window
    void reject() override {}  // nor does Escape

private:
    // Set-up and languages (main_window.cpp).
    void SetUpFrame();
    void SetUpLanguageAndTabs();
    void SetUpButtons();
    void SetUpSeekBar();
    void SetUpSourceList();
    void ApplyLanguage();
    void SetUpSegments();
    void SetUpDetect();
    void ApplyDetectTexts();
    void AddDetectedSegments(const QString& path, std::vector<Segment> found);
    // The place of the segment and track lists under the cut controls: their heights with the
    // gaps around them.
    int SegmentRoom() const;
    // The timeline strip (main_window_timeline.cpp): its room above the seek bar, the loaded
    // file in it, the segments as its bands, and its presses and drags as the seek bar's.
    void SetUpTimeline();
    int StripRoom() const;
    void ShowTimelineOfSource();
    void ShowTimelineSegments();
    void OnStripSeek(qint64 micros);
    void OnStripSeekReleased(qint64 micros);
    // The track list (main_window_tracks.cpp), and the loaded file's tracks shown in it.
    void SetUpTracks();
    void ShowTracksOfSource();
    // Says so when the tracks chosen for one of the files at `paths` keep no picture and no
    // sound, and returns true: the job does not start.
    bool RefuseTrackChoice(const std::vector<std::string>& paths);
    // Playback (main_window_player.cpp).
    void SetUpPlayer();
    void ApplyPlayerTexts();
    // The player's controls as the tab and the loaded file want them.
    void ShowPlayerControls(bool cutTab);
    // The loaded source in the player; false, with a message, when it cannot be played.
    bool OpenPlayer();
    void ForgetPlayer();
    // Plays the loaded source from `fromMicros` as Player::Play does.
    void StartPlayback(int64_t fromMicros, double speed, int64_t untilMicros = -1, bool loop = false);
    void PausePlayback();
    // Where playback starts from: the picture shown, or the file's start after playing to its end.
    int64_t PlaybackStart() const;
    void OnPlaybackPicture(qint64 fromMicros, qint64 forMicros);
    void OnPlaybackPosition(qint64 micros);
    void OnPlaybackStopped(qint64 micros, qint64 shownFrom, qint64 shownFor, bool ended);
    // The seek bar and the position text at `micros`, with the speed when it is not 1.
    void FollowPlayback(int64_t micros);
    void ShowPlayState();
    // A seek-bar drag holds playback; the thumb's rest (or a key) plays on from there. Each
    // true when playback took the move.
    bool HoldPlaybackForDrag();
    bool ResumeAfterSeek(int position);
    // A seek to `micros` while playing: playback goes on from there. True when it did.
    bool SeekWhilePlaying(int64_t micros);
    // Picture steps pause playback first.
    void PauseForStep();
    // The output's turn (main_window_turn.cpp): a quarter turn more, clockwise (`quarters` 1)
    // or back (-1), for the loaded file; the preview shows it turned.
    void SetUpTurn();
    void ApplyTurnTexts();
    void TurnOutput(int quarters);
    // The loaded file's turn again (the one the user chose for it before, else none).
    void RestoreTurn();
    // The turn into `job` for a job of the loaded file; false, told, when a direct job's
    // container cannot keep it.
    bool ApplyTurn(ConversionJob& job, const OutputChoice& choice);
    // Says once, with the reason, that the user's choices cannot be kept.
    void TellSettingsProblem();
    void UpdateTitle();
    // The status line's text for a loaded file: its codecs, picture, rate and length.
    static QString StatusText(const MediaInfo& info);
    void ApplyLanguageToSourceList();
    void FitSourceColumns();
    // The join list's headings (on two lines where one would not fit `room`) and the narrowest
    // widths of its columns that show them and every text whole.
    struct SourceColumns {
        QString titles[6];
        int widths[6] = {};
        int total = 0;
    };
    SourceColumns NarrowestSourceColumns(int room) const;
    // The list's width for its columns: inside its frame, beside its scroll bar.
    int SourceListRoom() const;
    // Places every item for the window's size: the template's places at the template's size;
    // larger, the preview and the join list grow, the seek bar and the cut frame widen, and
    // every other item keeps its distance to the window's nearest edges.
    void LayOut();
    // The smallest layout for the active language's texts (see FitCaptions), then LayOut().
    void FitToTexts();
    // Sources, preview and cut points (main_window_sources.cpp).
    void AddFiles(const QStringList& files);
    void AddJoinRow(const QString& path, const MediaInfo& info);
    // "Sound tracks: 2" and "Subtitle tracks: 1" on two lines, in the active language.
    QString TracksText(const MediaInfo& info) const;
    void LoadCutSource();
    void OnSliderMoving(int id, int position);
    void GrabNewestPosition();
    void OnTimeEdited();
    void OnTimeTyped(QLineEdit* box);
    // The cut marks (main_window_sources.cpp). A time box shows a time the window accepted,
    // kept with it, or a text being typed.
    enum class Mark { kNone, kStart, kEnd };
    static constexpr const char* kAcceptedTime = "acceptedTime";
    static void SetBoxTime(QLineEdit* box, int32_t ms);
    static int32_t AcceptedTime(const QLineEdit* box);
    // Times shown and typed are whole milliseconds: one means the picture shown by the end of
    // that millisecond, so a picture that starts within it is the one meant.
    static int64_t MillisecondMicros(int32_t ms) { return int64_t{ms} * 1000 + 999; }
    bool ShowsExactPictureAtPosition() const;
    // Sets a mark at the picture shown (once the exact picture is in, at its time).
    void MarkShownPicture(Mark mark);
    // Puts a mark at `ms`, the other kept; an end before the start exchanges the two.
    void PlaceMark(Mark mark, int32_t ms);
    // Segments (main_window_segments.cpp). The boxes, the seek bar's bands and the store follow
    // the list; MarksPlaced turns marks placed in the boxes into the selected segment's, and
    // ShowSegmentsOfSource brings a loaded source's kept segments back.
    void OnSegmentsChanged();
    void ShowSelectedSegment();
    void MarksPlaced();
    void ShowSegmentsOfSource();
    void SendSegments(bool all);
    // The preview at `ms`, as a typed time shows it: the key frame's picture, then the exact one.
    void ShowPictureAt(int32_t ms);
    int SeekPosition(int64_t micros) const;
    int64_t ShownMillisecond() const;
    // Keys (main_window_keys.cpp): true when `key`, on its way to `watched`, was the window's.
    bool FilterKey(QObject* watched, QKeyEvent* key);
    bool CutTabKey(QWidget* focus, QKeyEvent* key);
    // Key frames (main_window_sources.cpp): a scan on a thread of its own for each source.
    void StartKeyFrameScan();
    void StopKeyFrameScan();
    void OnKeyFrames(const QString& path, std::vector<int64_t> keys);
    void UpdateDirectStartNote();
    // The exact picture at a time, decoded on the pictures' thread; shown when it comes.
    void RequestExactPicture(int32_t ms);
    // `step`: one picture on from the one shown; the position then moves to where it starts.
    void RequestExactMicros(int64_t micros, bool step);
    // The size pictures are grabbed at: the preview's inside, within reason.
    QSize PreviewBox() const;
    // "position / length" under the seek bar, for previewPositionMs_.
    void ShowPositionText();
    void OnExactPicture(const QString& path, const QImage& picture, qint64 fromMicros, qint64 forMicros);
    // The time typed in a box, in milliseconds; nullopt when the text is no time.
    static std::optional<int32_t> TypedTime(const QLineEdit* box);
    QImage Image(int id) const;
    ConversionJob& Job();
    // Launches and the job monitor (main_window_launch.cpp).
    void SetUpProgress();
    void StopJob();
    std::vector<JoinFile> JoinFilesOfRows(const std::vector<int>& rows) const;
    // The direct-join refusal: which file differs from the first, in what, and the offer to re-encode.
    QString UnlikeFilesText(const std::vector<JoinFile>& files, const JoinMismatch& m) const;
    // Runs the window's job (job_) with the progress dialog; `what` names it in the queue.
    bool StartWorker(std::string what, bool direct);
    // main_window_queue.cpp
    void SetUpQueue();
    // A job started now waits in the queue: another runs or waits.
    bool QueueInstead() const;
    // Queues the job `job` was filled for, as `words`; false when the user declined the
    // container's changes.
    bool Enqueue(const ConversionJob& job, std::vector<std::string> words, std::string what, bool direct);
    void BeginWindowJob(std::string what, bool direct);
    void EndWindowJob();
    QString QueueText(const char* key) const;
    std::string JobWhat(const char* key, const std::string& file, const QString& a, const QString& b,
                        bool direct) const;
    std::string CutWhat(const CutLaunch& cut) const;
    std::string SegmentsWhat(const SegmentsLaunch& launch) const;
    std::string JoinWhat(const JoinLaunch& join) const;
    void KeepWaitingJobs();
    // Closing: running queued jobs are stopped if the user agrees (false: the window stays);
    // the waiting ones are kept.
    bool CloseQueue();
    void ApplyQueueTexts();
    // main_window_apply.cpp: the cut settings on every ticked join row, a queued job a file.
    void SetUpApplyToAll();
    MonitorTexts MonitorTextsNow() const;
    void ReadMonitorState();
    // The window and its progress dialog as the monitor sees them, for one call.
    void WithMonitorView(const std::function<void(MonitorView&)>& use);
    void OnMonitorTick();
    // The status words of a row (kept with it, so that they follow a language switch).
    void SetRowStatusText(int row, RowStatus status);
    QString RowStatusText(RowStatus status) const;
    static constexpr int kRowStatusRole = Qt::UserRole;  // on the status column's item
    QString Resolve(const QString& target) const;
    QString Text(const char* section, const char* key) const;

    WindowServices services_;
    std::optional<QPoint> pressedAt_;  // where the left button went down on the background
    SettingsStore store_;
    bool toldSettingsProblem_ = false;
    LanguageTable table_;
    QMap<int, QWidget*> items_;
    DialogLayout baseLayout_;         // the template's places, as built
    QMap<int, QRect> templateRects_;  // each item's place at the smallest size, texts fitted
    QSize templateSize_;
    QTimer regrabTimer_;  // a preview picture at the new size, once resizing pauses
    ExactPictures* exact_;
    int exactShown_ = 0;
    bool stepping_ = false;                  // the exact picture asked for is one picture on from the one shown
    Mark pendingMark_ = Mark::kNone;         // set at the position; takes the exact picture's time when it comes
    int64_t shownFrom_ = -1, shownFor_ = 0;  // the exact picture shown: when it starts, how long
    std::thread keyScan_;                    // finds the source's key frames; joined before the next
    std::atomic<bool> keyScanStop_{false};
    std::vector<int64_t> keyFrames_;
    PreviewPlayer* player_ = nullptr;  // playback in the preview; the file opens at the first play
    bool resumeAfterDrag_ = false;     // playback was held for a seek-bar drag
    double resumeSpeed_ = 1.0;
    bool playedToEnd_ = false;  // stopped by itself at the file's end: the next play starts over
    int64_t pausedAt_ = -1;     // where playback last stopped; playing on from there resumes at once
    QImage playFace_, pauseFace_;
    SegmentList* segmentList_ = nullptr;
    QPushButton* detectButton_ = nullptr;
    QAction *findSilences_ = nullptr, *findBlack_ = nullptr, *findScenes_ = nullptr;
    QPointer<DetectDialog> detectDialog_;  // the one open, deleted when closed
    SegmentsSender sendToJoinList_;
    bool restoringSegments_ = false;  // a source's kept segments are being shown, not changed
    bool toldSegmentsProblem_ = false;
    TrackList* trackList_ = nullptr;
    TimelineStrip* strip_ = nullptr;
    TimelineFeeder* feeder_ = nullptr;  // its worker joined before the window goes
    qint64 stripSeek_ = -1;             // the newest time a strip drag asks for, still to be shown
    struct TrackChoice {
        std::string list;      // as TrackList::Choice gives it
        bool playable = true;  // a picture or sound track is kept
    };
    QMap<QString, TrackChoice> trackChoices_;  // by file path, the choices made while the program runs
    std::unique_ptr<ConversionJob> job_;       // the window's job, run by worker_
    ConversionJob probe_;                      // the record files are probed into, apart from a running job
    FrameGrabber grabber_;
    QString cutSourcePath_;
    QMap<QString, int> turns_;  // the turn chosen for each file this run, in degrees clockwise
    MediaInfo cutInfo_;         // the cut source's, apart from the join list's probes
    QString previewImagePath_;
    int previewPositionMs_ = 0;
    bool grabScheduled_ = false;  // a grab for the newest seek-bar position is on its way
    int shownPosition_ = 0;
    int grabCount_ = 0;
    std::thread worker_;          // the job's worker; joined before the next job and at close
    bool jobRunning_ = false;     // the progress dialog is up
    bool closeAfterJob_ = false;  // the user chose to stop the job and close the window
    QTimer monitorTimer_;         // timer 1: the job monitor, every 500 ms
    CAVConvertDlg* progress_;
    MonitorState monitor_;
    QString lastOutputFolder_;
    std::vector<int> joinRows_;
    QueueRunner* queue_ = nullptr;
    QueuePanel* queuePanel_ = nullptr;
    int windowEntry_ = -1;  // the window's job in the queue while it runs

    QTabBar* tabs_;
    CHyperLink* helpLink_;
    QComboBox* languageBox_;
    QLabel* languageLabel_;
    CCheckListCtrl* sourceList_;
    PreviewFrame* preview_;
    CBitmapSlider* seekBar_;
    QLineEdit* startBox_;
    QLineEdit* endBox_;
    QLabel* lengthText_;
    QLabel* positionText_;
};

}  // namespace ulvane
