// The preview's playback: owns the engine's Player and the sound device, and on the window's
// thread only takes the picture due (a precise timer, every 10 ms) and hands it to the
// preview frame. It says where playback is, which picture is on screen, and where it stopped
// (paused, or at its end), so the window can show the exact still there.
#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/player.h"

namespace ulvane {

class PreviewFrame;
class SoundDevice;

class PreviewPlayer : public QObject {
    Q_OBJECT

public:
    explicit PreviewPlayer(PreviewFrame* frame, QObject* parent = nullptr);
    ~PreviewPlayer() override;  // stops playback, the sound device and the player's threads

    // Opens `path` for pictures fitted in `box`, closing the file before. False, with the
    // player's reason in `error`, when it cannot be played.
    bool Open(const QString& path, QSize box, QString& error);
    void Close();
    bool isOpen() const;
    const QString& path() const { return path_; }
    const PlayerInfo& info() const;
    // Pictures for the preview's new size, from the next one on.
    void SetBox(QSize box);

    // Parts of the file played one after another as one timeline (the result of an export),
    // or none: the file. Stops playback. With clips, Play's times are on that timeline, while
    // the pictures and positions reported stay the file's.
    void SetClips(std::vector<PlayerClip> clips);
    bool playsClips() const { return clips_; }
    // On the timeline: its length, the position (the picture on screen, else the clock) and
    // the clip there (-1 without clips).
    int64_t LengthMicros() const;
    int64_t TimelineMicros() const;
    int clipPlaying() const;

    // Plays from `fromMicros` at `speed` (1, 2, 4; negative: backwards) until `untilMicros`
    // (-1: the end), and with `loop` again from `fromMicros`. While playing: a seek.
    void Play(int64_t fromMicros, double speed = 1.0, int64_t untilMicros = -1, bool loop = false);
    // Stops; `stopped` says where. A hold (a seek-bar drag) says nothing: playback goes on
    // from wherever the drag ends.
    void Pause(bool hold = false);
    bool playing() const { return playing_; }
    double speed() const { return speed_; }
    int64_t untilMicros() const { return until_; }
    bool looping() const { return loop_; }
    // The picture on screen from playback: when it starts and how long it lasts (-1: none yet).
    int64_t shownFrom() const { return shownFrom_; }
    int64_t shownFor() const { return shownFor_; }
    // Where playback is: the picture on screen, or the clock for a file without pictures.
    int64_t PositionMicros() const;

    void SetVolume(double volume);
    void SetMuted(bool muted);
    // A place in info().soundTracks; playing, playback goes on with it from where it is.
    void ChooseSoundTrack(int place);
    int soundTrack() const { return track_; }
    // Whether the last Play found a sound device (else the system clock leads).
    bool soundDevicePresent() const { return soundPresent_; }

    PlayerFigures figures() const;
    // The longest time between two of the timer's turns while playing, for the figures.
    int64_t longestTurnGapMs() const { return longestGapMs_; }

signals:
    // A picture of playback is on screen: when it starts in the file and how long it shows.
    void pictureShown(qint64 fromMicros, qint64 forMicros);
    // Playback's place, each turn of the timer.
    void positionChanged(qint64 micros);
    // Playback stopped (paused, or `ended` by itself at its end or its `until`): at `micros`,
    // the picture last shown (`shownFrom`, lasting `shownFor`; -1 without pictures) on screen.
    void stopped(qint64 micros, qint64 shownFrom, qint64 shownFor, bool ended);
    void playingChanged(bool playing);

private:
    void Turn();
    void StopTimer();
    void Stop(bool hold, bool ended);

    std::unique_ptr<Player> player_;
    std::unique_ptr<SoundDevice> sound_;
    PreviewFrame* frame_;
    QTimer timer_;
    QString path_;
    bool playing_ = false;
    bool soundPresent_ = false;
    double speed_ = 1.0;
    int64_t until_ = -1;
    bool loop_ = false;
    int track_ = 0;
    int64_t shownFrom_ = -1, shownFor_ = 0;
    bool clips_ = false;
    int64_t shownAt_ = -1;  // where the picture on screen shows on the timeline
    int64_t lastTurnMs_ = -1, longestGapMs_ = 0;
};

}  // namespace ulvane
