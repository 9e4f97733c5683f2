// The player: plays one file from a position, decoding its pictures and sound on threads of
// its own into bounded queues. It knows no window and no sound device: the window side calls
// Update and takes the picture due now (TakePicture, both from its paint timer) and the sound
// device pulls samples (ReadSound, from the device's thread). The sound clock leads; with no
// sound (no device, no sound track, muted by speed) the system clock does. A seek is a
// request the threads take up: the window's thread never waits for them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/frame_grabber.h"

namespace ulvane {

// What the sound device plays: interleaved signed 16-bit samples.
struct PlayerSoundFormat {
    int sampleRate = 48000;
    int channels = 2;
};

// One sound track of the file, as a menu lists it.
struct PlayerSoundTrack {
    int stream = -1;  // the stream's index in the file
    std::string codec;
    std::string language;  // "" when untagged
    std::string title;     // "" when untagged
    int channels = 0;
    bool isDefault = false;
};

struct PlayerInfo {
    int64_t durationMicros = 0;
    bool hasPictures = false;
    std::vector<PlayerSoundTrack> soundTracks;  // the default track first
};

// A picture handed out to paint: fitted as FrameGrabber fits the preview's (upright, in
// shape, for the box), shown from `fromMicros` on the timeline for `forMicros`. It starts at
// `sourceMicros` in the file (the time its exact still is grabbed at) and belongs to clip
// `clip` (-1 when the whole file plays, where the timeline is the file's own time).
struct PlayerPicture {
    ShownPicture picture;
    int64_t fromMicros = -1;
    int64_t forMicros = 0;
    int64_t sourceMicros = -1;
    int clip = -1;
};

// A part of the open file played as part of one timeline: from `startMicros` to `endMicros`
// of the file.
struct PlayerClip {
    int64_t startMicros = 0;
    int64_t endMicros = 0;
};

struct PlayerFigures {
    int64_t picturesShown = 0;    // handed out by TakePicture
    int64_t picturesDropped = 0;  // decoded but late, never handed out
    int64_t soundUnderruns = 0;   // pulls that found fewer samples ready than asked
    int64_t soundFrames = 0;      // sample frames of the runs' sound handed out (no fill for underruns)
};

class Player {
public:
    Player();
    ~Player();  // stops and joins its threads
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Opens `path` for pictures fitted in a `boxWidth` x `boxHeight` box, closing the file
    // before. False, with `error`, when the file cannot be played (the player is then closed).
    bool Open(const std::string& path, int boxWidth, int boxHeight, std::string& error);
    void Close();
    bool isOpen() const;
    const PlayerInfo& info() const;

    // The sound device's format, or none (no device, or it failed): set before Play; without
    // a device the player runs on the system clock and ReadSound is never called.
    void SetSoundDevice(bool present, PlayerSoundFormat format = {});
    // The device's delay from a pull to being heard; the clock runs that much behind the
    // samples pulled. Any thread.
    void SetSoundLatency(int64_t micros);
    // The track to play, a place in info().soundTracks (0: the default track).
    void ChooseSoundTrack(int place);
    // 0..1; and muted. Any thread.
    void SetVolume(double volume);
    void SetMuted(bool muted);
    // Pictures for a new box size from the next one decoded.
    void SetBox(int boxWidth, int boxHeight);

    // Plays `clips` one after another as one timeline, from 0 to the sum of their lengths:
    // each clip's pictures from the one shown at its start to the last starting before its
    // end, its sound cut at its start and end, so the sound runs on without a gap. Empty: the
    // whole file, whose timeline is the file's own time. Clips that are empty or outside the
    // file are left out. Every time below (Play, positions, pictures) is on the timeline.
    // Stops playback; a Play starts on the new timeline.
    void SetClips(std::vector<PlayerClip> clips);
    // The timeline's length: the file's, or the clips' sum.
    int64_t LengthMicros() const;
    // The clip at timeline time `at` and the file's time there; -1 (and `at`) with no clips.
    int ClipAt(int64_t at, int64_t& sourceMicros) const;

    // Plays from `fromMicros` at `speed`: 1, 2 or 4 forwards (sound only at 1), or a negative
    // speed: backwards, picture by picture. Plays until `untilMicros` (-1: the file's end)
    // and then stops there, or with `loop` starts again at `fromMicros`. A Play while playing
    // is a seek: playback goes on from the new position. Returns at once: the threads serve
    // the newest request, dropping what older ones left.
    void Play(int64_t fromMicros, double speed = 1.0, int64_t untilMicros = -1, bool loop = false);
    // Stops playback; returns the position: the start of the picture last handed out (else the
    // clock), which the window then shows as an exact still.
    int64_t Pause();
    // From the window's paint timer, before TakePicture: ends a run whose clock passed its end
    // (or starts a loop's next round). The getters below only read.
    void Update();
    bool playing() const;
    // True once playback stopped by itself (at the end or at `untilMicros`, not looping), as
    // Update found; cleared by Play.
    bool ended() const;
    double speed() const;

    // The playback position now, microseconds on the timeline.
    int64_t PositionMicros() const;
    // As Update last found: the clip playing (-1 with no clips) and the file's time there.
    int ClipPlaying() const;
    int64_t SourcePositionMicros() const;
    // The picture due at the clock now when it is another than the one handed out before:
    // true with it in `out`. Pictures whose time has passed are dropped and counted.
    bool TakePicture(PlayerPicture& out);
    // The device's pull: fills `bytes` (a whole number of sample frames) with the sound due,
    // silence where none is ready, while paused, muted or faster than 1x; advances the sound
    // clock by what it hands out. Returns `bytes`. One thread at a time.
    size_t ReadSound(uint8_t* out, size_t bytes);
    // For measuring: the source time of the sample the device is playing now (the sound
    // clock), -1 without sound.
    int64_t SoundHeardMicros() const;

    PlayerFigures figures() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace ulvane
