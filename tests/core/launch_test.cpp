// The cut and join launches: from chosen rows and files to the job record's fields.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "core/launch.h"
#include "engine/codec_names.h"

using namespace ulvane;

namespace {

// A file system holding exactly `files`.
ExistsTest Holding(std::set<std::string> files) {
    return [files = std::move(files)](const std::string& p) { return files.count(p) > 0; };
}

OutputChoice Output(bool direct, RowChoice rows, std::string name = "out") {
    return {direct, rows, "/o", std::move(name), false, ""};
}

JoinFile File(std::string path, std::string size, int64_t micros) {
    JoinFile f;
    f.path = path;
    f.type = path.substr(path.rfind('.') + 1);
    f.size = std::move(size);
    f.lengthMicros = micros;
    return f;
}

int Video(const char* name) {
    return VideoCodecIdFromName(name).value();
}
int Audio(const char* name) {
    return AudioCodecIdFromName(name).value();
}

}  // namespace

TEST(Launch, EveryFormatRowNamesCodecsTheTableKnows) {
    // So a format row never leaves a codec id as it was.
    for (const OutputPreset& p : FormatPresets()) {
        EXPECT_TRUE(VideoCodecIdFromName(p.videoCodecName)) << p.label;
        EXPECT_TRUE(AudioCodecIdFromName(p.audioCodecName)) << p.label;
    }
}

TEST(Launch, RowsInTheirListsResolveAsThePresetTablesSay) {
    for (Dialog d : {Dialog::Cut, Dialog::Join}) {
        const RowChoice rows{4, 7, 8, 3, 2, 1};
        const ResolvedPreset a = ResolveOutput(d, rows, OutputParameters{});
        const ResolvedPreset b = ResolveRows(d, rows).value();
        EXPECT_EQ(a.extension, b.extension);
        EXPECT_EQ(a.parameters.videoCodecId, b.parameters.videoCodecId);
        EXPECT_EQ(a.parameters.audioCodecId, b.parameters.audioCodecId);
        EXPECT_EQ(a.parameters.videoBitRate, b.parameters.videoBitRate);
        EXPECT_EQ(a.parameters.outputWidth, b.parameters.outputWidth);
        EXPECT_EQ(a.parameters.outputHeight, b.parameters.outputHeight);
        EXPECT_EQ(a.parameters.outputFrameRate, b.parameters.outputFrameRate);
        EXPECT_EQ(a.parameters.audioBitRate, b.parameters.audioBitRate);
        EXPECT_EQ(a.parameters.sampleRate, b.parameters.sampleRate);
        EXPECT_EQ(a.parameters.channels, 2);
    }
    const ResolvedPreset wmv = ResolveOutput(Dialog::Join, {4, 7, 8, 3, 2, 1}, OutputParameters{});
    EXPECT_EQ(wmv.extension, ".wmv");
    EXPECT_EQ(wmv.parameters.videoCodecId, Video("WMV2"));
    EXPECT_EQ(wmv.parameters.audioCodecId, Audio("WMA8"));
    EXPECT_EQ(wmv.parameters.videoBitRate, 8000000);
    EXPECT_EQ(wmv.parameters.outputWidth, 2880);
    EXPECT_EQ(wmv.parameters.outputFrameRate, 23.975);
    EXPECT_EQ(wmv.parameters.audioBitRate, 128000);
    EXPECT_EQ(wmv.parameters.sampleRate, 48000);
}

TEST(Launch, ARowOutsideItsListGivesNoValue) {
    OutputParameters current;
    current.videoCodecId = 77;
    current.audioCodecId = 88;
    current.videoBitRate = 123;
    const ResolvedPreset r = ResolveOutput(Dialog::Join, {-1, 11, -1, 10, 7, 4}, current);
    EXPECT_EQ(r.extension, "");
    EXPECT_EQ(r.parameters.videoCodecId, 77);  // kept
    EXPECT_EQ(r.parameters.audioCodecId, 88);
    EXPECT_EQ(r.parameters.videoBitRate, 0);
    EXPECT_EQ(r.parameters.outputWidth, 0);
    EXPECT_EQ(r.parameters.outputHeight, 0);
    EXPECT_EQ(r.parameters.outputFrameRate, 0.0);
    EXPECT_EQ(r.parameters.audioBitRate, 0);
    EXPECT_EQ(r.parameters.sampleRate, 0);
    EXPECT_EQ(r.parameters.channels, 2);
    // One row out, the others as chosen.
    const ResolvedPreset one = ResolveOutput(Dialog::Cut, {1, 0, -1, 1, 0, 0}, current);
    EXPECT_EQ(one.extension, ".mp4");
    EXPECT_EQ(one.parameters.videoCodecId, Video("H.264"));
    EXPECT_EQ(one.parameters.videoBitRate, 1500000);
    EXPECT_EQ(one.parameters.outputWidth, 0);
    EXPECT_EQ(one.parameters.outputFrameRate, 8.0);
}

TEST(Launch, ADirectCutCopiesIntoTheSourcesContainer) {
    ConversionJob job;
    PrepareCutJob(job);
    EXPECT_EQ(job.progressPercent.load(), -1);  // no progress line until filled
    EXPECT_EQ(job.displayCount, 0);
    const CutLaunch cut{"/v/clip.mkv", 1500, 4250, Output(true, {2, 0, 0, 0, 0, 0}, "clip"), ""};
    ASSERT_TRUE(FillCutJob(job, cut, Holding({"/o/clip.mkv"})).ok());
    EXPECT_FALSE(job.joinMode);
    EXPECT_FALSE(job.reencode);
    EXPECT_EQ(job.inputCount, 1);
    EXPECT_EQ(job.inputPaths[0], "/v/clip.mkv");
    EXPECT_EQ(job.outputPaths[0], "/o/clip(0).mkv");  // never over an existing file
    EXPECT_DOUBLE_EQ(job.segmentStart[0], 1.5);
    EXPECT_DOUBLE_EQ(job.segmentEnd[0], 4.25);
    EXPECT_DOUBLE_EQ(job.segmentLength[0], 2.75);
    EXPECT_EQ(job.currentInput.load(), -1);
    EXPECT_EQ(job.progressPercent.load(), 0);
    EXPECT_FALSE(job.cancelRequested.load());
    // The rows' parameters are on the job even though a direct job does not read them.
    EXPECT_EQ(job.videoCodecId, Video("MPEG4"));
    EXPECT_EQ(job.audioCodecId, Audio("MP3"));
    EXPECT_FALSE(job.exactCut);
    // The exact direct cut is a direct cut that marks its job so; re-encoding leaves the mark off.
    OutputChoice exact = Output(true, {}, "clip");
    exact.exact = true;
    PrepareCutJob(job);
    ASSERT_TRUE(FillCutJob(job, {"/v/clip.mkv", 1500, 4250, exact, ""}, Holding({})).ok());
    EXPECT_TRUE(job.exactCut);
    EXPECT_FALSE(job.reencode);
    exact.direct = false;
    PrepareCutJob(job);
    ASSERT_TRUE(FillCutJob(job, {"/v/clip.mkv", 1500, 4250, exact, ""}, Holding({})).ok());
    EXPECT_FALSE(job.exactCut);
    // A name typed with the output's extension keeps one; one too long for a file name is
    // refused before anything is filled.
    PrepareCutJob(job);
    ASSERT_TRUE(FillCutJob(job, {"/v/clip.mkv", 0, 1000, Output(true, {}, "take.MKV"), ""}, Holding({})).ok());
    EXPECT_EQ(job.outputPaths[0], "/o/take.mkv");
    PrepareCutJob(job);
    const LaunchResult tooLong =
        FillCutJob(job, {"/v/clip.mkv", 0, 1000, Output(true, {}, std::string(250, 'n')), ""}, Holding({}));
    EXPECT_EQ(tooLong.status, LaunchStatus::NameTooLong);
    EXPECT_EQ(job.currentInput.load(), -1);
    EXPECT_EQ(job.progressPercent.load(), -1);
}

TEST(Launch, AnIndirectCutTakesThePresetsContainerAndParameters) {
    ConversionJob job;
    PrepareCutJob(job);
    job.cancelRequested.store(true);
    const CutLaunch cut{"/v/clip", 0, 1000, Output(false, {6, 1, 1, 0, 2, 2}, "short"), ""};
    ASSERT_TRUE(FillCutJob(job, cut, Holding({})).ok());
    EXPECT_TRUE(job.reencode);
    EXPECT_EQ(job.outputPaths[0], "/o/short.mkv");
    EXPECT_EQ(job.videoCodecId, Video("H.264"));
    EXPECT_EQ(job.audioCodecId, Audio("VORBIS"));
    EXPECT_EQ(job.videoBitRate, 2000000);
    EXPECT_EQ(job.outputWidth, 640);
    EXPECT_EQ(job.outputHeight, 480);
    EXPECT_EQ(job.outputFrameRate, 0.0);  // row 0: as the source
    EXPECT_EQ(job.audioBitRate, 96000);
    EXPECT_EQ(job.sampleRate, 44100);
    EXPECT_EQ(job.channels, 2);
    EXPECT_FALSE(job.cancelRequested.load());
}

TEST(Launch, ADirectCutOfASourceWithoutExtensionIsRefused) {
    ConversionJob job;
    PrepareCutJob(job);
    const LaunchResult r = FillCutJob(job, {"/v.d/clip", 0, 1000, Output(true, {}), ""}, Holding({}));
    EXPECT_EQ(r.status, LaunchStatus::NoExtension);
    EXPECT_EQ(job.outputPaths[0], "");  // left as prepared
    EXPECT_EQ(job.progressPercent.load(), -1);
    // An indirect cut of a format row outside its list has no container either.
    EXPECT_EQ(FillCutJob(job, {"/v/clip.mp4", 0, 1000, Output(false, {99, 0, 0, 0, 0, 0}), ""}, Holding({})).status,
              LaunchStatus::NoExtension);
}

TEST(Launch, ADirectJoinKeepsEachFilesContainer) {
    ConversionJob job;
    PrepareJoinJob(job, 3);
    EXPECT_EQ(job.displayCount, 3);
    JoinLaunch join{{File("/v/a.mp4", "320*240", 2'900'000), File("/v/b.mp4", "320*240", 2'000'000),
                     File("/v/c.mp4", "320*240", 1'999'999)},
                    Output(true, {}, "all")};
    ASSERT_TRUE(FillJoinJob(job, join, Holding({"/o/all.mp4"})).ok());
    EXPECT_TRUE(job.joinMode);
    EXPECT_FALSE(job.reencode);
    EXPECT_EQ(job.inputCount, 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(job.inputPaths[k], join.files[static_cast<size_t>(k)].path);
        EXPECT_EQ(job.outputPaths[k], "/o/all(0).mp4");
    }
    EXPECT_EQ(job.joinTotalSeconds, 5);  // 2 + 2 + 1, each cut to whole seconds
    EXPECT_EQ(job.channels, 2);          // the hidden channel list's row
    EXPECT_EQ(job.outputFrameRate, 10.0);
    EXPECT_EQ(job.currentInput.load(), -1);
    EXPECT_EQ(job.progressPercent.load(), 0);
}

TEST(Launch, ADirectJoinOfUnlikeFilesIsRefusedAndAnIndirectOneIsNot) {
    JoinLaunch join{{File("/v/a.mp4", "320*240", 1'000'000), File("/v/b.mp4", "640*480", 1'000'000)},
                    Output(true, {}, "all")};
    ConversionJob job;
    PrepareJoinJob(job, 2);
    EXPECT_EQ(FillJoinJob(job, join, Holding({})).status, LaunchStatus::UnlikeFiles);
    EXPECT_EQ(job.outputPaths[0], "");
    EXPECT_EQ(job.joinTotalSeconds, 0);
    join.output.direct = false;
    join.output.rows.format = 3;
    ASSERT_TRUE(FillJoinJob(job, join, Holding({})).ok());
    EXPECT_TRUE(job.reencode);
    EXPECT_EQ(job.outputPaths[0], "/o/all.flv");
    EXPECT_EQ(job.outputPaths[1], "/o/all.flv");
    EXPECT_EQ(job.videoCodecId, Video("FLV"));
    EXPECT_EQ(job.audioCodecId, Audio("MP3"));
    EXPECT_EQ(job.joinTotalSeconds, 2);
}

TEST(Launch, ADirectJoinNamesTheFileWithoutExtension) {
    JoinFile bare = File("/v/a.mp4", "320*240", 0);
    bare.path = "/v.x/b";
    JoinLaunch join{{File("/v/a.mp4", "320*240", 0), bare}, Output(true, {})};
    ConversionJob job;
    PrepareJoinJob(job, 2);
    const LaunchResult r = FillJoinJob(job, join, Holding({}));
    EXPECT_EQ(r.status, LaunchStatus::NoExtension);
    EXPECT_EQ(r.input, 1);
}

TEST(Launch, DirectJoinCompatibilityComparesTypeAndSizeTexts) {
    EXPECT_TRUE(DirectJoinCompatible({}));
    EXPECT_TRUE(DirectJoinCompatible({File("/a.mp4", "320*240", 0)}));
    EXPECT_TRUE(DirectJoinCompatible({File("/a.mp4", "320*240", 0), File("/b.mp4", "320*240", 0)}));
    EXPECT_FALSE(DirectJoinCompatible({File("/a.mp4", "320*240", 0), File("/b.mp4", "640*480", 0)}));
    EXPECT_TRUE(DirectJoinCompatible({File("/a.mp4", "320*240", 0), File("/b.MP4", "320*240", 0)}));  // one type
    EXPECT_FALSE(DirectJoinCompatible({File("/a.mp4", "320*240", 0), File("/b.mkv", "320*240", 0)}));
    // A file the probe could not describe is left out of the comparison.
    JoinFile unknown = File("/c.avi", "0*0", 0);
    unknown.described = false;
    EXPECT_TRUE(DirectJoinCompatible({File("/a.mp4", "320*240", 0), unknown, File("/b.mp4", "320*240", 0)}));
    EXPECT_FALSE(DirectJoinCompatible({File("/a.mp4", "320*240", 0), unknown, File("/b.mp4", "1*1", 0)}));
}

TEST(Launch, TheRefusalNamesTheFirstUnlikeFileAndWhatDiffers) {
    const auto av = [](std::string path, std::string video, std::string audio, int rate, int channels) {
        JoinFile f = File(std::move(path), "640*360", 0);
        f.videoCodec = std::move(video);
        f.audioCodec = std::move(audio);
        f.sampleRate = rate;
        f.channels = channels;
        return f;
    };
    const JoinFile a = av("/a.mp4", "h264", "aac", 48000, 2);
    const auto mismatch = [&](std::vector<JoinFile> rest) {
        rest.insert(rest.begin(), a);
        return FirstDirectJoinMismatch(rest);
    };
    EXPECT_FALSE(mismatch({a, a}));
    // Each parameter, named with both values; the first unlike file is the one named.
    auto m = mismatch({av("/b.mp4", "hevc", "aac", 48000, 2), av("/c.mp4", "h264", "mp3", 48000, 2)});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->file, 1);
    EXPECT_EQ(m->parameter, JoinParameter::VideoCodec);
    EXPECT_EQ(m->value, "hevc");
    EXPECT_EQ(m->firstValue, "h264");
    m = mismatch({av("/b.mp4", "h264", "mp3", 48000, 2)});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->parameter, JoinParameter::AudioCodec);
    m = mismatch({av("/b.mp4", "h264", "aac", 44100, 2)});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->parameter, JoinParameter::SampleRate);
    EXPECT_EQ(m->value, "44100 Hz");
    m = mismatch({av("/b.mp4", "h264", "aac", 48000, 1)});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->parameter, JoinParameter::Channels);
    JoinFile wide = a;
    wide.size = "1280*720";
    m = mismatch({wide});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->parameter, JoinParameter::PictureSize);
    EXPECT_EQ(m->value, "1280*720");
    EXPECT_EQ(m->firstValue, "640*360");
    // The other sound and subtitle tracks, in order, are one parameter: each is copied.
    JoinFile tracks = a, otherTracks = a;
    tracks.otherTracks = "ac3, subrip";
    otherTracks.otherTracks = "ac3, ass";
    m = FirstDirectJoinMismatch({tracks, tracks, otherTracks});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->file, 2);
    EXPECT_EQ(m->parameter, JoinParameter::OtherTracks);
    EXPECT_EQ(m->value, "ac3, ass");
    EXPECT_EQ(m->firstValue, "ac3, subrip");
    m = mismatch({tracks});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->parameter, JoinParameter::OtherTracks);
    EXPECT_EQ(m->firstValue, "");
    // A later file may be silent; it may not bring sound to a silent first file.
    EXPECT_FALSE(mismatch({av("/b.mp4", "h264", "", 0, 0)}));
    const JoinFile silent = av("/s.mp4", "h264", "", 0, 0);
    m = FirstDirectJoinMismatch({silent, a});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->parameter, JoinParameter::AudioCodec);
    EXPECT_EQ(m->firstValue, "");
    // Pictures held back for reordering (B-frames): Matroska rebuilds decode times from the
    // first file's depth, and other codecs carry it in the set-up copied once; H.264 in MP4
    // takes each file's own. An unknown depth is left to the job.
    const auto depth = [&](const char* path, const char* video, int d) {
        JoinFile f = av(path, video, "aac", 48000, 2);
        f.reorderDepth = d;
        return f;
    };
    for (const auto& [first, later, refused] :
         {std::tuple{depth("/h.mkv", "h264", 2), depth("/b.mkv", "h264", 0), true},
          std::tuple{depth("/h.MKV", "hevc", 1), depth("/b.mkv", "hevc", 2), true},
          std::tuple{depth("/h.avi", "mpeg4", 1), depth("/b.avi", "mpeg4", 0), true},
          std::tuple{depth("/h.mp4", "mpeg4", 1), depth("/b.mp4", "mpeg4", 0), true},
          std::tuple{depth("/h.mp4", "h264", 2), depth("/b.mp4", "h264", 0), false},
          std::tuple{depth("/h.ts", "h264", 2), depth("/b.ts", "h264", 0), false},
          std::tuple{depth("/h.mkv", "h264", 2), depth("/b.mkv", "h264", -1), false},
          std::tuple{depth("/h.mkv", "h264", 2), depth("/b.mkv", "h264", 2), false}}) {
        SCOPED_TRACE(first.path + " " + first.videoCodec + " " + std::to_string(later.reorderDepth));
        m = FirstDirectJoinMismatch({first, later});
        EXPECT_EQ(m.has_value(), refused);
        if (!m) continue;
        EXPECT_EQ(m->parameter, JoinParameter::ReorderDepth);
        EXPECT_EQ(m->value, std::to_string(later.reorderDepth));
        EXPECT_EQ(m->firstValue, std::to_string(first.reorderDepth));
    }
    // The launch reports the same file and parameter.
    JoinLaunch join{{a, a, av("/c.mp4", "h264", "aac", 32000, 2)}, Output(true, {})};
    ConversionJob job;
    PrepareJoinJob(job, 3);
    const LaunchResult r = FillJoinJob(job, join, Holding({}));
    EXPECT_EQ(r.status, LaunchStatus::UnlikeFiles);
    EXPECT_EQ(r.input, 2);
    EXPECT_EQ(r.mismatch.parameter, JoinParameter::SampleRate);
}

TEST(Launch, TheJoinsTotalLengthIsCutToWholeSecondsFileByFile) {
    EXPECT_EQ(JoinTotalSeconds({}), 0);
    EXPECT_EQ(JoinTotalSeconds({File("/a.mp4", "", 2'999'999)}), 2);
    EXPECT_EQ(JoinTotalSeconds({File("/a.mp4", "", 1'500'000), File("/b.mp4", "", 1'500'000)}), 2);
    // The window's lengths come from the list's millisecond texts.
    const JoinFile listed = File("/a.mp4", "", 2'002'000);
    EXPECT_EQ(JoinTotalSeconds({listed, listed, listed}), 6);
    EXPECT_EQ(JoinTotalSeconds({File("/a.mp4", "", 3'600'000'000)}), 3600);
}
