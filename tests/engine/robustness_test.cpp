// Probe, grab and the worker over a corpus of broken files: truncated at many lengths,
// bytes flipped, empty, a folder, a huge file that is no media. Every run must end with a
// result, never a crash or a hang (the sanitizer build runs this too).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "engine/frame_grabber.h"
#include "engine/media_probe.h"
#include "engine/run_conversion.h"
#include "tests/support/media_tools.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace fs = std::filesystem;
using namespace ulvane;
using namespace ulvane::test;

namespace {

// Sources in several containers, a few seconds each.
std::vector<std::string> Sources() {
    const std::string av = AvFixture();
    return {av, Fixture("r.ts", {"-i", av, "-c", "copy"}), Fixture("r.mkv", {"-i", av, "-c", "copy"}),
            Fixture("r.avi", {"-i", av, "-c:v", "mpeg4", "-c:a", "libmp3lame"}),
            Fixture("r.flv", {"-i", av, "-c:v", "flv", "-c:a", "libmp3lame", "-ar", "44100"})};
}

// Broken variants of one source in `dir`.
std::vector<std::string> BrokenVariants(const std::string& src, const fs::path& dir) {
    const std::string bytes = ReadFileBytes(src);
    const std::string ext = fs::path(src).extension().string();
    const std::string stem = fs::path(src).stem().string();
    std::vector<std::string> files;
    const size_t n = bytes.size();
    for (size_t cut :
         {size_t{1}, size_t{16}, size_t{100}, size_t{1000}, size_t{4096}, n / 10, n / 3, n / 2, n * 9 / 10, n - 1}) {
        const std::string path = (dir / (stem + "_cut" + std::to_string(cut) + ext)).string();
        WriteFileBytes(path, bytes.substr(0, cut));
        files.push_back(path);
    }
    std::mt19937 rng(1234);
    for (const double share : {0.0005, 0.01, 0.1}) {
        std::string flipped = bytes;
        const size_t count = std::max<size_t>(1, static_cast<size_t>(share * static_cast<double>(n)));
        for (size_t k = 0; k < count; ++k) flipped[rng() % n] ^= static_cast<char>(1 + rng() % 255);
        const std::string path = (dir / (stem + "_flip" + std::to_string(count) + ext)).string();
        WriteFileBytes(path, flipped);
        files.push_back(path);
    }
    std::string head = bytes;
    for (size_t k = 0; k < std::min<size_t>(64, n); ++k) head[k] = static_cast<char>(~head[k]);
    files.push_back((dir / (stem + "_head" + ext)).string());
    WriteFileBytes(files.back(), head);
    return files;
}

}  // namespace

TEST(Robustness, ProbeAndGrabGiveAResultForEveryBrokenFile) {
    TempDir dir;
    std::vector<std::string> corpus;
    for (const std::string& src : Sources()) {
        auto v = BrokenVariants(src, dir.path());
        corpus.insert(corpus.end(), v.begin(), v.end());
    }
    WriteFileBytes(dir / "empty.mp4", "");
    corpus.push_back(dir / "empty.mp4");
    fs::create_directory(dir / "folder.mkv");
    corpus.push_back(dir / "folder.mkv");
    {
        // A huge file that is no media: 4 GiB, sparse, so it costs no disk.
        const std::string huge = dir / "huge.mp4";
        const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, int64_t{4} << 30), 0);
        ::close(fd);
        corpus.push_back(huge);
    }
    const std::string snapshot = dir / "image.bmp";
    FrameGrabber grabber;
    int probed = 0, grabbed = 0;
    for (const std::string& file : corpus) {
        SCOPED_TRACE(file);
        ConversionJob job;
        job.probePath = file;
        const int result = ProbeMediaFile(job);
        EXPECT_TRUE(result == kProbeOk || result == kProbeCannotOpen || result == kProbeNoStreamInfo ||
                    result == kProbeNoStreams || result == kProbeNoDecoder || result == kProbeDecoderFails ||
                    result == kProbeNotAFile || result == kProbeUndecodable);
        if (fs::is_directory(file)) {
            EXPECT_EQ(result, kProbeNotAFile);
        }
        if (result == kProbeOk) {
            ++probed;
            EXPECT_GE(job.info.durationMicros, 0);
        }
        std::string error;
        for (const double at : {0.0, 1.0, 4.5}) {
            if (grabber.Grab(file, at, snapshot, error)) {
                ++grabbed;
                EXPECT_EQ(fs::file_size(snapshot), kSnapshotFileSize);
            } else {
                EXPECT_FALSE(error.empty());
            }
        }
    }
    // The corpus is not all unreadable: most of the damaged files still give something.
    EXPECT_GT(probed, static_cast<int>(corpus.size()) / 3);
    EXPECT_GT(grabbed, static_cast<int>(corpus.size()) / 3);
}

TEST(Robustness, JobsOnBrokenFilesEndWithAStatus) {
    TempDir dir, out;
    std::vector<std::string> corpus;
    for (const std::string& src : Sources()) {
        auto v = BrokenVariants(src, dir.path());
        // The damaged and the half files: readable in part.
        for (const std::string& f : v)
            if (f.find("_flip") != std::string::npos || f.find("_head") != std::string::npos ||
                f.find("_cut" + std::to_string(fs::file_size(src) / 2)) != std::string::npos)
                corpus.push_back(f);
    }
    int k = 0;
    for (const std::string& file : corpus) {
        for (const bool reencode : {false, true}) {
            SCOPED_TRACE(file + (reencode ? " re-encoded" : " direct"));
            ConversionJob job;
            job.PrepareForJob(1);
            job.reencode = reencode;
            job.inputPaths[0] = file;
            job.outputPaths[0] =
                out / ("o" + std::to_string(k++) + (reencode ? ".mp4" : fs::path(file).extension().string()));
            job.segmentStart[0] = 0.5;
            job.segmentEnd[0] = 3.0;
            job.segmentLength[0] = 2.5;
            job.videoCodecId = AV_CODEC_ID_MPEG4;
            job.audioCodecId = AV_CODEC_ID_AAC;
            job.videoBitRate = 1000000;
            job.outputWidth = 320;
            job.outputHeight = 240;
            job.audioBitRate = 64000;
            job.sampleRate = 44100;
            RunConversion(job);
            EXPECT_EQ(job.currentInput.load(), 1);
            const uint8_t status = job.inputStatus[0].load();
            ASSERT_TRUE(status == kInputDone || status == kInputFailed);
            if (status == kInputFailed) {
                EXPECT_FALSE(job.inputError[0].empty());
                EXPECT_FALSE(fs::exists(job.outputPaths[0]));
            } else {
                EXPECT_TRUE(Inspect(job.outputPaths[0]).readable);
            }
        }
    }
}
