// Benchmark helper (not a test): playback through the Player as the window drives it, a
// paint loop taking the picture due every 5 ms and a fake sound device pulling 10 ms of
// samples at a time in real time (its latency one pull).
//   ulvane-player-bench play FILE SECONDS W H  -> pictures shown and dropped, underruns, CPU
//                                                seconds, and the sync of each flash picture
//                                                with the beep heard nearest to it
//   ulvane-player-bench start FILE COUNT W H   -> from Play at a paused picture to the first
//                                                new picture and the first sound, per position
//   ulvane-player-bench seek FILE COUNT W H    -> the same from a Play while playing (a seek)
//   ulvane-player-bench back FILE SECONDS W H  -> backwards at 1x from near the end: pictures
//                                                shown and dropped, CPU seconds
//   ulvane-player-bench result FILE COUNT W H  -> three 2 s clips out of order played as one
//                                                timeline, per round: from the play to the first
//                                                picture, pictures dropped, and the seams whose
//                                                first picture did not show
// The source for the sync: a white picture at each whole second, a loud beep starting then,
// and quiet sound between (so that the first sound is seen).
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/player.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr int64_t kPullMicros = 10000;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Pulls in real time; notes when (wall time heard: pull + position in it + latency) a beep
// starts, and when the first sound after `Mark()` was handed out.
class Device {
public:
    explicit Device(ulvane::Player& p) : player_(p) {
        player_.SetSoundDevice(true, {kRate, 2});
        player_.SetSoundLatency(kPullMicros);
        thread_ = std::thread([this] { Run(); });
    }
    ~Device() {
        stop_ = true;
        thread_.join();
    }
    void Mark() { marked_ = true; }
    bool heardSinceMark() const { return !marked_; }
    std::vector<Clock::time_point> Beeps() {
        std::lock_guard lock(m_);
        return beeps_;
    }

private:
    void Run() {
        std::vector<int16_t> buf(kRate / 100 * 2);
        int64_t quiet = 0;
        Clock::time_point next = Clock::now();
        while (!stop_) {
            const Clock::time_point pulled = Clock::now();
            player_.ReadSound(reinterpret_cast<uint8_t*>(buf.data()), buf.size() * 2);
            bool any = false;
            for (size_t i = 0; i < buf.size(); i += 2) {
                const int v = std::abs(buf[i]);
                any = any || v > 100;
                if (v < 8000) {
                    ++quiet;
                    continue;
                }
                if (quiet > kRate / 5) {
                    std::lock_guard lock(m_);
                    beeps_.push_back(pulled + std::chrono::microseconds(kPullMicros + i / 2 * 1000000 / kRate));
                }
                quiet = 0;
            }
            if (any) marked_ = false;
            next += std::chrono::microseconds(kPullMicros);
            std::this_thread::sleep_until(next);
        }
    }
    ulvane::Player& player_;
    std::thread thread_;
    std::atomic<bool> stop_{false}, marked_{false};
    std::mutex m_;
    std::vector<Clock::time_point> beeps_;
};

bool IsFlash(const ulvane::PlayerPicture& p) {
    uint64_t sum = 0;
    for (size_t i = 0; i < p.picture.rgb.size(); i += 97) sum += p.picture.rgb[i];
    return sum / std::max<size_t>(1, p.picture.rgb.size() / 97) > 200;
}

bool OpenOrSay(ulvane::Player& player, const std::string& file, int w, int h) {
    std::string error;
    if (player.Open(file, w, h, error)) return true;
    std::fprintf(stderr, "cannot open %s: %s\n", file.c_str(), error.c_str());
    return false;
}

int Play(const std::string& file, double seconds, int w, int h, bool backwards) {
    const double cpu0 = CpuSeconds();
    ulvane::Player player;
    if (!OpenOrSay(player, file, w, h)) return 1;
    Device device(player);
    const Clock::time_point t0 = Clock::now();
    if (backwards)
        player.Play(std::max<int64_t>(0, player.info().durationMicros - 1'000'000), -1.0);
    else
        player.Play(0);
    std::vector<Clock::time_point> flashes;
    ulvane::PlayerPicture pic;
    while (Ms(Clock::now() - t0) < seconds * 1000 && !player.ended()) {
        player.Update();
        if (player.TakePicture(pic) && IsFlash(pic)) flashes.push_back(Clock::now());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    player.Pause();
    const ulvane::PlayerFigures f = player.figures();
    const std::vector<Clock::time_point> beeps = device.Beeps();
    const double cpu = CpuSeconds() - cpu0;
    const int64_t all = f.picturesShown + f.picturesDropped;
    std::printf("shown %lld\ndropped %lld\ndropped_percent %.2f\nunderruns %lld\ncpu_seconds %.2f\n",
                static_cast<long long>(f.picturesShown), static_cast<long long>(f.picturesDropped),
                all ? 100.0 * f.picturesDropped / all : 0.0, static_cast<long long>(f.soundUnderruns), cpu);
    // Each flash shown against the beep heard nearest to it: positive when the picture is late.
    double worst = 0, sum = 0;
    int pairs = 0;
    for (const Clock::time_point& fl : flashes) {
        double best = 1e9;
        for (const Clock::time_point& b : beeps)
            if (std::fabs(Ms(fl - b)) < std::fabs(best)) best = Ms(fl - b);
        if (std::fabs(best) > 500) continue;
        worst = std::max(worst, std::fabs(best));
        sum += best;
        ++pairs;
    }
    std::printf("sync_pairs %d of %zu flashes, %zu beeps\nsync_mean_ms %.1f\nsync_worst_ms %.1f\n", pairs,
                flashes.size(), beeps.size(), pairs ? sum / pairs : 0.0, worst);
    return 0;
}

// Waits (up to 5 s) for the first picture and the first sound after `t0`; their delays in ms.
void FirstOf(ulvane::Player& player, Device& device, Clock::time_point t0, double& picture, double& sound) {
    picture = sound = -1;
    ulvane::PlayerPicture pic;
    while ((picture < 0 || sound < 0) && Ms(Clock::now() - t0) < 5000) {
        player.Update();
        if (picture < 0 && player.TakePicture(pic)) picture = Ms(Clock::now() - t0);
        if (sound < 0 && device.heardSinceMark()) sound = Ms(Clock::now() - t0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

double Median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int Latency(bool seek, const std::string& file, int count, int w, int h) {
    ulvane::Player player;
    if (!OpenOrSay(player, file, w, h)) return 1;
    Device device(player);
    const double duration = player.info().durationMicros / 1e6;
    std::vector<double> pictures, sounds;
    for (int i = 0; i < count; ++i) {
        // Spread over the file and over the places in a 2 s group of pictures.
        const int64_t at = static_cast<int64_t>((duration - 3) * 1e6 * (i + 0.37) / count);
        double picture = 0, sound = 0;
        if (seek) {
            player.Play(std::max<int64_t>(0, at - 1'500'000));
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            const Clock::time_point t0 = Clock::now();
            player.Play(at);
            device.Mark();  // no sound of the new run before its first picture
            FirstOf(player, device, t0, picture, sound);
        } else {
            player.Play(at);
            ulvane::PlayerPicture pic;
            for (const Clock::time_point t = Clock::now(); Ms(Clock::now() - t) < 400;) {
                player.Update();  // as the window paints
                player.TakePicture(pic);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            player.Pause();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the user looks at it
            const int64_t still = player.Pause();
            device.Mark();
            const Clock::time_point t0 = Clock::now();
            player.Play(still);
            FirstOf(player, device, t0, picture, sound);
        }
        player.Pause();
        std::printf("at %.3f picture_ms %.1f sound_ms %.1f\n", at / 1e6, picture, sound);
        pictures.push_back(picture);
        sounds.push_back(sound);
    }
    std::printf("median_picture_ms %.1f\nmedian_sound_ms %.1f\nworst_picture_ms %.1f\nworst_sound_ms %.1f\n",
                Median(pictures), Median(sounds), *std::max_element(pictures.begin(), pictures.end()),
                *std::max_element(sounds.begin(), sounds.end()));
    return 0;
}

// Rounds of a result of three clips, each starting somewhere else in its group of pictures
// (a key frame every 2 s), the second before the first in the file.
int Result(const std::string& file, int count, int w, int h) {
    ulvane::Player player;
    if (!OpenOrSay(player, file, w, h)) return 1;
    Device device(player);
    const int64_t duration = player.info().durationMicros;
    std::vector<double> firsts;
    int64_t droppedAll = 0, missedAll = 0;
    for (int i = 0; i < count; ++i) {
        const int64_t shift = (i * 370'000) % 2'000'000 + 100'000;
        const int64_t a = 8'000'000 + shift, b = 2'000'000 + shift / 2, c = 12'000'000 + (shift * 3) % 2'000'000;
        if (c + 2'000'000 > duration) {
            std::fprintf(stderr, "the source is too short: at least 15 s\n");
            return 1;
        }
        const std::vector<ulvane::PlayerClip> clips = {{a, a + 2'000'000}, {b, b + 2'000'000}, {c, c + 2'000'000}};
        const int64_t dropped0 = player.figures().picturesDropped;
        // As P does: the clips, then the play from the result's start.
        const Clock::time_point t0 = Clock::now();
        player.SetClips(clips);
        player.Play(0);
        double first = -1;
        int lastClip = -1, missed = 0;
        ulvane::PlayerPicture pic;
        while (!player.ended() && Ms(Clock::now() - t0) < 20000) {
            player.Update();
            if (player.TakePicture(pic)) {
                if (first < 0) first = Ms(Clock::now() - t0);
                // A clip's first picture shows from the clip's place: any other first is a miss.
                if (pic.clip != lastClip && pic.clip > 0 && pic.fromMicros != pic.clip * 2'000'000) ++missed;
                lastClip = pic.clip;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        player.Pause();
        const int64_t dropped = player.figures().picturesDropped - dropped0;
        std::printf("round %d clips %.2f %.2f %.2f first_picture_ms %.1f dropped %lld seams_missed %d\n", i, a / 1e6,
                    b / 1e6, c / 1e6, first, static_cast<long long>(dropped), missed);
        firsts.push_back(first);
        droppedAll += dropped;
        missedAll += missed;
    }
    std::printf(
        "median_first_picture_ms %.1f\nworst_first_picture_ms %.1f\ndropped_total %lld\nseams_missed %lld of %d\n",
        Median(firsts), *std::max_element(firsts.begin(), firsts.end()), static_cast<long long>(droppedAll),
        static_cast<long long>(missedAll), 2 * count);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && (std::strcmp(argv[1], "play") == 0 || std::strcmp(argv[1], "back") == 0))
        return Play(argv[2], std::atof(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), argv[1][0] == 'b');
    if (argc == 6 && (std::strcmp(argv[1], "start") == 0 || std::strcmp(argv[1], "seek") == 0))
        return Latency(argv[1][1] == 'e', argv[2], std::max(1, std::atoi(argv[3])), std::atoi(argv[4]),
                       std::atoi(argv[5]));
    if (argc == 6 && std::strcmp(argv[1], "result") == 0)
        return Result(argv[2], std::max(1, std::atoi(argv[3])), std::atoi(argv[4]), std::atoi(argv[5]));
    std::fprintf(stderr, "usage: %s play|back FILE SECONDS W H | start|seek|result FILE COUNT W H\n", argv[0]);
    return 2;
}
