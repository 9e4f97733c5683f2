// The player, driven as the window drives it: a paint loop that takes the picture due and a
// fake sound device that pulls samples in real time. Judged by content: the pictures are the
// grabber's stills for the same times, the flash and the beep of each second meet, and the
// sound is the track chosen. Sync is measured from the times the player reports, never from
// how fast the machine was.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <thread>

#include "engine/frame_grabber.h"
#include "engine/player.h"
#include "tests/support/content.h"
#include "tests/support/media_tools.h"

using namespace ulvane;
using namespace ulvane::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 48000;
constexpr int64_t kChunkMicros = 10000;  // the fake device pulls 10 ms at a time
// The preview's box: smaller than the 320x240 sources, as a preview mostly is.
constexpr int kBoxW = 240, kBoxH = 180;

// 4 s at 25 fps, every picture different, the whole picture white for one picture at each
// whole second; a 1 kHz beep for the first 100 ms of each second; B-frames, AAC.
std::string FlashBeepFixture(const std::string& name, const std::vector<std::string>& streams) {
    std::vector<std::string> args = {"-f",
                                     "lavfi",
                                     "-i",
                                     "testsrc2=size=320x240:rate=25:duration=4,"
                                     "drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='eq(mod(n\\,25)\\,0)'",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "aevalsrc='if(lt(mod(t\\,1)\\,0.1)\\,0.5*sin(2*PI*1000*t)\\,0)':s=48000:d=4",
                                     "-c:v",
                                     "libx264",
                                     "-g",
                                     "50",
                                     "-bf",
                                     "2",
                                     "-pix_fmt",
                                     "yuv420p",
                                     "-c:a",
                                     "aac",
                                     "-b:a",
                                     "128k"};
    args.insert(args.end(), streams.begin(), streams.end());
    return Fixture(name, args);
}
std::string AvSource() {
    return FlashBeepFixture("player_av.mp4", {});
}

// Pulls ReadSound every 10 ms of the steady clock, as a device does, and notes for each pull
// its samples and the source time of its first sample: the device plays what it pulls at
// once (no latency), so the clock right after a pull stands at the first sample pulled.
class FakeDevice {
public:
    explicit FakeDevice(Player& p) : player_(p) {
        player_.SetSoundDevice(true, {kRate, 2});
        player_.SetSoundLatency(0);
    }
    ~FakeDevice() { Stop(); }
    void Start() {
        thread_ = std::thread([this] {
            std::vector<uint8_t> buf(kRate / 100 * 4);
            Clock::time_point next = Clock::now();
            while (!stop_) {
                player_.ReadSound(buf.data(), buf.size());
                const int64_t at = player_.SoundHeardMicros();
                Pull pull{at, std::vector<int16_t>(buf.size() / 2)};
                std::memcpy(pull.samples.data(), buf.data(), buf.size());
                pulls_.push_back(std::move(pull));
                next += std::chrono::microseconds(kChunkMicros);
                std::this_thread::sleep_until(next);
            }
        });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    struct Pull {
        int64_t at;  // source time of the first sample, -1 when no sound was playing
        std::vector<int16_t> samples;
    };
    // After Stop: the source times where the beep starts in what was pulled (after 150 ms
    // of quiet pulled: a loop's times go back).
    std::vector<int64_t> BeepStarts() const {
        std::vector<int64_t> starts;
        int64_t quiet = 0;  // sample frames pulled quiet since the last loud one
        for (const Pull& p : pulls_) {
            if (p.at < 0) continue;
            for (size_t i = 0; i < p.samples.size(); i += 2) {
                if (std::abs(p.samples[i]) < 1000) {
                    ++quiet;
                    continue;
                }
                if (quiet > kRate * 15 / 100) starts.push_back(p.at + static_cast<int64_t>(i / 2) * 1000000 / kRate);
                quiet = 0;
            }
        }
        return starts;
    }
    // After Stop: the sound pulled while the sound clock led (or all of it), one channel as floats.
    std::vector<float> Heard(bool all = false) const {
        std::vector<float> out;
        for (const Pull& p : pulls_)
            if (p.at >= 0 || all)
                for (size_t i = 0; i < p.samples.size(); i += 2) out.push_back(p.samples[i] / 32768.0f);
        return out;
    }

private:
    Player& player_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::vector<Pull> pulls_;  // the device thread's until Stop
};

// Updates the player and takes pictures as a paint timer does, every 4 ms, until `enough(pictures)` or 20 s.
template <typename Enough>
std::vector<PlayerPicture> Watch(Player& p, Enough enough) {
    std::vector<PlayerPicture> got;
    const Clock::time_point give_up = Clock::now() + std::chrono::seconds(20);
    while (!enough(got) && Clock::now() < give_up) {
        p.Update();
        PlayerPicture pic;
        if (p.TakePicture(pic)) got.push_back(std::move(pic));
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    return got;
}

bool IsFlash(const PlayerPicture& p) {
    uint64_t sum = 0;
    for (uint8_t v : p.picture.rgb) sum += v;
    return !p.picture.rgb.empty() && sum / p.picture.rgb.size() > 200;
}

// The grabber's still for the picture's time in the file, in the same box, must be the
// picture handed out; with no clips it shows as long on the timeline as in the file.
void ExpectStill(const std::string& file, const PlayerPicture& pic) {
    SCOPED_TRACE("picture at " + std::to_string(pic.fromMicros) + ", of the file " + std::to_string(pic.sourceMicros));
    FrameGrabber grabber;
    ShownPicture still;
    int64_t from = 0, lasting = 0;
    std::string error;
    ASSERT_TRUE(grabber.GrabExact(file, pic.sourceMicros / 1e6, kBoxW, kBoxH, still, from, lasting, error)) << error;
    EXPECT_EQ(pic.sourceMicros, from);
    if (pic.clip < 0) {
        EXPECT_EQ(pic.fromMicros, from);
        EXPECT_EQ(pic.forMicros, lasting);
    }
    EXPECT_EQ(pic.picture.width, still.width);
    EXPECT_EQ(pic.picture.height, still.height);
    EXPECT_TRUE(pic.picture.rgb == still.rgb);
}

}  // namespace

TEST(Player, PicturesAreTheStillsAndMeetTheSoundAndPauseKeepsTheOneShown) {
    const std::string file = AvSource();
    Player player;
    std::string error;
    ASSERT_TRUE(player.Open(file, kBoxW, kBoxH, error)) << error;
    EXPECT_TRUE(player.info().hasPictures);
    ASSERT_EQ(player.info().soundTracks.size(), 1u);
    FakeDevice device(player);
    device.Start();
    player.Play(800000);
    const auto pictures = Watch(player, [](auto& got) { return !got.empty() && got.back().fromMicros >= 2'300'000; });
    const int64_t paused = player.Pause();
    device.Stop();
    ASSERT_FALSE(pictures.empty());
    EXPECT_FALSE(player.playing());
    // Pause gives the picture on screen, and the still the window shows for it is the same.
    EXPECT_EQ(paused, pictures.back().fromMicros);
    ExpectStill(file, pictures.back());
    // The first picture is the one shown at the start; times only go forwards.
    ExpectStill(file, pictures.front());
    EXPECT_LE(pictures.front().fromMicros, 800000);
    for (size_t i = 1; i < pictures.size(); ++i) EXPECT_GT(pictures[i].fromMicros, pictures[i - 1].fromMicros);
    // The flash pictures of 1 s and 2 s, and the beeps heard, together: the target is 40 ms,
    // but the player places both exactly, and reading the clock after a pull is off by at
    // most the pull's 10 ms (the clock never passes the samples pulled).
    std::vector<int64_t> flashes;
    for (const PlayerPicture& p : pictures)
        if (IsFlash(p)) {
            flashes.push_back(p.fromMicros);
            ExpectStill(file, p);
        }
    const std::vector<int64_t> beeps = device.BeepStarts();
    ASSERT_EQ(flashes.size(), 2u);
    ASSERT_GE(beeps.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NEAR(flashes[i], (i + 1) * 1'000'000, 1000);
        EXPECT_NEAR(beeps[i], flashes[i], 15000);
    }
}

TEST(Player, PicturesAloneSoundAloneAndNoDevicePlayOnTheirClock) {
    const std::string av = AvSource();
    const std::string pictures = FlashBeepFixture("player_pictures.mp4", {"-an"});
    const std::string sound = FlashBeepFixture("player_sound.m4a", {"-vn"});
    struct Case {
        std::string name, file;
        bool device;
        double speed = 1.0;
    };
    for (const Case& c :
         {Case{"pictures alone", pictures, true}, Case{"sound alone", sound, true}, Case{"no sound device", av, false},
          Case{"4x, silent", av, true, 4.0}, Case{"sound alone backwards", sound, true, -1.0}}) {
        SCOPED_TRACE(c.name);
        Player player;
        std::string error;
        ASSERT_TRUE(player.Open(c.file, kBoxW, kBoxH, error)) << error;
        FakeDevice device(player);
        if (c.device)
            device.Start();
        else
            player.SetSoundDevice(false);
        const bool backwards = c.speed < 0;
        player.Play(backwards ? 1'200'000 : 700000, c.speed);
        // Until the clock has passed the flash and the beep of 1 s.
        const auto passed = [&] {
            return backwards ? player.PositionMicros() < 700000 : player.PositionMicros() > 1'200'000;
        };
        const auto got = Watch(player, [&](auto&) { return passed(); });
        EXPECT_TRUE(passed()) << player.PositionMicros();
        device.Stop();
        const bool hasPictures = c.file != sound;
        EXPECT_EQ(player.info().hasPictures, hasPictures);
        EXPECT_EQ(!got.empty(), hasPictures);
        for (size_t i = 1; i < got.size(); ++i) EXPECT_GT(got[i].fromMicros, got[i - 1].fromMicros);
        if (c.speed != 1.0) {
            // Faster or backwards: nothing is heard, and the clock still runs.
            const std::vector<float> pulled = device.Heard(true);
            ASSERT_FALSE(pulled.empty());
            EXPECT_EQ(Loudness(pulled, 0, 10, kRate), 0.0);
            continue;
        }
        if (hasPictures) {
            std::vector<const PlayerPicture*> flashes;
            for (const PlayerPicture& p : got)
                if (IsFlash(p)) flashes.push_back(&p);
            ASSERT_EQ(flashes.size(), 1u);
            EXPECT_EQ(flashes[0]->fromMicros, 1'000'000);
            ExpectStill(c.file, *flashes[0]);
        }
        const std::vector<int64_t> beeps = device.BeepStarts();
        if (c.file == sound) {
            ASSERT_EQ(beeps.size(), 1u);
            EXPECT_NEAR(beeps[0], 1'000'000, 15000);
        } else {
            EXPECT_TRUE(beeps.empty());
        }
    }
}

TEST(Player, ASegmentStopsAtItsEndOrRepeats) {
    const std::string file = AvSource();
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop ? "looping" : "once");
        Player player;
        std::string error;
        ASSERT_TRUE(player.Open(file, kBoxW, kBoxH, error)) << error;
        FakeDevice device(player);
        device.Start();
        player.Play(1'500'000, 1.0, 2'200'000, loop);
        // Once: until it ends. Looping: until a picture of the second round past the beep.
        const auto got = Watch(player, [&](auto& pics) {
            int rounds = 1;
            for (size_t i = 1; i < pics.size(); ++i) rounds += pics[i].fromMicros < pics[i - 1].fromMicros;
            return loop ? rounds == 2 && pics.back().fromMicros > 2'100'000 : player.ended();
        });
        const int64_t paused = player.Pause();
        device.Stop();
        ASSERT_FALSE(got.empty());
        for (const PlayerPicture& p : got) EXPECT_LT(p.fromMicros, 2'200'000);
        // The picture shown at the end is the one before the segment's end.
        EXPECT_GE(got.back().fromMicros + got.back().forMicros, loop ? 2'100'000 : 2'200'000);
        EXPECT_EQ(paused, got.back().fromMicros);
        EXPECT_EQ(player.ended(), !loop);
        // The beep of 2 s is heard once a round, on time.
        const std::vector<int64_t> beeps = device.BeepStarts();
        ASSERT_EQ(beeps.size(), loop ? 2u : 1u);
        for (int64_t b : beeps) EXPECT_NEAR(b, 2'000'000, 15000);
        if (loop) {
            // The second round starts again with the picture shown at the segment's start.
            size_t again = 1;
            while (again < got.size() && got[again].fromMicros > got[again - 1].fromMicros) ++again;
            ASSERT_LT(again, got.size());
            EXPECT_LE(got[again].fromMicros, 1'500'000);
            ExpectStill(file, got[again]);
        }
    }
}

TEST(Player, ASeekWhilePlayingGoesOnFromTheNewPosition) {
    const std::string file = AvSource();
    Player player;
    std::string error;
    ASSERT_TRUE(player.Open(file, kBoxW, kBoxH, error)) << error;
    FakeDevice device(player);
    device.Start();
    player.Play(300000);
    Watch(player, [](auto& pics) { return !pics.empty() && pics.back().fromMicros >= 500000; });
    // Seeks in quick succession, as a drag makes them: the newest wins, and nothing of the
    // ones before it is shown or heard.
    player.Play(1'500'000);
    player.Play(100'000);
    player.Play(2'600'000);
    const auto got = Watch(player, [](auto& pics) { return !pics.empty() && pics.back().fromMicros >= 3'200'000; });
    device.Stop();
    ASSERT_FALSE(got.empty());
    EXPECT_LE(got.front().fromMicros, 2'600'000);
    EXPECT_GT(got.front().fromMicros + got.front().forMicros, 2'600'000);
    ExpectStill(file, got.front());
    std::vector<int64_t> flashes;
    for (const PlayerPicture& p : got)
        if (IsFlash(p)) flashes.push_back(p.fromMicros);
    ASSERT_EQ(flashes, std::vector<int64_t>{3'000'000});
    const std::vector<int64_t> beeps = device.BeepStarts();
    ASSERT_FALSE(beeps.empty());
    for (int64_t b : beeps) EXPECT_NEAR(b, 3'000'000, 15000);
}

TEST(Player, BackwardsHandsOutThePicturesBeforeInTurn) {
    const std::string file = AvSource();
    Player player;
    std::string error;
    ASSERT_TRUE(player.Open(file, kBoxW, kBoxH, error)) << error;
    player.SetSoundDevice(false);
    // From the second group of pictures (a key frame every 2 s) back into the first.
    player.Play(2'200'000, -1.0);
    const auto got = Watch(player, [](auto& pics) { return !pics.empty() && pics.back().fromMicros < 1'800'000; });
    const int64_t paused = player.Pause();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(paused, got.back().fromMicros);
    EXPECT_LE(got.front().fromMicros, 2'200'000);
    EXPECT_GT(got.front().fromMicros + got.front().forMicros, 2'200'000);
    for (size_t i = 1; i < got.size(); ++i) EXPECT_LT(got[i].fromMicros, got[i - 1].fromMicros);
    ExpectStill(file, got.front());
    ExpectStill(file, got.back());
    for (const PlayerPicture& p : got)
        if (p.fromMicros < 2'000'000) {
            ExpectStill(file, p);  // the first from the group before
            break;
        }
    // Forwards again from there (J then L), and after the file is opened again: the pictures
    // go on from where asked.
    for (bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "opened again" : "forwards after backwards");
        if (reopen) {
            ASSERT_TRUE(player.Open(file, kBoxW, kBoxH, error)) << error;
        }
        player.Play(paused);
        const auto ahead = Watch(player, [&](auto& pics) { return pics.size() >= 3; });
        ASSERT_GE(ahead.size(), 3u);
        EXPECT_EQ(ahead.front().fromMicros, paused);
        EXPECT_GT(ahead.back().fromMicros, paused);
        ExpectStill(file, ahead.back());
        player.Pause();
    }
}

TEST(Player, ChosenTrackVolumeAndMuteShapeWhatIsHeard) {
    const std::string film = FilmWithTracksFixture();  // 440 Hz first, 880 Hz second
    struct Case {
        int track;
        double volume;
        bool muted;
    };
    double full = 0;  // the second track's loudness at full volume
    for (const Case& c : {Case{0, 1.0, false}, Case{1, 1.0, false}, Case{1, 0.5, false}, Case{1, 1.0, true}}) {
        SCOPED_TRACE("track " + std::to_string(c.track) + " volume " + std::to_string(c.volume) +
                     (c.muted ? " muted" : ""));
        Player player;
        std::string error;
        ASSERT_TRUE(player.Open(film, kBoxW, kBoxH, error)) << error;
        ASSERT_EQ(player.info().soundTracks.size(), 2u);
        player.ChooseSoundTrack(c.track);
        player.SetVolume(c.volume);
        player.SetMuted(c.muted);
        FakeDevice device(player);
        device.Start();
        player.Play(1'000'000);
        // Muted sound still moves the clock.
        Watch(player, [&](auto&) { return player.PositionMicros() > 1'400'000; });
        EXPECT_GT(player.PositionMicros(), 1'400'000);
        device.Stop();
        const std::vector<float> heard = device.Heard();
        const double seconds = static_cast<double>(heard.size()) / kRate;
        ASSERT_GT(seconds, 0.3);
        const double loud = Loudness(heard, 0.05, seconds, kRate);
        if (c.muted) {
            EXPECT_LT(loud, 1e-4);
            continue;
        }
        const double want = c.track == 0 ? 440 : 880, other = c.track == 0 ? 880 : 440;
        EXPECT_GT(ToneLevel(heard, want, 0.05, seconds, kRate), 5 * ToneLevel(heard, other, 0.05, seconds, kRate));
        if (c.track == 1 && c.volume == 1.0) full = loud;
        if (c.volume < 1.0) {
            EXPECT_NEAR(loud / full, c.volume, 0.05);
        }
    }
}

TEST(Player, BrokenFilesFailToOpenOrEndCleanly) {
    TempDir dir;
    const std::string garbage = dir / "garbage.mp4";
    {
        std::ofstream out(garbage, std::ios::binary);
        for (int i = 0; i < 100000; ++i) out.put(static_cast<char>((i * 7919) % 251));
    }
    const std::string empty = dir / "empty.mp4";
    std::ofstream(empty).close();
    // The header first, the pictures and sound cut off after 2.5 s or so.
    const std::string whole = FlashBeepFixture("player_front.mp4", {"-movflags", "+faststart"});
    const std::string truncated = dir / "truncated.mp4";
    {
        std::ifstream in(whole, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(truncated, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size() * 6 / 10));
    }
    // Pictures that never decode (every packet damaged), the sound whole.
    const std::string noPictures =
        Fixture("player_no_pictures.mp4", {"-i", AvSource(), "-c", "copy", "-bsf:v", "noise=amount=2"});
    struct Case {
        std::string file;
        bool opens, pictures;
    };
    for (const Case& c : {Case{garbage, false, false}, Case{empty, false, false}, Case{truncated, true, true},
                          Case{noPictures, true, false}}) {
        SCOPED_TRACE(c.file);
        Player player;
        std::string error;
        const bool opened = player.Open(c.file, kBoxW, kBoxH, error);
        EXPECT_EQ(opened, c.opens);
        if (!opened) {
            EXPECT_FALSE(error.empty());
            EXPECT_FALSE(player.isOpen());
            continue;
        }
        FakeDevice device(player);
        device.Start();
        player.Play(1'500'000);
        const auto got = Watch(player, [&](auto&) { return player.ended(); });
        device.Stop();
        EXPECT_TRUE(player.ended());
        EXPECT_EQ(!got.empty(), c.pictures);
        if (!c.pictures) {
            // The sound plays on its own, on time.
            const std::vector<int64_t> beeps = device.BeepStarts();
            ASSERT_EQ(beeps.size(), 2u);
            EXPECT_NEAR(beeps[0], 2'000'000, 15000);
            EXPECT_NEAR(beeps[1], 3'000'000, 15000);
        }
    }
}

namespace {

// Three clips of the flash and beep source, out of order, starting and ending between
// pictures: 2.50-3.20 s, 0.90-1.41 s and 1.95-2.33 s, 1.59 s in all. Each holds one whole
// second's flash and beep, at 0.50, 0.80 and 1.26 s of the timeline.
const std::vector<PlayerClip> kClips = {{2'500'000, 3'200'000}, {900'000, 1'410'000}, {1'950'000, 2'330'000}};
const std::vector<int64_t> kClipAt = {0, 700'000, 1'210'000};
constexpr int64_t kClipsLength = 1'590'000;

}  // namespace

TEST(Player, ClipsPlayAsOneTimelineExactAtEverySeam) {
    const std::string file = AvSource();
    Player player;
    std::string error;
    ASSERT_TRUE(player.Open(file, kBoxW, kBoxH, error)) << error;
    player.SetClips(kClips);
    EXPECT_EQ(player.LengthMicros(), kClipsLength);
    FakeDevice device(player);
    device.Start();
    player.Play(0);
    std::vector<int> clipsPlaying;  // as Update reports them, each change once
    std::vector<PlayerPicture> got;
    const Clock::time_point give_up = Clock::now() + std::chrono::seconds(30);
    while (!player.ended() && Clock::now() < give_up) {
        player.Update();
        const int clip = player.ClipPlaying();
        const int64_t source = player.SourcePositionMicros();
        ASSERT_GE(clip, 0);
        EXPECT_GE(source, kClips[clip].startMicros);
        EXPECT_LE(source, kClips[clip].endMicros);
        if (clipsPlaying.empty() || clipsPlaying.back() != clip) clipsPlaying.push_back(clip);
        if (PlayerPicture pic; player.TakePicture(pic)) got.push_back(std::move(pic));
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    device.Stop();
    ASSERT_TRUE(player.ended());
    EXPECT_EQ(clipsPlaying, (std::vector<int>{0, 1, 2}));
    // Each picture in its clip's place, in order (a picture may be dropped late on a busy
    // machine; the seams' pictures are checked without a clock below).
    ASSERT_FALSE(got.empty());
    for (size_t i = 0; i < got.size(); ++i) {
        const PlayerPicture& p = got[i];
        ASSERT_GE(p.clip, 0);
        const PlayerClip& c = kClips[p.clip];
        EXPECT_EQ(p.fromMicros, kClipAt[p.clip] + std::max(p.sourceMicros, c.startMicros) - c.startMicros);
        EXPECT_LT(p.sourceMicros, c.endMicros);
        if (i > 0) {
            EXPECT_GE(p.fromMicros, got[i - 1].fromMicros + got[i - 1].forMicros);
        }
    }
    // The flashes and the beeps of each clip meet at their places on the timeline.
    std::vector<int64_t> flashes;
    for (const PlayerPicture& p : got)
        if (IsFlash(p)) flashes.push_back(p.fromMicros);
    const std::vector<int64_t> expected = {500'000, 800'000, 1'260'000};
    EXPECT_EQ(flashes, expected);
    const std::vector<int64_t> beeps = device.BeepStarts();
    ASSERT_EQ(beeps.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(beeps[i], expected[i], 15000);
    // The sound runs on without a gap or an overlap: as long as the clips, to a sample a seam.
    EXPECT_NEAR(player.figures().soundFrames, kClipsLength * kRate / 1'000'000, 3);
    // Other clips after the end: a play from their start plays them, nothing of the old ones.
    player.SetClips({{500'000, 900'000}});
    player.Play(0);
    const auto again = Watch(player, [](auto& pics) { return !pics.empty(); });
    player.Pause();
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again.front().sourceMicros, 480'000);
    EXPECT_EQ(again.front().fromMicros, 0);
}

TEST(Player, ClipsSeekAndPlayBackwardsOnTheTimeline) {
    const std::string file = AvSource();
    Player player;
    std::string error;
    ASSERT_TRUE(player.Open(file, kBoxW, kBoxH, error)) << error;
    player.SetClips(kClips);
    player.SetSoundDevice(false);
    // The pictures on either side of each seam, as a seek there shows them first: the one
    // shown at the clip's start, from its place on; the last one starting before its end,
    // shown up to it.
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE("clip " + std::to_string(k));
        const int64_t length = kClips[k].endMicros - kClips[k].startMicros;
        for (const int64_t at : {kClipAt[k], kClipAt[k] + length - 1}) {
            player.Play(at);
            const auto pics = Watch(player, [](auto& got) { return !got.empty(); });
            player.Pause();
            ASSERT_FALSE(pics.empty());
            const PlayerPicture& p = pics.front();
            EXPECT_EQ(p.clip, k);
            ExpectStill(file, p);
            if (at == kClipAt[k]) {
                EXPECT_EQ(p.fromMicros, kClipAt[k]);
                EXPECT_LE(p.sourceMicros, kClips[k].startMicros);
                EXPECT_GT(p.sourceMicros + 40000, kClips[k].startMicros);
            } else {
                EXPECT_LT(p.sourceMicros, kClips[k].endMicros);
                EXPECT_GE(p.sourceMicros + 40000, kClips[k].endMicros);
                EXPECT_EQ(p.fromMicros + p.forMicros, kClipAt[k] + length);
            }
        }
    }
    // A seek into the third clip: 1.30 s is 2.04 s of the file, where a picture starts.
    player.Play(1'300'000);
    const auto ahead = Watch(player, [](auto& pics) { return pics.size() >= 2; });
    player.Pause();
    ASSERT_GE(ahead.size(), 2u);
    EXPECT_EQ(ahead.front().fromMicros, 1'300'000);
    EXPECT_EQ(ahead.front().sourceMicros, 2'040'000);
    EXPECT_EQ(ahead.front().clip, 2);
    ExpectStill(file, ahead.front());
    // Backwards from 0.76 s (0.96 s of the file, in the second clip) over the seam into the
    // first clip: its last pictures in turn, the one it ends on first.
    player.Play(760'000, -1.0);
    const auto back = Watch(player, [](auto& pics) { return !pics.empty() && pics.back().fromMicros < 600'000; });
    player.Pause();
    ASSERT_GE(back.size(), 3u);
    EXPECT_EQ(back.front().sourceMicros, 960'000);
    for (size_t i = 1; i < back.size(); ++i) EXPECT_LT(back[i].fromMicros, back[i - 1].fromMicros);
    const auto seam = std::find_if(back.begin(), back.end(), [](const PlayerPicture& p) { return p.clip == 0; });
    ASSERT_NE(seam, back.end());
    EXPECT_EQ(seam[-1].fromMicros, 700'000);  // the second clip's first picture, shown from its start
    EXPECT_EQ(seam->fromMicros + seam->forMicros, 700'000);
    EXPECT_EQ(seam->sourceMicros, 3'160'000);
    ExpectStill(file, *seam);
}
