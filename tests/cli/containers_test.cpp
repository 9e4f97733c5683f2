// A direct job into another container than its source's: every packet of the tracks kept is
// the source's own, each sound track keeps its sound and language, a track the container
// cannot hold is named before the job starts, and a container that cannot hold the main
// tracks is refused before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

// The md5 of every packet of stream `which` ("v:0", "a:1") in file order, as the ffmpeg tool
// copies them. H.264 is brought to start codes without access unit delimiters first, the form
// a transport stream keeps it in.
std::vector<std::string> PacketHashes(const std::string& path, const std::string& which) {
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v",         "error", "-i",
                                     path,     "-map",     "0:" + which, "-c",    "copy"};
    if (which[0] == 'v') args.insert(args.end(), {"-bsf:v", "h264_mp4toannexb,filter_units=remove_types=9"});
    args.insert(args.end(), {"-f", "framemd5", "-"});
    const CommandResult r = Run(args);
    std::vector<std::string> hashes;
    std::istringstream lines(r.out);
    // stream, dts, pts, duration, size, hash[, side data]
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string field;
        for (int k = 0; k < 6 && std::getline(fields, field, ','); ++k) {
        }
        hashes.push_back(field);
    }
    return hashes;
}

std::string Language(const std::string& path, const std::string& which) {
    const CommandResult r = Run({"ffprobe", "-v", "error", "-select_streams", which, "-show_entries",
                                 "stream_tags=language", "-of", "default=nw=1:nk=1", path});
    return r.out.substr(0, r.out.find('\n'));
}

}  // namespace

// The film (H.264, an English 440 Hz and a German 880 Hz sound track, French SubRip subtitles)
// copied from Matroska to MP4, from that to MOV, and from that to MPEG-TS, each whole.
TEST(CliContainers, ACopyIntoAnotherContainerKeepsEveryPacketOfTheTracksKept) {
    const std::string film = FilmWithTracksFixture();
    const struct {
        const char* container;
        const char* note;  // what standard error says of the subtitles before the job
        bool subtitles;    // the output holds them
    } steps[] = {{"mp4", "subtitle track 1 (subrip): converted to mov_text", true},
                 {"mov", "", true},
                 {"ts", "subtitle track 1 (mov_text): left out", false}};
    const std::vector<std::string> video = PacketHashes(film, "v:0");
    ASSERT_EQ(video.size(), 250u);
    std::string from = film;
    TempDir out;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.container);
        const auto r = Cli({"cut", from, "--start", "0", "--end", "10", "--container", step.container, "--out-dir",
                            out.path().string(), "--name", std::string("film_") + step.container, "--quiet"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string file = LastLine(r.out);
        EXPECT_EQ(file.substr(file.rfind('.') + 1), step.container);
        if (*step.note) {
            EXPECT_NE(r.err.find(step.note), std::string::npos) << r.err;
        }
        // Every picture's packet unchanged and in order.
        EXPECT_EQ(PacketHashes(file, "v:0"), video);
        // Each sound track keeps its sound frames (the source's first one, before the first
        // picture, may go: the output starts with its pictures), its tone and its language,
        // told by either ISO 639-2 code.
        for (const auto& [track, hz, language] : {std::tuple{0, 440.0, "eng"}, std::tuple{1, 880.0, "deu|ger"}}) {
            const std::string which = "a:" + std::to_string(track);
            const std::vector<std::string> source = PacketHashes(film, which), copied = PacketHashes(file, which);
            ASSERT_GE(copied.size() + 2, source.size()) << which;
            // A transport stream frames AAC in headers of its own, so its sound is compared decoded.
            if (std::string(step.container) != "ts") {
                EXPECT_NE(std::search(source.begin(), source.end(), copied.begin(), copied.end()), source.end())
                    << which;
            }
            const std::vector<float> sound = SoundOf(file, 8000, track);
            EXPECT_GT(ToneLevel(sound, hz, 1, 9), 10 * ToneLevel(sound, hz == 440 ? 880 : 440, 1, 9)) << which;
            const std::string got = Language(file, which);
            EXPECT_TRUE(got.size() == 3 && std::string(language).find(got) != std::string::npos) << got;
        }
        const std::vector<Caption> captions = CaptionsOf(file);
        EXPECT_EQ(captions.size(), step.subtitles ? 3u : 0u);
        EXPECT_EQ(OtherPlayersProblems(file), "");
        from = file;
    }
}

// Refused before the job, naming what is wrong; nothing is written.
TEST(CliContainers, AContainerThatCannotHoldTheMainTracksIsAUsageError) {
    const std::string film = FilmWithTracksFixture();
    const struct {
        std::vector<std::string> flags;
        const char* says;
    } cases[] = {
        {{"--container", "avi"}, "its video (h264) cannot go into .avi"},
        {{"--container", "xyz"}, "no container is written as '.xyz'"},
        {{"--container", "a/b"}, "not an extension"},
        {{"--container", "mp4", "--reencode"}, "--container is for a direct job"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        TempDir out;
        std::vector<std::string> args = {"cut", film, "--start", "1", "--end", "3", "--out-dir", out.path().string()};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const auto r = Cli(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_TRUE(FilesIn(out.path()).empty());
    }
}

// Each container a job may name, against each common sound codec of a sound-only file: the
// job is refused before anything is written, or the file it makes decodes whole. (A WAV
// writer takes AAC and an MPEG-TS writer FLAC, but their readers give back nothing of it;
// MP3, FLAC and CAF writers refuse most codecs only when the header is written.)
TEST(CliContainers, EveryContainerHoldsTheSoundWholeOrIsRefusedBeforeTheJob) {
    const struct {
        const char* file;
        std::vector<std::string> encode;
    } sounds[] = {
        {"s_aac.m4a", {"-c:a", "aac"}},          {"s_mp3.mp3", {"-c:a", "libmp3lame"}},
        {"s_vorbis.ogg", {"-c:a", "libvorbis"}}, {"s_opus.opus", {"-c:a", "libopus", "-b:a", "64k"}},
        {"s_flac.flac", {"-c:a", "flac"}},       {"s_pcm.wav", {"-c:a", "pcm_s16le"}},
        {"s_ac3.ac3", {"-c:a", "ac3"}},          {"s_alac.m4a", {"-c:a", "alac"}},
    };
    // One name for each writer (m2ts is the MPEG-TS writer's, mka and m4a Matroska's and MP4's).
    const char* containers[] = {"mp4", "mov", "mkv", "ts", "webm", "avi", "flv", "wav", "mp3", "flac", "caf", "ogg"};
    std::map<std::string, int> made;
    for (const auto& sound : sounds) {
        std::vector<std::string> args = {"-f", "lavfi", "-i", "sine=f=440:d=8.5:r=48000", "-ac", "2"};
        args.insert(args.end(), sound.encode.begin(), sound.encode.end());
        const std::string source = Fixture(sound.file, args);
        for (const char* container : containers) {
            SCOPED_TRACE(std::string(sound.file) + " into ." + container);
            TempDir out;
            const auto r = Cli({"cut", source, "--start", "0", "--end", "9", "--container", container, "--out-dir",
                                out.path().string(), "--name", "o", "--quiet"});
            if (r.exitCode == 2) {
                EXPECT_NE(r.err.find("cannot go into ." + std::string(container)), std::string::npos) << r.err;
                EXPECT_TRUE(FilesIn(out.path()).empty());
                continue;
            }
            ASSERT_EQ(r.exitCode, 0) << r.err;
            // Decoded to 8 kHz mono 16-bit: 16,000 bytes a second.
            const CommandResult pcm = ulvane::test::Run({"ffmpeg", "-nostdin", "-v", "error", "-i", LastLine(r.out),
                                                         "-f", "s16le", "-ac", "1", "-ar", "8000", "-"});
            EXPECT_NEAR(pcm.out.size() / 16000.0, 8.5, 0.1);
            ++made[container];
        }
    }
    // Matroska holds every one of them, and each codec goes into its own container.
    EXPECT_EQ(made["mkv"], 8);
    EXPECT_GE(made["wav"], 3);
    EXPECT_GE(made["mp3"], 1);
    EXPECT_GE(made["flac"], 1);
}

// The tracks kept are those listed, whatever the method: each sound track by its own tone,
// the starred one (else the first listed) the main and default one; the subtitles only where
// listed, shown unasked only when starred. Probe numbers them.
TEST(CliContainers, TheTracksListedAreTheTracksKept) {
    const std::string film = FilmWithTracksFixture();
    const auto probe = Cli({"probe", film});
    ASSERT_EQ(probe.exitCode, 0);
    for (const char* line : {"track=v:0 h264 320x240", "track=a:0 aac 1ch lang=eng default",
                             "track=a:1 aac 1ch lang=deu title=German", "track=s:0 subrip lang=fra", "track=t:0 ttf"})
        EXPECT_NE(probe.out.find(line), std::string::npos) << line << "\n" << probe.out;
    const struct {
        std::vector<std::string> flags;
        std::vector<double> tones;  // the output's sound tracks in order, the first the default
        size_t captions;
        // The output's subtitle track's default flag as a reader finds it, "" for no track (an
        // MP4 file's is its track's enabled flag, which FFmpeg's writer sets on the first track
        // of a kind that has no default).
        const char* subtitleDefault;
    } cases[] = {
        {{"--tracks", "v:0,a:1"}, {880}, 0, ""},
        {{"--tracks", "a:1,v:0,s:0,a:0", "--exact", "--container", "mp4"}, {880, 440}, 2, "0"},
        {{"--tracks", "v:0,a:0,s:0*", "--container", "mp4"}, {440}, 2, "1"},
        {{"--tracks", "v:0,a:1", "--reencode"}, {880}, 0, ""},
        {{"--tracks", "v:0,a:0,s:0*,a:1*"}, {880, 440}, 2, "1"},
        {{"--tracks", "v:0,a:0,a:1*", "--reencode"}, {880, 440}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags[1] + (c.flags.size() > 2 ? " " + c.flags[2] : ""));
        TempDir out;
        std::vector<std::string> args = {"cut", film, "--start", "1.5", "--end", "5", "--out-dir", out.path().string()};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const auto r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string file = LastLine(r.out);
        // A plain direct cut starts at the key frame before 1.5 s: at 0.
        EXPECT_EQ(Problems(Inspect(file), true, true, 3.5, 1.6), "");
        for (size_t k = 0; k < c.tones.size(); ++k) {
            const std::vector<float> sound = SoundOf(file, 8000, static_cast<int>(k));
            const double other = c.tones[k] == 440 ? 880 : 440;
            EXPECT_GT(ToneLevel(sound, c.tones[k], 0.5, 3), 10 * ToneLevel(sound, other, 0.5, 3)) << k;
            const CommandResult d =
                ulvane::test::Run({"ffprobe", "-v", "error", "-select_streams", "a:" + std::to_string(k),
                                   "-show_entries", "stream_disposition=default", "-of", "default=nw=1:nk=1", file});
            EXPECT_EQ(d.out.substr(0, 1), k == 0 ? "1" : "0") << k;
        }
        EXPECT_TRUE(SoundOf(file, 8000, static_cast<int>(c.tones.size())).empty());
        // "Second line" (4-7.5 s) and "First line" up to 3 s, from 1.5 s.
        EXPECT_EQ(CaptionsOf(file).size(), c.captions);
        const CommandResult d = ulvane::test::Run({"ffprobe", "-v", "error", "-select_streams", "s:0", "-show_entries",
                                                   "stream_disposition=default", "-of", "default=nw=1:nk=1", file});
        EXPECT_EQ(d.out.substr(0, 1), c.subtitleDefault);
    }
    const std::pair<const char*, const char*> refused[] = {
        {"a:5", "no track a:5"},
        {"s:0", "no picture or sound"},
        {"x1", "is no track"},
        {"a:0,a:0", "listed twice"},
        {"v:0*,a:0", "only a sound or subtitle track can be marked the default"},
        {"a:0,t:0*", "only a sound or subtitle track can be marked the default"},
        {"v:0,a:0*,a:1*", "a:0* and a:1* are both marked the default sound track"},
        {"v:0,s:0*,s:0", "listed twice"},
    };
    for (const auto& [bad, says] : refused) {
        const auto r = Cli({"cut", film, "--start", "1", "--end", "2", "--tracks", bad, "--out-dir", "/tmp"});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.err.find(std::string("--tracks ") + bad + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
}

// A video that plays sideways, turned upright: a direct job writes the turn as the display
// rotation and copies the pictures, a re-encoding turns the pictures; either way FFmpeg shows
// the upright pictures. A container without a display rotation needs one of the others.
TEST(CliContainers, ATurnShowsASidewaysVideoUpright) {
    const std::string upright =
        Fixture("turn_upright.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=4", "-c:v", "libx264",
                                     "-g", "50", "-pix_fmt", "yuv420p"});
    // Turned a quarter clockwise, as a phone held the wrong way records it.
    const std::string sideways = Fixture("turn_sideways.mp4", {"-i", upright, "-vf", "transpose=1", "-c:v", "libx264",
                                                               "-g", "50", "-pix_fmt", "yuv420p"});
    const std::string sidewaysMkv = Fixture("turn_sideways.mkv", {"-i", sideways, "-c", "copy"});
    const struct {
        std::string source;
        std::vector<std::string> flags;
        int exitCode;
        double psnr;  // at least, against the upright source's pictures
    } cases[] = {
        {sideways, {"--exact"}, 0, 45},
        {sideways, {"--reencode", "--size", "1"}, 0, 25},
        {sidewaysMkv, {"--container", "mp4", "--exact"}, 0, 45},
        {sidewaysMkv, {}, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + (c.flags.empty() ? "" : " " + c.flags[0]));
        TempDir out;
        std::vector<std::string> args = {"cut", c.source,   "--start", "0.5",       "--end",
                                         "3",   "--rotate", "270",     "--out-dir", out.path().string()};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const auto r = Cli(args);
        ASSERT_EQ(r.exitCode, c.exitCode) << r.err;
        if (c.exitCode != 0) {
            EXPECT_NE(r.err.find("keeps no display rotation"), std::string::npos) << r.err;
            EXPECT_TRUE(FilesIn(out.path()).empty());
            continue;
        }
        const std::string file = LastLine(r.out);
        const PictureShape shape = ShapeOf(file);
        EXPECT_GT(shape.width, shape.height);
        for (double at : {0.3, 1.7}) EXPECT_GE(PsnrAt(file, at, upright, at + 0.5), c.psnr) << at;
        EXPECT_EQ(OtherPlayersProblems(file), "");
    }
}
