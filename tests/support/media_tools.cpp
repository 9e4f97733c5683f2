// Command running, fixtures and independent output checks for the tests.
#include "tests/support/media_tools.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace fs = std::filesystem;

namespace ulvane::test {

namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path MakeTempDir(const char* stem) {
    std::string templ = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
    if (!mkdtemp(templ.data())) std::abort();
    return templ;
}

// The fixture folder of this test process; removed when the process ends.
struct FixtureDir {
    fs::path path = MakeTempDir("ulvane-fixtures");
    std::mutex lock;
    std::map<std::string, std::string> made;
    ~FixtureDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};
FixtureDir& Fixtures() {
    static FixtureDir dir;
    return dir;
}

}  // namespace

CommandResult Run(const std::vector<std::string>& argv) {
    TempDir tmp;
    const std::string outPath = tmp / "out", errPath = tmp / "err";
    CommandResult r;
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = open("/dev/null", O_RDONLY);
        dup2(out, 1);
        dup2(err, 2);
        dup2(null, 0);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadAll(outPath);
    r.err = ReadAll(errPath);
    return r;
}

std::string CliPath() {
    if (const char* p = std::getenv("ULVANE_CLI")) return p;
    return ULVANE_CLI_PATH;
}

std::optional<fs::path> SharedMediaDir() {
    fs::path dir = std::getenv("ULVANE_MEDIA_DIR") ? fs::path(std::getenv("ULVANE_MEDIA_DIR"))
                                                   : fs::path(ULVANE_SOURCE_DIR) / ".." / "shared" / "media";
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return fs::canonical(dir, ec);
    return std::nullopt;
}

TempDir::TempDir() : path_(MakeTempDir("ulvane-test")) {}
TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string Fixture(const std::string& name, const std::vector<std::string>& ffmpegArgs) {
    FixtureDir& dir = Fixtures();
    std::lock_guard<std::mutex> hold(dir.lock);
    if (auto it = dir.made.find(name); it != dir.made.end()) return it->second;
    const std::string path = (dir.path / name).string();
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-v", "error", "-y"};
    argv.insert(argv.end(), ffmpegArgs.begin(), ffmpegArgs.end());
    argv.push_back(path);
    const CommandResult r = Run(argv);
    if (r.exitCode != 0) {
        std::fprintf(stderr, "cannot make fixture %s: %s\n", name.c_str(), r.err.c_str());
        std::abort();
    }
    dir.made[name] = path;
    return path;
}

std::string AvFixture() {
    return Fixture("av.mp4", {"-f",      "lavfi",    "-i",       "testsrc2=size=320x240:rate=25",
                              "-f",      "lavfi",    "-i",       "sine=frequency=440:sample_rate=44100",
                              "-t",      "6",        "-c:v",     "libx264",
                              "-preset", "veryfast", "-bf",      "2",
                              "-g",      "25",       "-pix_fmt", "yuv420p",
                              "-c:a",    "aac",      "-ac",      "2"});
}

std::string FilmWithTracksFixture() {
    static const std::string path = [] {
        static const TempDir parts;  // what the film is made of, kept while the process runs
        WriteFileBytes(parts / "film.srt",
                       "1\n00:00:01,000 --> 00:00:03,000\nFirst line\n\n"
                       "2\n00:00:04,000 --> 00:00:07,500\nSecond line\n\n"
                       "3\n00:00:08,000 --> 00:00:09,000\nThird line\n");
        WriteFileBytes(parts / "chapters.txt",
                       ";FFMETADATA1\n"
                       "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=3000\ntitle=Opening\n"
                       "[CHAPTER]\nTIMEBASE=1/1000\nSTART=3000\nEND=6000\ntitle=Middle\n"
                       "[CHAPTER]\nTIMEBASE=1/1000\nSTART=6000\nEND=10000\ntitle=End\n");
        WriteFileBytes(parts / "font.ttf", std::string(4096, '\x5a'));
        return Fixture("film_tracks.mkv", {"-f",
                                           "lavfi",
                                           "-i",
                                           "testsrc2=size=320x240:rate=25:duration=10",
                                           "-f",
                                           "lavfi",
                                           "-i",
                                           "sine=frequency=440:sample_rate=48000:duration=10",
                                           "-f",
                                           "lavfi",
                                           "-i",
                                           "sine=frequency=880:sample_rate=48000:duration=10",
                                           "-i",
                                           parts / "film.srt",
                                           "-i",
                                           parts / "chapters.txt",
                                           "-map",
                                           "0",
                                           "-map",
                                           "1",
                                           "-map",
                                           "2",
                                           "-map",
                                           "3",
                                           "-map_chapters",
                                           "4",
                                           "-c:v",
                                           "libx264",
                                           "-preset",
                                           "veryfast",
                                           "-bf",
                                           "2",
                                           "-g",
                                           "50",
                                           "-keyint_min",
                                           "50",
                                           "-sc_threshold",
                                           "0",
                                           "-pix_fmt",
                                           "yuv420p",
                                           "-c:a",
                                           "aac",
                                           "-c:s",
                                           "srt",
                                           "-metadata:s:a:0",
                                           "language=eng",
                                           "-metadata:s:a:1",
                                           "language=deu",
                                           "-metadata:s:a:1",
                                           "title=German",
                                           "-disposition:a:0",
                                           "default",
                                           "-disposition:a:1",
                                           "0",
                                           "-metadata:s:s:0",
                                           "language=fra",
                                           "-disposition:s:0",
                                           "forced",
                                           "-attach",
                                           parts / "font.ttf",
                                           "-metadata:s:t",
                                           "mimetype=application/x-truetype-font"});
    }();
    return path;
}

std::vector<Caption> CaptionsOf(const std::string& path, int track) {
    const CommandResult r = Run(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:s:" + std::to_string(track), "-f", "srt", "-"});
    std::vector<Caption> out;
    std::istringstream in(r.exitCode == 0 ? r.out : "");
    std::string line;
    const auto seconds = [](const std::string& t) {
        int h = 0, m = 0, s = 0, ms = 0;
        std::sscanf(t.c_str(), "%d:%d:%d,%d", &h, &m, &s, &ms);
        return h * 3600.0 + m * 60.0 + s + ms / 1000.0;
    };
    while (std::getline(in, line)) {
        const size_t arrow = line.find(" --> ");
        if (arrow == std::string::npos) continue;
        Caption c;
        c.start = seconds(line.substr(0, arrow));
        c.end = seconds(line.substr(arrow + 5));
        while (std::getline(in, line) && !line.empty() && line != "\r") c.text += (c.text.empty() ? "" : "\n") + line;
        out.push_back(std::move(c));
    }
    return out;
}

std::string FlvWithBFramesFixture() {
    return Fixture("bframes.flv", {"-f",   "lavfi",   "-i",          "testsrc2=size=320x240:rate=25:duration=6",
                                   "-f",   "lavfi",   "-i",          "sine=f=440:duration=6",
                                   "-c:v", "libx264", "-preset",     "veryfast",
                                   "-g",   "50",      "-keyint_min", "50",
                                   "-bf",  "3",       "-c:a",        "aac",
                                   "-ar",  "44100"});
}

std::string AvFixture30fps() {
    return Fixture("av30.mp4", {"-f",       "lavfi",    "-i",   "testsrc2=size=320x240:rate=30",
                                "-f",       "lavfi",    "-i",   "sine=frequency=600:sample_rate=48000",
                                "-t",       "4",        "-c:v", "libx264",
                                "-preset",  "veryfast", "-bf",  "2",
                                "-pix_fmt", "yuv420p",  "-c:a", "aac"});
}

std::string VideoOnlyFixture() {
    return Fixture("video_only.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "3", "-c:v",
                                      "libx264", "-preset", "veryfast", "-bf", "2", "-g", "25", "-pix_fmt", "yuv420p"});
}

std::string AudioOnlyFixture() {
    return Fixture("audio_only.m4a",
                   {"-f", "lavfi", "-i", "sine=frequency=300:sample_rate=48000", "-t", "2", "-c:a", "aac"});
}

MediaReport Inspect(const std::string& path) {
    MediaReport r;
    const CommandResult streams = Run({"ffprobe", "-v", "error", "-show_entries",
                                       "format=format_name:stream=index,codec_type,codec_name:stream_disposition="
                                       "attached_pic:stream_tags=rotate,language:stream_side_data=rotation",
                                       "-of", "flat", path});
    if (streams.exitCode != 0) return r;
    r.readable = true;
    std::map<int, std::map<std::string, std::string>> fields;
    std::istringstream lines(streams.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
        if (key == "format.format_name") r.format = value;
        if (key.rfind("streams.stream.", 0) != 0) continue;
        const int index = std::atoi(key.c_str() + 15);
        const std::string rest = key.substr(key.find('.', 15) + 1);
        fields[index][rest] = value;
    }
    std::map<int, StreamSpan*> spans;
    for (auto& [index, f] : fields) {
        const bool cover = f["disposition.attached_pic"] == "1";
        if (f["codec_type"] == "video" && !cover && !r.video.present) {
            r.video.present = true;
            r.video.codec = f["codec_name"];
            spans[index] = &r.video;
            for (auto& [k, v] : f)
                if (k.find("rotat") != std::string::npos) r.rotation = v;
        } else if (f["codec_type"] == "audio" && !r.audio.present) {
            r.audio.present = true;
            r.audio.codec = f["codec_name"];
            r.audioLanguage = f["tags.language"];
            spans[index] = &r.audio;
        } else {
            ++r.otherStreams;
        }
    }
    const CommandResult packets =
        Run({"ffprobe", "-v", "error", "-show_entries", "packet=stream_index,pts_time,dts_time,duration_time,flags",
             "-of", "csv=p=0", path});
    std::map<int, double> lastDts;
    std::istringstream plines(packets.out);
    for (std::string line; std::getline(plines, line);) {
        std::vector<std::string> cols;
        std::istringstream cs(line);
        for (std::string c; std::getline(cs, c, ',');) cols.push_back(c);
        if (cols.size() < 4) continue;
        const int index = std::atoi(cols[0].c_str());
        auto it = spans.find(index);
        if (it == spans.end()) continue;
        StreamSpan& s = *it->second;
        if (cols[2] != "N/A") {
            const double d = std::atof(cols[2].c_str());
            if (lastDts.count(index) && d < lastDts[index]) s.monotonic = false;
            lastDts[index] = d;
        }
        // A packet the container hides (before an edit list's start) is decoded, never shown.
        if (cols[1] == "N/A" || (cols.size() > 4 && cols[4].find('D') != std::string::npos)) continue;
        const double t = std::atof(cols[1].c_str());
        const double dur = cols[3] == "N/A" ? 0 : std::atof(cols[3].c_str());
        if (s.packets == 0) s.start = t, s.end = t + dur;
        s.start = std::min(s.start, t);
        s.end = std::max(s.end, t + dur);
        ++s.packets;
    }
    const CommandResult decode = Run({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"});
    r.decodeErrors = decode.err;
    if (decode.exitCode != 0 && r.decodeErrors.empty()) r.decodeErrors = "decode failed";
    return r;
}

std::string Problems(const MediaReport& r, bool video, bool audio, double length, double slack, double tolerance,
                     double syncTolerance) {
    std::ostringstream p;
    if (!r.readable) return "ffprobe cannot read the file";
    if (r.video.present != video) p << (video ? "no video stream; " : "an unexpected video stream; ");
    if (r.audio.present != audio) p << (audio ? "no audio stream; " : "an unexpected audio stream; ");
    if (!r.decodeErrors.empty()) p << "decode errors: " << r.decodeErrors.substr(0, 300) << "; ";
    for (const auto* s : {&r.video, &r.audio}) {
        if (!s->present) continue;
        const char* kind = s == &r.video ? "video" : "audio";
        if (s->packets == 0) p << kind << " has no packets; ";
        if (!s->monotonic) p << kind << " decode timestamps go backwards; ";
        if (std::fabs(s->start) > tolerance) p << kind << " starts at " << s->start << " s; ";
        const double len = s->end - s->start;
        if (len < length - tolerance || len > length + slack + tolerance)
            p << kind << " lasts " << len << " s, expected " << length << " to " << length + slack << "; ";
    }
    if (r.video.present && r.audio.present && std::fabs(r.video.end - r.audio.end) > syncTolerance)
        p << "audio ends at " << r.audio.end << " s, video at " << r.video.end << " s; ";
    return p.str();
}

std::string ReadFileBytes(const std::string& path) {
    return ReadAll(path);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

bool Installed(const std::string& tool) {
    return Run({"sh", "-c", "command -v " + tool}).exitCode == 0;
}

}  // namespace

bool OtherPlayersPresent() {
    return Installed("gst-launch-1.0") || Installed("mpv");
}

std::string OtherPlayersProblems(const std::string& path) {
    std::string problems;
    const std::string absolute = fs::absolute(path).string();
    if (Installed("gst-launch-1.0")) {
        const CommandResult r = Run({"gst-launch-1.0", "-q", "playbin", "uri=file://" + absolute,
                                     "video-sink=fakesink sync=false", "audio-sink=fakesink sync=false"});
        const std::string said = r.out + r.err;
        if (r.exitCode != 0 || said.find("ERROR") != std::string::npos) problems += "GStreamer: " + said + "\n";
    }
    if (Installed("mpv")) {
        const CommandResult r = Run({"mpv", "--no-config", "--vo=null", "--ao=null", "--ao-null-untimed", "--untimed",
                                     "--msg-level=all=error", absolute});
        const std::string said = r.out + r.err;
        if (r.exitCode != 0 || said.find_first_not_of(" \n") != std::string::npos) problems += "mpv: " + said + "\n";
    }
    return problems;
}

}  // namespace ulvane::test
