// A direct job into another container than its source's: every packet of the tracks kept is
// the source's own, each sound track keeps its sound and language, a track the container
// cannot hold is named before the job starts, and a container that cannot hold the main
// tracks is refused before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

// The md5 of every packet of stream `which` ("v:0", "a:1") in file order, as the ffmpeg tool
// copies them. H.264 is brought to start codes without access unit delimiters first, the form
// a transport stream keeps it in.
std::vector<std::string> PacketHashes(const std::string& path, const std::string& which) {
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:" + which, "-c", "copy"};
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
        for (const auto& [track, hz, language] :
             {std::tuple{0, 440.0, "eng"}, std::tuple{1, 880.0, "deu|ger"}}) {
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
