// The player's state, shared by its units: the public calls (player.cpp), the reading and
// picture threads (player_pictures.cpp) and the sound path (player_sound.cpp).
//
// Who owns what. The window's thread calls Open, Play, Pause, Close and TakePicture; they
// start and join the threads of a run. While a run's threads live, the reader thread owns
// the input (reads and seeks), the picture thread the video decoder and its scaler (and,
// backwards, where no reader runs, the input too), the sound thread the sound decoder and
// resampler; between runs (threads joined) the window's
// thread owns them all. The threads share only the queues (each with its own lock), the
// clock (its own lock) and atomics. The sound device's thread enters only ReadSound, which
// takes `soundLock` so that a new run never meets a pull half done.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "engine/media_input.h"
#include "engine/player.h"
#include "engine/player_queues.h"
#include "engine/shown_fit.h"

namespace ulvane {

struct Player::State {
    // Set by Open, kept until Close.
    std::string path;
    std::unique_ptr<MediaInput> in;
    PlayerInfo info;
    int64_t frameMicros = 40000;         // one picture's time when the stream does not say
    std::atomic<bool> interrupt{false};  // ends FFmpeg's reads and waits while a run stops

    // Settings, any thread.
    std::atomic<bool> devicePresent{false};
    std::atomic<int> deviceRate{48000}, deviceChannels{2};
    std::atomic<int64_t> latency{0};
    std::atomic<int> trackPlace{0};
    std::atomic<double> volume{1.0};
    std::atomic<bool> muted{false};
    std::atomic<uint64_t> box{0};  // width << 32 | height

    // The run: set by the window's thread while no thread of a run lives.
    int64_t from = 0;
    std::atomic<int64_t> until{-1};
    std::atomic<bool> loop{false};
    std::atomic<double> speed{1.0};
    int soundStream = -1;  // the stream decoded for the device, -1 none this run
    CodecContextPtr soundDecoder;
    int soundDecoderStream = -1;  // the stream `soundDecoder` was opened for
    SwrPtr resampler;
    FitScalers scaler;
    int runRate = 48000, runChannels = 2;  // the device's format this run
    std::vector<uint8_t> turned;           // the picture thread's scratch room for turned pictures
    std::vector<int16_t> pulled;           // ReadSound's room, under soundLock
    std::thread reader, pictures, sound;
    bool threadsLive = false;

    // Shared by a run's threads and the window's thread.
    std::atomic<bool> stop{false};
    std::atomic<bool> playing{false}, ended{false};
    std::atomic<bool> soundUsed{false};     // the device plays this run's sound: the sound clock leads
    std::atomic<bool> primed{false};        // the first picture is queued (or there are none)
    std::atomic<bool> picturesDone{false};  // the picture thread handed out its last picture
    std::atomic<bool> soundDone{false};     // the sound thread queued its last sample
    std::atomic<int64_t> lastShown{-1};     // fromMicros of the picture last handed out, -1 none this run
    std::atomic<int64_t> lastEnd{-1};       // the end of the last picture queued (backwards: its start)
    std::atomic<int64_t> soundEnd{-1};      // the end of the sound handed out
    std::atomic<int64_t> stillAt{0};        // the position while not playing
    std::atomic<int64_t> shown{0}, dropped{0}, underruns{0};
    PacketQueues packets;
    PictureQueue queue;
    SoundQueue sounds;
    PlayClock clock;
    std::mutex soundLock;

    // player.cpp
    void StartRun(int64_t fromMicros, double runSpeed, int64_t untilMicros, bool loopRun);
    void StopRun();
    // Ends the run when its clock has passed its end; a loop starts again.
    void Tick();
    int64_t Position() const;
    bool ClockLeads() const { return !soundUsed.load(); }

    // player_pictures.cpp
    void ReadLoop();
    void PictureLoop();
    void BackwardLoop();
    // Backwards: the pictures of one group kept fitted at once, for the box now.
    size_t BackwardGroup() const;
    // Forwards: the pictures queued ahead, for the box now.
    size_t ForwardQueue() const;
    // Fits `f` (shown from `at` for `lasting`) and queues it; false when the run stops.
    bool Hand(const AVFrame& f, int64_t at, int64_t lasting);
    bool Fit(const AVFrame& f, int64_t at, int64_t lasting, PlayerPicture& p);
    // The first picture is queued: a system clock starts at `at` (the run's start when -1).
    void MarkPrimed(int64_t at = -1);

    // player_sound.cpp
    bool OpenSound();
    void SoundLoop();
    // Queues resampled sound that starts at `at`; false when the run stops or its end is reached.
    bool Place(int64_t at, std::vector<int16_t>&& samples, int64_t& written, bool& started);
    size_t Read(uint8_t* out, size_t bytes);
};

}  // namespace ulvane
