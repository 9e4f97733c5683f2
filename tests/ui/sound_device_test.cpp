// The sound device against a real output: scripts/test.sh starts a PulseAudio server with a
// null sink (it plays nothing aloud, in real time). Skipped where no sound output exists.
#include <gtest/gtest.h>

#include "tests/support/eventually.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <cstdlib>

#include "engine/player.h"
#include "tests/ui/segment_media.h"
#include "ui/sound_device.h"

using namespace ulvane;
using namespace ulvane::test;

TEST(SoundDevice, TheSinkPullsThePlayersSoundAndItsClockLeadsThePictures) {
    if (QMediaDevices::defaultAudioOutput().isNull())
        GTEST_SKIP() << "no sound output here (scripts/test.sh starts a PulseAudio null sink)";
    Player player;
    std::string error;
    ASSERT_TRUE(player.Open(PicturesAndTone("sound_device_film.mp4", 4).toStdString(), 160, 120, error)) << error;
    SoundDevice device(player);
    ASSERT_TRUE(device.Open());
    EXPECT_GT(device.sampleRate(), 0);
    EXPECT_GT(device.channels(), 0);
    // Nothing is heard before playback: the sound clock stands.
    player.Play(0);
    // The sound clock moves only by what the sink pulls, at the sink's pace.
    EXPECT_TRUE(Eventually([&] { return player.SoundHeardMicros() > 1'000'000; }, 20000));
    // The pictures follow the sound: the position is the sound's, within the tolerance a
    // loaded machine needs.
    EXPECT_LT(std::abs(player.PositionMicros() - player.SoundHeardMicros()), 250'000);
    const int64_t at = player.Pause();
    EXPECT_GT(at, 900'000);
    device.Close();
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.sampleRate(), 0);
}

TEST(SoundDevice, PlaysOnAfterTheDeviceIsClosedOnTheSystemClock) {
    if (QMediaDevices::defaultAudioOutput().isNull())
        GTEST_SKIP() << "no sound output here (scripts/test.sh starts a PulseAudio null sink)";
    Player player;
    std::string error;
    ASSERT_TRUE(player.Open(PicturesAndTone("sound_device_film.mp4", 4).toStdString(), 160, 120, error)) << error;
    {
        SoundDevice device(player);
        ASSERT_TRUE(device.Open());
    }  // gone: the player was told there is no device
    player.Play(0);
    EXPECT_TRUE(Eventually([&] { return player.PositionMicros() > 500'000; }, 20000));
    EXPECT_EQ(player.SoundHeardMicros(), -1) << "no sound clock without a device";
    player.Pause();
}
