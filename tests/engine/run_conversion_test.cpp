// The worker driven directly through its record: cancelling, refusing impossible jobs,
// and a second job in the same record.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "engine/run_conversion.h"
#include "tests/support/media_tools.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

void FillCut(ConversionJob& job, const std::string& src, const std::string& out, double start, double end,
             bool reencode) {
    job.PrepareForJob(1);
    job.joinMode = false;
    job.reencode = reencode;
    job.inputPaths[0] = src;
    job.outputPaths[0] = out;
    job.segmentStart[0] = start;
    job.segmentEnd[0] = end;
    job.segmentLength[0] = end - start;
    job.videoCodecId = AV_CODEC_ID_H264;
    job.audioCodecId = AV_CODEC_ID_AAC;
    job.videoBitRate = 1500000;
    job.outputWidth = 640;
    job.outputHeight = 480;
    job.outputFrameRate = 25;
    job.audioBitRate = 128000;
    job.sampleRate = 44100;
    job.channels = 2;
}

}  // namespace

TEST(RunConversion, CancelInTheMiddleRemovesTheUnfinishedOutput) {
    const std::string src =
        Fixture("long.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25", "-f", "lavfi", "-i", "sine", "-t",
                             "30", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"});
    TempDir out;
    ConversionJob job;
    FillCut(job, src, out / "cancelled.mp4", 0, 30, true);
    std::thread worker([&] { RunConversion(job); });
    // Wait for real progress, then stop; the job reacts within a packet.
    while (job.progressPercent.load() < 5 && job.currentInput.load() < job.inputCount)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    job.cancelRequested.store(true);
    worker.join();
    ASSERT_LT(job.progressPercent.load(), 100) << "the job ended before it could be cancelled";
    EXPECT_EQ(job.inputStatus[0].load(), kInputPending);
    EXPECT_EQ(job.currentInput.load(), 1);
    // A part of the segment must not pass for the whole of it: the file is gone.
    EXPECT_FALSE(std::filesystem::exists(out / "cancelled.mp4"));
    EXPECT_TRUE(FilesIn(out.path()).empty());
}

TEST(RunConversion, CancelBeforeTheStartMakesNoFile) {
    TempDir out;
    ConversionJob job;
    FillCut(job, AvFixture(), out / "never.mp4", 0, 2, false);
    job.cancelRequested.store(true);
    RunConversion(job);
    EXPECT_EQ(job.inputStatus[0].load(), kInputPending);
    EXPECT_TRUE(FilesIn(out.path()).empty());
}

TEST(RunConversion, RefusesMoreInputsThanTheRecordHolds) {
    ConversionJob job;
    job.PrepareForJob(kMaxInputs + 1);
    job.joinMode = true;
    RunConversion(job);
    EXPECT_EQ(job.currentInput.load(), kMaxInputs + 1);
    EXPECT_EQ(job.inputStatus[0].load(), kInputFailed);
    EXPECT_EQ(job.inputStatus[kMaxInputs].load(), kInputFailed);
}

TEST(RunConversion, RefusesARecordWhosePathsAreMissing) {
    ConversionJob job;
    job.PrepareForJob(1);
    job.inputCount = 3;  // claims more inputs than it has paths for
    RunConversion(job);
    EXPECT_EQ(job.inputStatus[0].load(), kInputFailed);
    EXPECT_EQ(job.currentInput.load(), 3);
}

TEST(RunConversion, NoInputsFinishesAtOnce) {
    ConversionJob job;
    job.PrepareForJob(0);
    RunConversion(job);
    EXPECT_EQ(job.currentInput.load(), 0);
}

TEST(RunConversion, ASecondJobInTheSameRecordStartsClean) {
    TempDir out;
    ConversionJob job;
    FillCut(job, AvFixture(), out / "first.mp4", 1, 2, true);
    RunConversion(job);
    ASSERT_EQ(job.inputStatus[0].load(), kInputDone) << job.inputError[0];
    EXPECT_EQ(job.progressPercent.load(), 100);
    FillCut(job, AvFixture30fps(), out / "second.mkv", 0.5, 2.5, false);
    RunConversion(job);
    ASSERT_EQ(job.inputStatus[0].load(), kInputDone) << job.inputError[0];
    EXPECT_EQ(Problems(Inspect(out / "first.mp4"), true, true, 1.0, 0.0, 0.045), "");
    const MediaReport second = Inspect(out / "second.mkv");
    EXPECT_EQ(second.video.codec, "h264");
    EXPECT_EQ(second.decodeErrors, "");
}

TEST(RunConversion, ASegmentPastTheEndOfTheFileFails) {
    TempDir out;
    ConversionJob job;
    FillCut(job, AvFixture(), out / "late.mp4", 60, 70, false);
    RunConversion(job);
    EXPECT_EQ(job.inputStatus[0].load(), kInputFailed);
    EXPECT_FALSE(job.inputError[0].empty());
    EXPECT_TRUE(FilesIn(out.path()).empty());
}

TEST(RunConversion, ACopyIntoAnotherContainerConvertsTextSubtitlesAndTellsWhatItLeftOut) {
    // MP4 holds neither SubRip nor attachments: the subtitles become MP4 timed text with
    // their words and times, the font is left out, and the job says so.
    TempDir out;
    ConversionJob job;
    FillCut(job, FilmWithTracksFixture(), out / "film.mp4", 0, 10, false);
    RunConversion(job);
    ASSERT_EQ(job.inputStatus[0].load(), kInputDone) << job.inputError[0];
    const CommandResult codec = ulvane::test::Run({"ffprobe", "-v", "error", "-select_streams", "s", "-show_entries",
                                                   "stream=codec_name", "-of", "csv=p=0", out / "film.mp4"});
    EXPECT_EQ(codec.out, "mov_text\n");
    const std::vector<Caption> captions = CaptionsOf(out / "film.mp4");
    ASSERT_EQ(captions.size(), 3u);
    EXPECT_EQ(captions[1].text, "Second line");
    EXPECT_NEAR(captions[1].start, 4, 0.05);
    EXPECT_NEAR(captions[1].end, 7.5, 0.05);
    EXPECT_NE(job.notice.find("attachment 1 (ttf)"), std::string::npos) << job.notice;
    EXPECT_EQ(job.notice.find("subtitle"), std::string::npos) << job.notice;
}

// A merged exact cut readies each next clip on a thread of its own while the one before is
// copied. Stopped while clips are in work, the job ends, the thread with it, and no file stays.
TEST(RunConversion, AMergedExactCutStoppedBetweenClipsMakesNoFile) {
    // A key frame every second, so that each clip has a head to encode and a rest to copy.
    const std::string src = Fixture("clips.mp4", {"-f",      "lavfi",    "-i",       "testsrc2=size=640x480:rate=25",
                                                  "-f",      "lavfi",    "-i",       "sine",
                                                  "-t",      "20",       "-c:v",     "libx264",
                                                  "-preset", "veryfast", "-g",       "25",
                                                  "-bf",     "3",        "-pix_fmt", "yuv420p",
                                                  "-c:a",    "aac"});
    TempDir out;
    ConversionJob job;
    constexpr int kClips = 8;
    job.PrepareForJob(kClips);
    job.joinMode = true;
    job.exactCut = true;
    for (int i = 0; i < kClips; ++i) {
        job.inputPaths[i] = src;
        job.outputPaths[i] = out / "merged.mp4";
        job.segmentUsed[i] = 1;
        job.segmentStart[i] = i * 2.4 + 0.37;
        job.segmentEnd[i] = i * 2.4 + 1.87;
        job.segmentLength[i] = 1.5;
    }
    std::thread worker([&] { RunConversion(job); });
    while (job.currentInput.load() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    job.cancelRequested.store(true);
    worker.join();
    EXPECT_LT(job.currentInput.load(), kClips) << "the job ended before it could be stopped";
    EXPECT_NE(job.inputStatus[kClips - 1].load(), kInputDone);
    EXPECT_TRUE(FilesIn(out.path()).empty());
}
