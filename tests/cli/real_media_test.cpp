// Cuts and joins of real-world files from cameras, phones, broadcast and the web.
// Skipped when the shared sample folder is not there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "tests/cli/cli_test_util.h"

namespace fs = std::filesystem;
using namespace ulvane::test;

namespace {

double DurationOf(const std::string& path) {
    const auto r = Run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path});
    return r.exitCode == 0 ? std::atof(r.out.c_str()) : 0;
}

std::vector<fs::path> Samples() {
    std::vector<fs::path> files;
    if (auto dir = SharedMediaDir())
        for (const auto& e : fs::directory_iterator(*dir))
            if (e.path().extension() != ".md") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

class RealMedia : public ::testing::TestWithParam<bool> {};

TEST_P(RealMedia, EverySampleCutsToAPlayableFileOrFailsClearly) {
    const auto files = Samples();
    if (files.empty()) GTEST_SKIP() << "no shared media folder";
    const bool reencode = GetParam();
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::string name = file.filename().string();
        const bool unreadable = name == "broken_no_moov.mp4";
        const bool undecodable = name == "broken_vp9_invalid_bitstream.webm";
        // Claims 46.9 s but holds under two: its middle does not exist.
        const bool truncated = name == "broken_truncated_youtube_flv1_mp3.flv";
        double duration = DurationOf(file.string());
        if (duration <= 0) duration = 4;
        // The middle of the file, at most two seconds.
        const double start = std::max(0.0, duration / 2 - 1.0);
        const double end = std::min(duration, start + 2.0);
        TempDir out;
        std::vector<std::string> args{"cut",   file.string(),       "--start",   std::to_string(start),
                                      "--end", std::to_string(end), "--out-dir", out.path().string()};
        // ParseTime reads a plain number as seconds and milliseconds alike: give a time text.
        auto text = [](double s) {
            char buf[32];
            const long ms = std::lround(s * 1000);
            std::snprintf(buf, sizeof buf, "00:%02ld:%02ld.%03ld", ms / 60000, ms / 1000 % 60, ms % 1000);
            return std::string(buf);
        };
        args[3] = text(start);
        args[5] = text(end);
        if (reencode) args.insert(args.end(), {"--reencode", "--format", "1"});
        const auto r = Cli(args);
        if (truncated) {  // the middle the header promises lies past the end: refused before the job
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_NE(r.err.find("is cut short"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("is at or past the end of SOURCE, which lasts 00:00:01.8"), std::string::npos)
                << r.err;
            EXPECT_TRUE(FilesIn(out.path()).empty());
            continue;
        }
        if (unreadable || (undecodable && reencode)) {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find("failed: " + file.string()), std::string::npos) << r.err;
            EXPECT_TRUE(FilesIn(out.path()).empty());
            continue;
        }
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const MediaReport m = Inspect(LastLine(r.out));
        ASSERT_TRUE(m.readable);
        EXPECT_TRUE(m.video.present || m.audio.present);
        // Streams of a short file may end before its container says; only a segment well
        // inside the file must come out at full length.
        const bool inside = end + 0.5 < duration;
        for (const StreamSpan* s : {&m.video, &m.audio}) {
            if (!s->present) continue;
            EXPECT_TRUE(s->monotonic);
            // A copy starts with whole packets: sound may begin up to one packet late.
            if (!undecodable) {
                EXPECT_LT(std::fabs(s->start), reencode ? 0.15 : 0.2) << s->codec;
            }
            // Direct cuts start at the key frame before the start point, so they only get longer.
            if (inside) {
                EXPECT_GT(s->end - s->start, (end - start) - 0.15) << s->codec;
            }
        }
        if (m.video.present && m.audio.present) {
            EXPECT_LT(std::fabs(m.video.end - m.audio.end), 0.25);
        }
        if (reencode) {
            EXPECT_EQ(m.decodeErrors, "");
        } else if (!undecodable) {
            // A copy is no worse than its source: clean whenever the source decodes cleanly.
            const auto src =
                ulvane::test::Run({"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(), "-f", "null", "-"});
            if (src.err.empty()) {
                EXPECT_EQ(m.decodeErrors, "");
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RealMedia, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Reencoded" : "Direct"; });

TEST(RealMediaJoin, UnlikeSourcesJoinWhenReencoded) {
    const auto dir = SharedMediaDir();
    if (!dir) GTEST_SKIP() << "no shared media folder";
    TempDir out;
    const auto r = Cli({"join", "--reencode", "--format", "6", "--out-dir", out.path().string(), "--name", "mix",
                        (*dir / "ipad2_h264_aac_rot180.mov").string(), (*dir / "vp9_odd_size_161x121.webm").string(),
                        (*dir / "mp3_with_cover_art.mp3").string(), (*dir / "flash_sorenson_h263_mp3.flv").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const MediaReport m = Inspect(LastLine(r.out));
    EXPECT_EQ(m.video.codec, "h264");
    EXPECT_EQ(m.audio.codec, "vorbis");
    // 2.675 + 1.001 + 1.019 + 6.183 s, within a frame per input.
    EXPECT_EQ(Problems(m, true, true, 10.88, 0.2, 0.15, 0.1), "");
}
