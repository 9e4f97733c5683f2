// The player's state, shared by its units: the public calls (player.cpp), the reading and
// picture threads (player_pictures.cpp) and the sound path (player_sound.cpp).
//
// Requests. The window's thread never stops or joins a thread to seek: each Play (a seek, a
// loop's next round, another track) is a request with a serial number one higher than the
// last, and the newest wins. The reader takes the newest request, seeks, drops what older
// ones queued and reads on for it; each decoder, meeting the first packet of a newer request,
// flushes its codec and decodes for that one. Every item queued carries its request's serial,
// and whatever belongs to an older one is dropped wherever it is met (the queues, the
// picture due, the sound pulled). The three threads live from the first Play to Close.
//
// Who owns what. The reader thread owns the input (reads and seeks) and, backwards, a video
// decoder and scalers of its own (it decodes a group of pictures at a time, see
// BackwardLoop); the picture thread the forward video decoder and its scalers; the sound
// thread the sound decoder and resampler. The window's thread owns `run` (the newest request)
// and the public state; it calls Update from its paint timer, which ends a run at its end or
// starts a loop's next round; the getters only read. The threads share the queues (each with
// its own lock), `runLock` (the run's status below and the clock's moves) and atomics. The
// sound device's thread enters only ReadSound, under `runLock`.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "engine/bounded_queue.h"
#include "engine/media_input.h"
#include "engine/player.h"
#include "engine/player_queues.h"
#include "engine/shown_fit.h"

namespace ulvane {

// A stretch of one run on the timeline: the file from `from` to `to` (-1: its end), shown
// `offset` later on the timeline; `clip` its clip (-1: the file's own time, no clips), which
// runs from `clipStart` to `clipEnd` of the file: its pictures show within those.
struct PlaySpan {
    int64_t from = 0;
    int64_t to = -1;
    int64_t offset = 0;
    int clip = -1;
    int64_t clipStart = 0, clipEnd = -1;
};

// The clips played as one timeline (none: the file's own time).
class PlayTimeline {
public:
    // Keeps the clips that hold something within `duration` (<= 0: unknown).
    void Set(std::vector<PlayerClip> clips, int64_t duration);
    bool empty() const { return clips_.empty(); }
    int64_t Length(int64_t duration) const;
    // The clip at `at` and the file's time there (the last clip's end past the timeline's end).
    int Locate(int64_t at, int64_t& source) const;
    // The stretches that play the timeline from `from` to `until` (-1: its end), in order.
    std::vector<PlaySpan> Spans(int64_t from, int64_t until) const;

private:
    std::vector<PlayerClip> clips_;
    std::vector<int64_t> starts_;  // each clip's start on the timeline
};

// One request of the window's: play from `from` at `speed` until `until` (-1: the end), with
// `loop` again; `soundStream` the track decoded for the device (-1 none) in the device's
// format. `idle`: nothing to play (a backward run paused).
struct PlayRun {
    uint64_t serial = 0;
    // Forwards, the stretches from `from` to `until`; backwards, those from the timeline's
    // start to `from`, played last first.
    std::vector<PlaySpan> spans;
    int64_t from = 0;
    double speed = 1.0;
    int64_t until = -1;
    bool loop = false;
    bool idle = false;
    int soundStream = -1;
    int rate = 48000, channels = 2;
};

// The pictures of one thread, fitted for the box: its scalers and scratch room.
struct PictureFitter {
    FitScalers scaler;
    std::vector<uint8_t> turned;
};

struct Player::State {
    // Set by Open, kept until Close.
    std::string path;
    std::unique_ptr<MediaInput> in;
    PlayerInfo info;
    int64_t frameMicros = 40000;         // one picture's time when the stream does not say
    PlayTimeline timeline;               // the window's thread's; runs carry their spans
    std::atomic<bool> interrupt{false};  // ends FFmpeg's reads while the player closes

    // Settings, any thread.
    std::atomic<bool> devicePresent{false};
    std::atomic<int> deviceRate{48000}, deviceChannels{2};
    std::atomic<int64_t> latency{0};
    std::atomic<int> trackPlace{0};
    std::atomic<double> volume{1.0};
    std::atomic<bool> muted{false};
    std::atomic<uint64_t> box{0};  // width << 32 | height

    // The window's thread's: the newest request, and whether the threads run; the clip and
    // the file's time at the position, as Update found.
    PlayRun run;
    int clipPlaying = -1;
    int64_t sourcePosition = 0;
    bool threadsLive = false;
    std::thread reader, pictures, sound;
    // The newest request's serial: any thread reads it to drop stale work.
    std::atomic<uint64_t> latest{0};
    // The newest request, for the reader: the window replaces it, the reader takes it.
    BoundedQueue<PlayRun> requests{UpTo{1}};

    // The reader thread's.
    CodecContextPtr backDecoder;  // backwards: a video decoder of the reader's own
    PictureFitter backFitter;
    // The picture thread's.
    PictureFitter fitter;
    // A decoder for each of info.soundTracks, opened by Open (null: it cannot be decoded);
    // while the threads live, the sound thread's.
    std::vector<CodecContextPtr> soundDecoders;
    // The sound thread's: the decoder of the track it plays, and its resampler.
    AVCodecContext* soundDecoder = nullptr;
    SwrPtr resampler;

    // Shared by the threads and the window's thread.
    std::atomic<bool> playing{false}, ended{false};
    std::atomic<double> speed{1.0};      // the newest request's
    std::atomic<bool> soundUsed{false};  // the device plays this run's sound: the sound clock leads
    std::atomic<int64_t> lastShown{-1};  // fromMicros of the picture last handed out, -1 none this run
    std::atomic<int64_t> stillAt{0};     // the position while not playing
    std::atomic<int64_t> shown{0}, dropped{0}, underruns{0}, soundFrames{0};
    PacketQueues packets{latest};
    PictureQueue queue{latest};
    SoundQueue sounds{latest};
    PlayClock clock;

    // The newest run's status, under runLock; a thread reports for its run only while it is
    // the newest (Report).
    std::mutex runLock;
    PlayRun current;  // the newest request, for the decoding threads
    uint64_t statusSerial = 0;
    bool primed = false;                   // the first picture is queued (or there are none)
    bool picturesDone = false;             // the picture thread handed out its last picture
    bool soundDone = false;                // the sound thread queued its last sample
    int64_t lastEnd = -1;                  // the end of the last picture queued (backwards: its start)
    int64_t soundEnd = -1;                 // the end of the sound handed out
    int runRate = 48000, runChannels = 2;  // the device's format this run
    std::vector<int16_t> pulled;           // ReadSound's room

    // Runs `f()` under runLock when `serial` is the newest run's; false otherwise.
    template <typename F>
    bool Report(uint64_t serial, F f) {
        std::lock_guard lock(runLock);
        if (serial != statusSerial) return false;
        f();
        return true;
    }
    // The newest request when its serial is `serial`.
    bool CurrentRun(uint64_t serial, PlayRun& out) {
        std::lock_guard lock(runLock);
        if (current.serial != serial) return false;
        out = current;
        return true;
    }
    bool Primed() {
        std::lock_guard lock(runLock);
        return primed;
    }

    // player.cpp
    // Posts a new request; the threads start with the first.
    void Request(int64_t fromMicros, double runSpeed, int64_t untilMicros, bool loopRun, bool idle = false);
    void StartThreads();
    void StopThreads();
    // Ends the run when its clock has passed its end; a loop starts again.
    void Tick();
    int64_t Position() const;
    bool ClockLeads() const { return !soundUsed.load(); }

    // player_pictures.cpp
    void ReaderThread();
    void PictureThread();
    void ReadLoop(const PlayRun& run);
    void PictureLoop(const PlayRun& run);
    // One stretch of a forward run; false when the run is over (superseded, closing).
    bool PictureSpan(const PlayRun& run, const PlaySpan& span, bool last);
    void BackwardLoop(const PlayRun& run);
    // Backwards: the pictures of one group kept fitted at once, for the box now.
    size_t BackwardGroup() const;
    // Forwards: the pictures queued ahead, for the box now.
    size_t ForwardQueue() const;
    // Fits `f` (shown from `at` for `lasting`) and queues it; false when the run is over.
    bool Hand(const PlayRun& run, const PlaySpan& span, const AVFrame& f, int64_t at, int64_t lasting);
    // Fits `f`, shown from `at` of the file for `lasting`, placed on the timeline by `span`.
    bool Fit(PictureFitter& fit, const PlaySpan& span, const AVFrame& f, int64_t at, int64_t lasting, PlayerPicture& p);
    // The first picture is queued: a system clock starts at `at` (the run's start when -1).
    void MarkPrimed(const PlayRun& run, int64_t at = -1);
    // The picture thread handed out its last picture of `run`.
    void PicturesDone(const PlayRun& run);

    // player_sound.cpp
    void SoundThread();
    void SoundLoop(const PlayRun& run);
    // One stretch; false when the run is over (superseded, closing).
    bool SoundSpan(const PlayRun& run, const PlaySpan& span, bool last);
    // Queues resampled sound that starts at `at` of the file; false when the run is over or
    // the stretch's end is reached.
    bool Place(const PlayRun& run, const PlaySpan& span, int64_t at, std::vector<int16_t>&& samples, int64_t& written,
               bool& started);
    size_t Read(uint8_t* out, size_t bytes);
};

}  // namespace ulvane
