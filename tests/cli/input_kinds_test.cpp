// Inputs of many kinds through the command line: the track a file marks as its default,
// transport streams whose clock starts again, raw H.264/HEVC streams, undecodable video,
// FIFOs and blocking reads, and names with a colon.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

namespace fs = std::filesystem;
using namespace ulvane::test;
using Clock = std::chrono::steady_clock;

namespace {

double ProbedSeconds(const std::string& path) {
    const CommandResult r = Cli({"probe", path});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return std::atof(ProbeValues(r.out)["duration_us"].c_str()) / 1e6;
}

bool HaveEncoder(const std::string& name) {
    const CommandResult r = Run({"ffmpeg", "-hide_banner", "-encoders"});
    return r.out.find(" " + name + " ") != std::string::npos;
}

}  // namespace

// --- the track a file marks as its default ---------------------------------------------

TEST(InputKinds, TheDefaultAudioTrackIsTakenNotTheLast) {
    // 440 Hz, 1500 Hz and a silent commentary; the default flag on one of the first two.
    const std::vector<std::string> tracks = {"-f",      "lavfi",     "-i",   "testsrc2=size=320x240:rate=25",
                                             "-f",      "lavfi",     "-i",   "sine=f=440:r=48000",
                                             "-f",      "lavfi",     "-i",   "sine=f=1500:r=48000",
                                             "-f",      "lavfi",     "-i",   "anullsrc=r=48000:cl=mono",
                                             "-t",      "3",         "-map", "0",
                                             "-map",    "1",         "-map", "2",
                                             "-map",    "3",         "-c:v", "libx264",
                                             "-preset", "ultrafast", "-c:a", "aac"};
    struct Case {
        std::string name;
        std::vector<std::string> flags;
        double tone, other;
    };
    const std::vector<Case> cases = {
        {"tracks_first_default.mkv",
         {"-disposition:a:0", "default", "-disposition:a:1", "0", "-disposition:a:2", "0"},
         440,
         1500},
        {"tracks_second_default.mp4",
         {"-disposition:a:0", "0", "-disposition:a:1", "default", "-disposition:a:2", "0"},
         1500,
         440},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = tracks;
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const std::string src = Fixture(c.name, args);
        for (bool reencode : {false, true}) {
            SCOPED_TRACE(reencode ? "re-encoded" : "direct");
            TempDir out;
            std::vector<std::string> cut = {"cut", src,         "--start",           "0",      "--end",
                                            "2",   "--out-dir", out.path().string(), "--quiet"};
            if (reencode) cut.push_back("--reencode");
            const CommandResult r = Cli(cut);
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const std::vector<float> sound = SoundOf(LastLine(r.out));
            // The tones are sines of amplitude 1/8.
            EXPECT_GT(Loudness(sound, 0.3, 1.7), 0.06);
            const double want = ToneLevel(sound, c.tone, 0.3, 1.7), other = ToneLevel(sound, c.other, 0.3, 1.7);
            EXPECT_GT(want, 0.08);
            EXPECT_LT(other, want / 20);
        }
    }
}

// --- transport streams whose clock starts again -------------------------------------------

namespace {

// Two 4 s recordings, each starting at the same clock reading, joined byte by byte.
struct JoinedRecordings {
    std::string first, second, joined;
};
const JoinedRecordings& Recordings() {
    static const JoinedRecordings r = [] {
        JoinedRecordings j;
        j.first = Fixture("rec_a.ts", {"-f", "lavfi", "-i", "color=c=red:size=320x240:rate=25", "-f", "lavfi", "-i",
                                       "sine=f=440:r=48000", "-t", "4", "-c:v", "libx264", "-g", "25", "-c:a", "aac",
                                       "-f", "mpegts"});
        j.second = Fixture("rec_b.ts", {"-f", "lavfi", "-i", "smptebars=size=320x240:rate=25", "-f", "lavfi", "-i",
                                        "sine=f=1500:r=48000", "-t", "4", "-c:v", "libx264", "-g", "25", "-c:a", "aac",
                                        "-f", "mpegts"});
        j.joined = (fs::path(j.first).parent_path() / "rec_joined.ts").string();
        WriteFileBytes(j.joined, ReadFileBytes(j.first) + ReadFileBytes(j.second));
        return j;
    }();
    return r;
}

}  // namespace

TEST(InputKinds, AJoinedTransportStreamProbesAtItsWholeLength) {
    const JoinedRecordings& r = Recordings();
    const double one = ProbedSeconds(r.first);
    EXPECT_NEAR(one, 4.0, 0.1);
    EXPECT_NEAR(ProbedSeconds(r.joined), one + ProbedSeconds(r.second), 0.1);
}

TEST(InputKinds, AGrabInTheSecondHalfShowsTheSecondRecording) {
    const JoinedRecordings& r = Recordings();
    TempDir out;
    const std::string late = out / "late.bmp", early = out / "early.bmp";
    ASSERT_EQ(Cli({"grab", r.joined, "--at", "6", "--out", late}).exitCode, 0);
    ASSERT_EQ(Cli({"grab", r.joined, "--at", "1", "--out", early}).exitCode, 0);
    EXPECT_GT(PsnrAt(late, 0, r.second, 2), 30);
    EXPECT_LT(PsnrAt(late, 0, r.first, 2), 20);
    EXPECT_GT(PsnrAt(early, 0, r.first, 1), 30);
    EXPECT_LT(PsnrAt(early, 0, r.second, 1), 20);
}

TEST(InputKinds, CutsOfAJoinedTransportStreamRunThroughBothRecordings) {
    const JoinedRecordings& r = Recordings();
    for (bool reencode : {false, true}) {
        SCOPED_TRACE(reencode ? "re-encoded" : "direct");
        TempDir out;
        std::vector<std::string> cut = {"cut", r.joined,    "--start",           "0",      "--end",
                                        "9",   "--out-dir", out.path().string(), "--quiet"};
        // Re-encoded at the source's own size, so the pictures compare with it.
        if (reencode) cut.insert(cut.end(), {"--reencode", "--size", "0"});
        const CommandResult c = Cli(cut);
        ASSERT_EQ(c.exitCode, 0) << c.err;
        const std::string file = LastLine(c.out);
        const MediaReport m = Inspect(file);
        EXPECT_EQ(Problems(m, true, true, 8.0, 0.1, 0.1, 0.15), "");
        EXPECT_TRUE(m.video.monotonic);
        // The first recording, then the second, each where it belongs.
        EXPECT_GT(PsnrAt(file, 1.5, r.first, 1.5), 25);
        EXPECT_GT(PsnrAt(file, 6.5, r.second, 2.5), 25);
        EXPECT_LT(PsnrAt(file, 6.5, r.first, 2.5), 20);
        const std::vector<float> sound = SoundOf(file);
        EXPECT_GT(ToneLevel(sound, 440, 0.5, 3.5), 0.08);
        EXPECT_GT(ToneLevel(sound, 1500, 4.5, 7.5), 0.08);
        EXPECT_LT(ToneLevel(sound, 440, 4.5, 7.5), 0.01);
        EXPECT_LT(ToneLevel(sound, 1500, 0.5, 3.5), 0.01);
    }
}

// --- raw elementary streams --------------------------------------------------------------

namespace {

// Picture number `index` of a file in decode-and-show order, counted without any seek
// (the ffmpeg tool cannot seek in a raw stream), as 64x48 grey levels.
GreyPicture FrameOf(const std::string& path, int index) {
    const CommandResult r = Run({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v:0", "-vf",
                                 "select=eq(n\\," + std::to_string(index) + "),scale=64:48:flags=area", "-frames:v",
                                 "1", "-pix_fmt", "gray", "-f", "rawvideo", "-"});
    GreyPicture p;
    if (r.exitCode != 0 || r.out.size() != 64u * 48u) return p;
    p.width = 64;
    p.height = 48;
    p.pixels.assign(r.out.begin(), r.out.end());
    return p;
}

void CheckRawStream(const std::string& src, const std::string& ext) {
    // 3 s at 25 pictures a second, a key frame each second.
    EXPECT_NEAR(ProbedSeconds(src), 3.0, 0.05);
    TempDir out;
    const std::string snap = out / "snap.bmp";
    const CommandResult g = Cli({"grab", src, "--at", "2", "--out", snap});
    ASSERT_EQ(g.exitCode, 0) << g.err;
    EXPECT_GT(Psnr(FrameOf(snap, 0), FrameOf(src, 50)), 30);  // the key frame at 2 s
    EXPECT_LT(Psnr(FrameOf(snap, 0), FrameOf(src, 0)), 25);
    // Direct: a raw stream again, from the key frame at 1 s to 2.5 s.
    const CommandResult d = Cli(
        {"cut", src, "--start", "1", "--end", "2.5", "--out-dir", out.path().string(), "--name", "direct", "--quiet"});
    ASSERT_EQ(d.exitCode, 0) << d.err;
    const std::string direct = LastLine(d.out);
    EXPECT_EQ(fs::path(direct).extension(), ext);
    const CommandResult count = Run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                                     "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", direct});
    // 38 pictures; a reordering stream may take the pictures still to be decoded with them.
    EXPECT_GE(std::atoi(count.out.c_str()), 38) << count.out;
    EXPECT_LE(std::atoi(count.out.c_str()), 41) << count.out;
    EXPECT_GT(Psnr(FrameOf(direct, 0), FrameOf(src, 25)), 30);
    EXPECT_GT(Psnr(FrameOf(direct, 30), FrameOf(src, 55)), 30);
    // Re-encoded: 1.5 s from 1 s on.
    const CommandResult e = Cli({"cut", src, "--start", "1", "--end", "2.5", "--out-dir", out.path().string(), "--name",
                                 "again", "--reencode", "--size", "0", "--quiet"});
    ASSERT_EQ(e.exitCode, 0) << e.err;
    EXPECT_EQ(Problems(Inspect(LastLine(e.out)), true, false, 1.5, 0.05), "");
    EXPECT_GT(Psnr(FrameOf(LastLine(e.out), 12), FrameOf(src, 37)), 25);
    EXPECT_LT(Psnr(FrameOf(LastLine(e.out), 12), FrameOf(src, 12)), 25);
}

}  // namespace

TEST(InputKinds, RawH264StreamsAreTimedByTheirFrameRate) {
    const std::string src = Fixture("camera.h264", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "3",
                                                    "-c:v", "libx264", "-g", "25", "-f", "h264"});
    CheckRawStream(src, ".h264");
}

TEST(InputKinds, RawHevcStreamsAreTimedByTheirFrameRate) {
    if (!HaveEncoder("libx265")) GTEST_SKIP() << "the ffmpeg tool has no libx265";
    const std::string src =
        Fixture("camera.hevc", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "3", "-c:v", "libx265",
                                "-x265-params", "keyint=25:min-keyint=25:log-level=none", "-f", "hevc"});
    CheckRawStream(src, ".hevc");
}

// --- undecodable video -------------------------------------------------------------------

TEST(InputKinds, VideoThatCannotBeDecodedIsRefusedByTheProbe) {
    const std::string good =
        Fixture("noise_src.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "2", "-c:v", "libx264",
                                  "-preset", "ultrafast", "-movflags", "+faststart"});
    TempDir dir;
    std::string bytes = ReadFileBytes(good);
    const size_t mdat = bytes.find("mdat");
    ASSERT_NE(mdat, std::string::npos);
    uint32_t x = 99;
    for (size_t k = mdat + 4; k < bytes.size(); ++k) bytes[k] = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
    const std::string noise = dir / "noise.mp4";
    WriteFileBytes(noise, bytes);
    const CommandResult r = Cli({"probe", noise});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("its pictures cannot be decoded"), std::string::npos) << r.err;
    EXPECT_EQ(Cli({"probe", good}).exitCode, 0);
    if (const auto media = SharedMediaDir()) {
        const CommandResult b = Cli({"probe", (*media / "broken_vp9_invalid_bitstream.webm").string()});
        EXPECT_EQ(b.exitCode, 1);
        EXPECT_NE(b.err.find("cannot be decoded"), std::string::npos) << b.err;
    }
}

// --- FIFOs and reads that block ------------------------------------------------------------

TEST(InputKinds, AFifoIsRefusedAtOnceWithItsReason) {
    TempDir dir;
    const std::string fifo = dir / "pipe.mp4";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::vector<std::string>> commands = {
        {"probe", fifo},
        {"grab", fifo, "--at", "0", "--out", dir / "s.bmp"},
        {"cut", fifo, "--start", "0", "--end", "1", "--out-dir", dir.path().string()},
        {"cut", fifo, "--start", "0", "--end", "1", "--out-dir", dir.path().string(), "--reencode"},
    };
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0] + (args.size() > 8 ? " --reencode" : ""));
        BackgroundCli c(args, dir / "err.txt");
        const std::optional<int> rc = c.WaitFor(5);
        ASSERT_TRUE(rc.has_value()) << "still waiting on the FIFO";
        EXPECT_EQ(*rc, 1);
        EXPECT_NE(c.Err().find("FIFO"), std::string::npos) << c.Err();
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - c.began()).count(), 2.0);
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"err.txt", "pipe.mp4"}));
}

TEST(InputKinds, ASignalStopsACutWhoseReadBlocks) {
    // A server that takes the connection and never answers: the open of the source waits.
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(server, 4), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/live.ts";
    for (int sig : {SIGINT, SIGTERM}) {
        for (bool reencode : {false, true}) {
            SCOPED_TRACE(std::string(sig == SIGINT ? "SIGINT" : "SIGTERM") + (reencode ? " re-encoded" : " direct"));
            TempDir dir;
            std::vector<std::string> args = {"cut",    url,    "--start",   "0",
                                             "--end",  "5",    "--out-dir", dir.path().string(),
                                             "--name", "live", "--quiet"};
            if (reencode) args.push_back("--reencode");
            BackgroundCli c(args, dir / "err.txt");
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            ASSERT_TRUE(c.Running()) << c.Err();  // blocked in the read
            const auto sent = Clock::now();
            c.Signal(sig);
            const std::optional<int> rc = c.WaitFor(5);
            ASSERT_TRUE(rc.has_value()) << "the signal did not end the job";
            EXPECT_LT(std::chrono::duration<double>(Clock::now() - sent).count(), 1.0);
            EXPECT_EQ(*rc, 1);
            EXPECT_NE(c.Err().find("stopped"), std::string::npos) << c.Err();
            EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"err.txt"});
        }
    }
    close(server);
}

// --- names with a colon --------------------------------------------------------------------

TEST(InputKinds, RelativeNamesWithAColonAreFiles) {
    TempDir dir;
    fs::copy_file(AvFixture(), dir / "meeting-12:30.mp4");
    fs::copy_file(AvFixture(), dir / "part:2.mp4");
    fs::create_directory(dir / "take:2");
    auto run = [&](const std::vector<std::string>& args) {
        BackgroundCli c(args, dir / "err.txt", "/dev/null", dir.path().string());
        const std::optional<int> rc = c.WaitFor(120);
        EXPECT_EQ(rc, std::optional<int>(0)) << c.Err();
    };
    run({"probe", "meeting-12:30.mp4"});
    run({"grab", "meeting-12:30.mp4", "--at", "1", "--out", "snap:1.bmp"});
    EXPECT_EQ(fs::file_size(dir / "snap:1.bmp"), 230454u);
    EXPECT_GT(PsnrAt(dir / "snap:1.bmp", 0, AvFixture(), 1), 20);
    run({"cut", "meeting-12:30.mp4", "--start", "1", "--end", "3", "--out-dir", "take:2", "--name", "direct"});
    run({"cut", "meeting-12:30.mp4", "--start", "1", "--end", "3", "--out-dir", "take:2", "--name", "again",
         "--reencode"});
    run({"join", "--out-dir", "take:2", "--name", "both", "meeting-12:30.mp4", "part:2.mp4"});
    run({"join", "--out-dir", "take:2", "--name", "both_again", "--reencode", "meeting-12:30.mp4", "part:2.mp4"});
    EXPECT_EQ(Problems(Inspect(dir / "take:2/direct.mp4"), true, true, 2.0, 0.15), "");
    EXPECT_EQ(Problems(Inspect(dir / "take:2/again.mp4"), true, true, 2.0, 0.1), "");
    EXPECT_EQ(Problems(Inspect(dir / "take:2/both.mp4"), true, true, 12.0, 0.15), "");
    EXPECT_EQ(Problems(Inspect(dir / "take:2/both_again.mp4"), true, true, 12.0, 0.15), "");
}
