// Every track of a film through direct cuts and joins: the second sound track, subtitles on
// the output timeline, attachments, chapters, and the refusal of a join whose files bring
// other tracks.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

// The streams of a file, a line each: "video h264", "audio aac deu German", "subtitle subrip
// forced fra", "attachment ttf font.ttf" (flags before tags).
std::vector<std::string> StreamsOf(const std::string& path) {
    const CommandResult r =
        Run({"ffprobe", "-v", "error", "-show_entries",
             "stream=codec_type,codec_name:stream_tags=language,title,filename:stream_disposition=forced", "-of",
             "default=noprint_wrappers=1", path});
    std::vector<std::string> out;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codec_name") {
            out.push_back(value);
        } else if (key == "codec_type" && !out.empty()) {
            out.back() = value + " " + out.back();
        } else if (key == "DISPOSITION:forced" && !out.empty()) {
            if (value == "1") out.back() += " forced";
        } else if (key.rfind("TAG:", 0) == 0 && !out.empty()) {
            out.back() += " " + value;
        }
    }
    return out;
}

// Chapter starts and titles: "0.000 Opening".
std::vector<std::pair<double, std::string>> ChaptersOf(const std::string& path) {
    const CommandResult r = Run(
        {"ffprobe", "-v", "error", "-show_entries", "chapter=start_time:chapter_tags=title", "-of", "csv=p=0", path});
    std::vector<std::pair<double, std::string>> out;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t comma = line.find(',');
        if (comma != std::string::npos) out.emplace_back(std::atof(line.c_str()), line.substr(comma + 1));
    }
    return out;
}

double ProbeNumber(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"ffprobe", "-v", "error"};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::atof(Run(argv).out.c_str());
}

// Which tone a sound track carries in a stretch of seconds: 440 or 880, 0 when neither clearly.
int ToneOf(const std::string& path, int track, double from, double to) {
    const std::vector<float> sound = SoundOf(path, 8000, track);
    const double low = ToneLevel(sound, 440, from, to), high = ToneLevel(sound, 880, from, to);
    if (low > 0.05 && high < low / 20) return 440;
    if (high > 0.05 && low < high / 20) return 880;
    return 0;
}

}  // namespace

TEST(Tracks, ADirectCutKeepsEveryTrackOnTheOutputTimeline) {
    const std::string film = FilmWithTracksFixture();
    const CommandResult probe = Cli({"probe", film});
    EXPECT_EQ(ProbeValues(probe.out)["other_tracks"], "aac, subrip");
    EXPECT_EQ(ProbeValues(probe.out)["audio_tracks"], "2");
    const double containerStart = ProbeNumber({"-show_entries", "format=start_time", "-of", "csv=p=0", film});
    const double videoStart =
        ProbeNumber({"-select_streams", "v:0", "-show_entries", "stream=start_time", "-of", "csv=p=0", film});
    // Where the film shows its captions (moved with its pictures when it was written).
    const std::vector<Caption> source = CaptionsOf(film);
    ASSERT_EQ(source.size(), 3u);
    for (const bool exact : {false, true}) {
        SCOPED_TRACE(exact ? "exact" : "direct");
        TempDir out;
        std::vector<std::string> args = {"cut", film,        "--start",           "2.5",    "--end",
                                         "8.2", "--out-dir", out.path().string(), "--quiet"};
        if (exact) args.push_back("--exact");
        const CommandResult r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string cut = LastLine(r.out);
        // The source time that lands on 0: the key frame at 2 s, or the marked start itself.
        const double origin = exact ? containerStart + 2.5 : videoStart + 2.0;
        EXPECT_EQ(Problems(Inspect(cut), true, true, 8.2 - origin - containerStart, 0.1), "");
        EXPECT_EQ(OtherPlayersProblems(cut), "");

        EXPECT_EQ(StreamsOf(cut), (std::vector<std::string>{"video h264", "audio aac eng", "audio aac deu German",
                                                            "subtitle subrip forced fra", "attachment ttf font.ttf"}));
        EXPECT_EQ(ToneOf(cut, 0, 0.5, 4.5), 440);
        EXPECT_EQ(ToneOf(cut, 1, 0.5, 4.5), 880);

        // A caption already shown at the start is shown from 0; the others keep their place
        // against the pictures; the one still shown at the end is cut where the pictures end,
        // so the file lasts as long as its pictures.
        const std::vector<Caption> captions = CaptionsOf(cut);
        ASSERT_EQ(captions.size(), 3u);
        EXPECT_EQ(captions[0].text, "First line");
        EXPECT_NEAR(captions[0].start, 0, 0.002);
        EXPECT_NEAR(captions[0].end, source[0].end - origin, 0.002);
        for (size_t k = 1; k < 3; ++k) {
            EXPECT_EQ(captions[k].text, source[k].text);
            EXPECT_NEAR(captions[k].start, source[k].start - origin, 0.002);
        }
        EXPECT_NEAR(captions[1].end, source[1].end - origin, 0.002);
        // Where the pictures end: the direct cut's after the marked end; the exact cut's before
        // it, on the start of a picture that would show for less than half its time there.
        // Matroska readers give the last picture a frame's time.
        const double picturesEnd = Inspect(cut).video.end;
        EXPECT_NEAR(captions[2].end, picturesEnd, 0.01);
        if (exact) {
            EXPECT_NEAR(picturesEnd, 8.2 - 2.5, 0.02);
        }
        EXPECT_NEAR(ProbeNumber({"-show_entries", "format=duration", "-of", "csv=p=0", cut}), picturesEnd, 0.05);

        // Chapters inside the segment, the first cut to its start.
        const auto chapters = ChaptersOf(cut);
        ASSERT_EQ(chapters.size(), 3u);
        EXPECT_EQ(chapters[0].second, "Opening");
        EXPECT_NEAR(chapters[0].first, 0, 0.002);
        EXPECT_EQ(chapters[1].second, "Middle");
        EXPECT_NEAR(chapters[1].first, 3 - origin, 0.002);
        EXPECT_EQ(chapters[2].second, "End");
        EXPECT_NEAR(chapters[2].first, 6 - origin, 0.002);
    }
}

TEST(Tracks, ADirectJoinKeepsEveryTrackOfEachFileAndRefusesFilesWithOtherTracks) {
    const std::string film = FilmWithTracksFixture();
    TempDir out;
    CommandResult r = Cli({"join", "--out-dir", out.path().string(), "--name", "twice", film, film, "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string joined = LastLine(r.out);
    EXPECT_EQ(Problems(Inspect(joined), true, true, 20, 0.1), "");
    EXPECT_EQ(OtherPlayersProblems(joined), "");
    EXPECT_EQ(StreamsOf(joined).size(), 5u);
    EXPECT_EQ(ToneOf(joined, 1, 11, 15), 880);
    const std::vector<Caption> captions = CaptionsOf(joined);
    ASSERT_EQ(captions.size(), 6u);
    // The second file's captions follow its pictures, one file length later.
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(captions[k + 3].text, captions[k].text);
        EXPECT_NEAR(captions[k + 3].start - captions[k].start, 10, 0.05);
    }
    const auto chapters = ChaptersOf(joined);
    ASSERT_EQ(chapters.size(), 6u);
    EXPECT_EQ(chapters[3].second, "Opening");
    EXPECT_NEAR(chapters[3].first, 10, 0.05);

    // A file without the subtitles: named with both track lists, and nothing is made.
    const std::string bare = Fixture("film_bare.mkv", {"-i", film, "-map", "0:v", "-map", "0:a", "-c", "copy"});
    TempDir refused;
    r = Cli({"join", "--out-dir", refused.path().string(), "--name", "mixed", film, bare, "--quiet"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("film_bare.mkv cannot be joined directly"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("list of other tracks is aac, the first file's is aac, subrip"), std::string::npos) << r.err;
    EXPECT_TRUE(FilesIn(refused.path()).empty());

    // Without the first file's subtitles the two keep the same tracks, and join.
    r = Cli({"join", "--out-dir", refused.path().string(), "--name", "kept", film, "--tracks", "v:0,a:0,a:1", bare,
             "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(StreamsOf(LastLine(r.out)), StreamsOf(bare));
}

TEST(Tracks, ARecodingCutEncodesEverySoundTrackWhereTheContainerHoldsSeveral) {
    const std::string film = FilmWithTracksFixture();
    // By format row: MP4 (MPEG-4), MP4 (H.264), AVI, FLV, WMV, MOV, MKV.
    const int expected[] = {2, 2, 2, 1, 1, 2, 2};
    for (int row = 0; row < 7; ++row) {
        SCOPED_TRACE("format row " + std::to_string(row));
        TempDir out;
        const CommandResult r = Cli({"cut", film, "--start", "2.5", "--end", "6.5", "--out-dir", out.path().string(),
                                     "--reencode", "--format", std::to_string(row), "--quiet"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string cut = LastLine(r.out);
        EXPECT_EQ(Problems(Inspect(cut), true, true, 4.0, 0.1), "");
        std::vector<std::string> sound;
        for (const std::string& s : StreamsOf(cut))
            if (s.rfind("audio", 0) == 0) sound.push_back(s);
        ASSERT_EQ(sound.size(), static_cast<size_t>(expected[row]));
        EXPECT_EQ(ToneOf(cut, 0, 0.5, 3.5), 440);
        if (expected[row] == 2) {
            EXPECT_EQ(ToneOf(cut, 1, 0.5, 3.5), 880);
            // The second track runs as long as the first, both with their languages.
            const auto lasts = [&](int track) { return SoundOf(cut, 8000, track).size() / 8000.0; };
            EXPECT_NEAR(lasts(1), lasts(0), 0.05);
            // MP4 and Matroska keep the language as it stands (AVI keeps none, QuickTime
            // its own codes).
            if (row == 0 || row == 1 || row == 6) {
                EXPECT_NE(sound[1].find("deu"), std::string::npos) << sound[1];
            }
        }
    }
}

TEST(Tracks, AttachmentsAndCoverArtOfRealFilesAreKeptByteForByte) {
    const auto dir = SharedMediaDir();
    if (!dir) GTEST_SKIP() << "no shared media folder";
    struct Case {
        std::string file, start, end;
        size_t streams;
        std::string picture;  // the attached picture's stream
    };
    // The bytes of a file's attached picture.
    const auto picture = [](const std::string& path, const std::string& stream) {
        return ulvane::test::Run(
                   {"ffmpeg", "-v", "error", "-i", path, "-map", stream, "-c", "copy", "-f", "image2pipe", "-"})
            .out;
    };
    // A Matroska film with a gzipped script and a PNG attached; an MP3 with a JPEG cover.
    for (const Case& c : {Case{"flashmob2006_h264_vorbis_attachments.mkv", "3", "10", 4, "0:v:1"},
                          Case{"mp3_with_cover_art.mp3", "0.2", "0.9", 2, "0:v:0"}}) {
        SCOPED_TRACE(c.file);
        const std::string source = (*dir / c.file).string();
        TempDir out;
        const CommandResult r =
            Cli({"cut", source, "--start", c.start, "--end", c.end, "--out-dir", out.path().string(), "--quiet"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err.find("left out"), std::string::npos) << r.err;
        const std::string cut = LastLine(r.out);
        EXPECT_EQ(StreamsOf(cut).size(), c.streams);
        const std::string kept = picture(cut, c.picture);
        EXPECT_FALSE(kept.empty());
        EXPECT_EQ(kept, picture(source, c.picture));
    }
}
