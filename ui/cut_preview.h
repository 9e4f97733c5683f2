// CutPreview: the cut tab's picture of the loaded file and its place in it. It owns every
// decoder of that file the window uses: the frame grabber (key-frame pictures, on the window's
// thread), the exact pictures (a thread of their own), the player (its threads and the sound
// device's), the key-frame scan (a thread per file) and the timeline strip's feeder (its
// worker). Every move is one request: Seek at a precision, Step, Play, Pause, Shuttle; a
// newer request replaces the ones before it. It moves the seek bar's thumb and sets its
// ticks, writes the position text, and says through `pictureShown` which picture it shows.
#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/conversion_job.h"
#include "engine/frame_grabber.h"
#include "engine/player.h"

namespace ulvane {

class CBitmapSlider;
class ExactPictures;
class KeyFrameScan;
class PlayerControls;
class PreviewFrame;
class PreviewPlayer;
class TimelineFeeder;
class TimelineStrip;
struct WindowContext;

// Times shown and typed are whole milliseconds: one means the picture shown by the end of that
// millisecond, so a picture that starts within it is the one meant.
inline int64_t MillisecondMicros(int64_t ms) {
    return ms * 1000 + 999;
}
// The seek bar's place (0 to 1000) of a time in a file lasting `durationMicros`.
int SeekBarPlace(int64_t micros, int64_t durationMicros);

class CutPreview : public QObject {
    Q_OBJECT

public:
    // A key frame's picture is quick and follows a drag; the exact picture is the one on screen
    // at the time, decoded on from the key frame on the pictures' thread.
    enum class Precision { kKeyFrame, kExact };
    // The picture on screen: where it starts (the position when it is a key frame's), and
    // whether it is the exact picture there.
    struct Shown {
        int64_t micros = 0;
        bool exact = false;
    };

    CutPreview(const WindowContext& context, QObject* parent);
    ~CutPreview() override;  // every thread it started ends first

    // The file at `path` from its start, its pictures turned `turn` degrees clockwise.
    void Load(const QString& path, const MediaInfo& info, int turn);
    // The window closes: playback stops, the scan ends, the file is let go.
    void Close();

    // The picture at `micros` (as a whole millisecond). Playing, playback goes on from there.
    // Returns the number of the request; `pictureShown` names it with the exact picture.
    int Seek(int64_t micros, Precision precision);
    // The picture before (-1) or after (+1) the one shown; the position moves to its start.
    void Step(int pictures);
    // The key frame before (-1) or after (+1) the picture shown.
    void StepKeyFrame(int step);
    // The play button: plays from the picture shown, or pauses; with Shift held, the desktop's player.
    void Play();
    void TogglePlayback();
    void Pause();
    // J (-1), K (0) and L (+1): backwards, pause, forwards; again in the same direction, faster.
    void Shuttle(int direction);
    // From `from` to `to`, again and again while the loop box is ticked.
    void PlayRange(int64_t from, int64_t to);
    // P: the parts of the file an export takes, played one after another from the start (or,
    // when they play already, on from where they paused); while they play, a pause. The play
    // button, J, K and L then go on in them; a seek, a step or another play leaves them.
    void PlayResult(std::vector<PlayerClip> clips);
    bool playsResult() const;
    void OpenInDesktopPlayer();
    // The preview's pictures turned clockwise; the picture shown again, turned.
    void SetTurn(int degrees);
    // The picture shown again at the preview's new size, once resizing pauses.
    void Regrab();
    void ApplyTexts();
    void ShowForTab(bool cutTab);

    Shown OnScreen() const;
    bool playing() const;
    // Where the preview is and what it has shown.
    struct Figures {
        int positionMs = 0;      // the position, whose picture is shown
        int64_t shownFrom = -1;  // when the exact picture shown starts (-1: a key frame's picture)
        int exactShown = 0;      // how many exact pictures were shown
        int grabbedPlace = 0;    // the seek-bar place whose key frame's picture was grabbed last
        int grabs = 0;           // how many key frames' pictures were grabbed
    };
    Figures figures() const { return {positionMs_, shownFrom_, exactShown_, shownPosition_, grabCount_}; }
    const std::vector<int64_t>& keyFrames() const;
    PreviewPlayer* previewPlayer() const { return player_; }
    TimelineStrip* timelineStrip() const { return strip_; }
    TimelineFeeder* timelineFeeder() const { return feeder_; }
    QString snapshotPath() const;

signals:
    // A picture is on screen: where it starts and how long it lasts (0: unknown), whether it is
    // exact, and the request it answers (0: playback's own).
    void pictureShown(qint64 fromMicros, qint64 forMicros, bool exact, int request);
    void keyFramesFound();
    void playSegmentAsked();
    void playResultAsked();
    // While the parts of a result play: the clip on screen (-1 when they are left).
    void resultClipShown(int clip);

private:
    void GrabKeyPicture(int64_t micros);
    void TakeKeySeek();
    void PlaceThumb(int64_t micros);
    int RequestExact(int64_t micros, bool step);
    void OnExactPicture(const QString& path, const QImage& picture, qint64 fromMicros, qint64 forMicros);
    void OnKeyFrames();
    void ShowPositionText();
    QSize PreviewBox() const;
    bool ShowsExactPictureAtPosition() const;
    bool OpenPlayer();
    void StartPlayback(int64_t fromMicros, double speed, int64_t untilMicros = -1, bool loop = false);
    int64_t PlaybackStart() const;
    void FollowPlayback(int64_t micros);
    void OnPlaybackStopped(qint64 micros, qint64 shownFrom, qint64 shownFor, bool ended);
    // Playing, or held for a drag: playback goes on from `micros`. True when it did.
    bool PlayOnFrom(int64_t micros);
    // A seek, a step or another play: the file again, not the result's parts.
    void LeaveResult();
    // Where playback is, in the times Play takes: the result's while its parts play.
    int64_t PlayingAt() const;

    const WindowContext& context_;
    PreviewFrame* frame_;
    CBitmapSlider* seekBar_;
    TimelineStrip* strip_;
    TimelineFeeder* feeder_;
    FrameGrabber grabber_;
    ExactPictures* exact_;
    PreviewPlayer* player_;
    PlayerControls* controls_;
    KeyFrameScan* scan_;
    QTimer regrabTimer_;
    QString path_;
    MediaInfo info_;
    int positionMs_ = 0;
    int shownPosition_ = 0, grabCount_ = 0, exactShown_ = 0;
    int64_t shownFrom_ = -1, shownFor_ = 0;  // the exact picture shown: when it starts, how long
    // The newest request: its number, and whether it steps (the position then moves to the
    // picture's start). Answers to older ones are never shown.
    int request_ = 0;
    int64_t requestedAt_ = -1;  // the exact picture asked for last (-1: none since a drag)
    bool requestSteps_ = false;
    std::optional<int64_t> keySeek_;  // the newest time a drag asks for, still to be grabbed
    // Playback: held for a drag (and at what speed it goes on), stopped at the file's end (the
    // next play starts over), and where it last stopped (playing on from there resumes at once).
    std::optional<double> heldSpeed_;
    bool playedToEnd_ = false;
    int64_t pausedAt_ = -1;
    std::vector<PlayerClip> resultClips_;  // the result's parts while they play
    int resultClip_ = -1;                  // the clip last told by resultClipShown
};

}  // namespace ulvane
