// Test helpers: run commands, make small media fixtures with the ffmpeg tool, and judge
// output files independently of our code with ffprobe and a full ffmpeg decode.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ulvane::test {

struct CommandResult {
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs argv (no shell); captures both outputs.
CommandResult Run(const std::vector<std::string>& argv);

// The ulvane-cli binary under test.
std::string CliPath();
// The folder of shared real-world samples, or nullopt when it is not there.
std::optional<std::filesystem::path> SharedMediaDir();

// A fresh folder removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Generates (once per test process) a fixture by running `ffmpeg -y <args> <file>` into a
// shared fixture folder, and returns its path. `name` is the file name.
std::string Fixture(const std::string& name, const std::vector<std::string>& ffmpegArgs);

// Common fixtures.
std::string AvFixture();         // 6 s, 320x240 25 fps H.264 with B-frames + AAC 44.1 kHz, mp4
std::string AvFixture30fps();    // 4 s, 320x240 30 fps H.264 + AAC 48 kHz, mp4
std::string VideoOnlyFixture();  // 3 s, 320x240 H.264, mp4
std::string AudioOnlyFixture();  // 2 s, AAC 48 kHz, m4a
// 6 s, 320x240 25 fps H.264 with 3 B-frames and a key frame every 2 s + AAC 44.1 kHz, in
// FLV (which seeks by decode time).
std::string FlvWithBFramesFixture();
// A 10 s Matroska film: 320x240 25 fps H.264 with a key frame every 2 s; a 440 Hz English
// sound track and an 880 Hz German one titled "German"; French SubRip subtitles, forced,
// "First line" 1-3 s, "Second line" 4-7.5 s, "Third line" 8-9 s; a font attachment
// "font.ttf"; chapters "Opening" 0-3 s, "Middle" 3-6 s, "End" 6-10 s.
std::string FilmWithTracksFixture();

// A timed text: what a subtitle track shows, from when to when (seconds).
struct Caption {
    std::string text;
    double start = 0, end = 0;
};
// The captions of subtitle track `track` of a file, read by the ffmpeg tool.
std::vector<Caption> CaptionsOf(const std::string& path, int track = 0);

struct StreamSpan {
    bool present = false;
    std::string codec;
    double start = 0;  // first presentation time, seconds
    double end = 0;    // largest presentation time + duration, seconds
    bool monotonic = true;
    int packets = 0;
};

struct MediaReport {
    bool readable = false;
    std::string format;
    StreamSpan video, audio;  // cover art is not video
    int otherStreams = 0;
    std::string decodeErrors;  // what a full decode printed; empty when clean
    std::string rotation;      // the video stream's rotation tag or side data, "" if none
    std::string audioLanguage;
};

MediaReport Inspect(const std::string& path);

// Describes every way `r` falls short of a playable output of the given kinds lasting
// `length` to `length + slack` seconds (each within `tolerance`), starting at 0, with
// audio and video ending within `syncTolerance`. Empty when it is fine.
std::string Problems(const MediaReport& r, bool video, bool audio, double length, double slack, double tolerance = 0.1,
                     double syncTolerance = 0.1);

// A whole file's bytes ("" when it cannot be read), and writing bytes as a whole file.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Files in a folder (names only), sorted.
std::vector<std::string> FilesIn(const std::filesystem::path& dir);

// What readers that do not share FFmpeg's demuxers say when they play `path` through:
// GStreamer's playbin and mpv, each where it is installed. Empty when both play it
// cleanly (or neither is there: see OtherPlayersPresent).
std::string OtherPlayersProblems(const std::string& path);
bool OtherPlayersPresent();

}  // namespace ulvane::test
