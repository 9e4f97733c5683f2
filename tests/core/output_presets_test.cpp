// The output lists and the rules that turn rows into job parameters.
#include <gtest/gtest.h>

#include "core/output_presets.h"

using namespace ulvane;

TEST(OutputPresets, ListsKeepTheirStoredRowOrder) {
    ASSERT_EQ(FormatPresets().size(), 10u);
    EXPECT_EQ(FormatPresets()[4].label, "WMV - Windows Media Video (*.wmv)");
    EXPECT_EQ(VideoBitRateLabels().size(), 14u);
    EXPECT_EQ(VideoBitRateLabels()[10], "20000 kbps");
    EXPECT_EQ(SizeLabels().size(), 10u);
    EXPECT_EQ(SizeLabels()[8], "2880*1440");
    EXPECT_EQ(FrameRateLabels(Dialog::Cut).size(), 14u);
    EXPECT_EQ(FrameRateLabels(Dialog::Join).size(), 11u);
    EXPECT_EQ(AudioBitRateLabels(Dialog::Cut).front(), "32 kbps");
    EXPECT_EQ(AudioBitRateLabels(Dialog::Join).front(), "64 kbps");
    EXPECT_EQ(SampleRateLabels(Dialog::Cut).front(), "22050 Hz");
    EXPECT_EQ(SampleRateLabels(Dialog::Join).front(), "44100 Hz");
    EXPECT_EQ(ChannelLabels()[kJoinChannelRow], "2 Channel Stereo");
}

TEST(OutputPresets, ExtensionComesFromTheLabel) {
    const char* expected[] = {".mp4", ".mp4", ".avi", ".flv", ".wmv", ".mov", ".mkv", ".mp4", ".mkv", ".mov"};
    for (size_t i = 0; i < FormatPresets().size(); ++i)
        EXPECT_EQ(PresetExtension(FormatPresets()[i].label), expected[i]) << i;
    EXPECT_EQ(PresetExtension("no dot"), "");
    EXPECT_EQ(PresetExtension("x.ab"), ".ab");
}

TEST(OutputPresets, ValueRules) {
    EXPECT_EQ(BitRateFromLabel("20000 kbps"), 20000000);
    EXPECT_EQ(BitRateFromLabel("32 kbps"), 32000);
    EXPECT_EQ(BitRateFromLabel("48000 Hz"), 48000);
    EXPECT_EQ(BitRateFromLabel(""), 0);
    EXPECT_EQ(BitRateFromLabel("fast"), 0);
    EXPECT_EQ(SizeFromLabel("1280*720").width, 1280);
    EXPECT_EQ(SizeFromLabel("1280*720").height, 720);
    EXPECT_EQ(SizeFromLabel("").width, 0);
    EXPECT_EQ(FrameRateFromLabel("29.97 fps"), 29.97);
    EXPECT_EQ(FrameRateFromLabel("14.985 fps"), 14.985);
    EXPECT_FALSE(FrameRateFromLabel("29.97 FPS"));  // exact, case-sensitive
    EXPECT_FALSE(FrameRateFromLabel(""));
    EXPECT_EQ(ChannelsFromLabel("5.1 Channel"), 6);
    EXPECT_FALSE(ChannelsFromLabel("Stereo"));
}

TEST(OutputPresets, SameStoredRowMeansDifferentValuesPerDialog) {
    const auto cut = ResolveRows(Dialog::Cut, {});
    const auto join = ResolveRows(Dialog::Join, {});
    ASSERT_TRUE(cut && join);
    EXPECT_EQ(cut->parameters.sampleRate, 22050);
    EXPECT_EQ(join->parameters.sampleRate, 44100);
    EXPECT_EQ(cut->parameters.outputFrameRate, 0.0);  // as the source
    EXPECT_EQ(join->parameters.outputFrameRate, 10.0);
    EXPECT_EQ(cut->parameters.audioBitRate, 32000);
    EXPECT_EQ(join->parameters.audioBitRate, 64000);
    EXPECT_EQ(cut->parameters.channels, 2);
    EXPECT_EQ(join->parameters.channels, 2);
}

TEST(OutputPresets, MovRowDiffersFromMp4RowOnlyInExtension) {
    RowChoice mp4, mov;
    mov.format = 5;
    const auto a = ResolveRows(Dialog::Cut, mp4), b = ResolveRows(Dialog::Cut, mov);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->parameters.videoCodecId, b->parameters.videoCodecId);
    EXPECT_EQ(a->parameters.audioCodecId, b->parameters.audioCodecId);
    EXPECT_EQ(a->extension, ".mp4");
    EXPECT_EQ(b->extension, ".mov");
}

TEST(OutputPresets, RowsOutsideTheirListAreRefused) {
    RowChoice r;
    r.framerate = 13;
    EXPECT_TRUE(ResolveRows(Dialog::Cut, r));
    EXPECT_FALSE(ResolveRows(Dialog::Join, r));  // the join list has ten rows
    r = {};
    r.audioquality = 7;
    EXPECT_TRUE(ResolveRows(Dialog::Cut, r));
    EXPECT_FALSE(ResolveRows(Dialog::Join, r));
    r = {};
    r.format = -1;
    EXPECT_FALSE(ResolveRows(Dialog::Cut, r));
}
