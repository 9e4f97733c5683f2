// Several segments of one source in one job, and joins of clips: each segment's pictures are
// the source's from its start, the sound stays with the pictures at every seam, however many,
// the files are named and counted as asked, and a bad segment is a usage error naming it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

// `seconds` of moving pictures, a key frame every 2 s, B-frames, and a steady tone.
std::string MovingSource(int seconds = 30) {
    const std::string length = std::to_string(seconds);
    return Fixture("segments_moving" + length + ".mp4",
                   {"-f",   "lavfi",   "-i",          "testsrc2=size=320x240:rate=25:duration=" + length,
                    "-f",   "lavfi",   "-i",          "sine=f=440:duration=" + length,
                    "-c:v", "libx264", "-preset",     "veryfast",
                    "-g",   "50",      "-keyint_min", "50",
                    "-bf",  "3",       "-c:a",        "aac"});
}

// A 1 kHz beep of 50 ms every `period` seconds for `seconds`, at 44.1 kHz, each starting on
// its sample (a filter's timeline would start it on the next frame of 1024 samples).
std::string Beeps(double period, int seconds) {
    std::ostringstream s;
    s << "aevalsrc='if(lt(mod(t\\," << period << ")\\,0.05)\\,sin(2*PI*1000*t)\\,0)':s=44100:d=" << seconds;
    return s.str();
}

// 40 s of black with a white picture and a 1 kHz beep at the start of every second.
std::string FlashBeepSource() {
    return Fixture("segments_flash_beep.mp4",
                   {"-f", "lavfi", "-i",
                    "color=c=black:size=320x240:rate=25:duration=40,"
                    "drawbox=c=white:t=fill:enable='lt(mod(t\\,1)\\,0.02)'",
                    "-f", "lavfi", "-i", Beeps(1, 40), "-c:v", "libx264", "-g", "25", "-bf", "2", "-c:a", "aac"});
}

// 32 s of black in 64x64 with a white picture and a 1 kHz beep every 0.4 s, a key frame on
// each: small enough for a thousand clips.
std::string FastFlashBeepSource() {
    return Fixture("segments_flash_beep_fast.mp4", {"-f",
                                                    "lavfi",
                                                    "-i",
                                                    "color=c=black:size=64x64:rate=25:duration=32,"
                                                    "drawbox=c=white:t=fill:enable='eq(mod(n\\,10)\\,0)'",
                                                    "-f",
                                                    "lavfi",
                                                    "-i",
                                                    Beeps(0.4, 32),
                                                    "-c:v",
                                                    "libx264",
                                                    "-g",
                                                    "10",
                                                    "-keyint_min",
                                                    "10",
                                                    "-sc_threshold",
                                                    "0",
                                                    "-bf",
                                                    "2",
                                                    "-c:a",
                                                    "aac"});
}

// The times of the white pictures of `path`, by their own timestamps.
std::vector<double> FlashTimes(const std::string& path) {
    const CommandResult r = Run({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v", "-vf",
                                 "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-", "-f", "null", "-"});
    std::vector<double> flashes;
    std::istringstream lines(r.out);
    double pts = -1;
    for (std::string line; std::getline(lines, line);) {
        if (const size_t at = line.find("pts_time:"); at != std::string::npos) pts = std::stod(line.substr(at + 9));
        if (const size_t at = line.find("YAVG="); at != std::string::npos && std::stod(line.substr(at + 5)) > 128)
            flashes.push_back(pts);
    }
    return flashes;
}

// Where each beep of `path` starts: the first loud sample after 50 ms of silence (a beep is
// 50 ms of a 1 kHz tone; a clip may end 0.1 s after one). Placed by the
// sound's timestamps, or (`playedOn`) as a player that plays its frames one after the other
// hears it: a frame missing at a seam moves every later beep a frame earlier.
std::vector<double> BeepStarts(const std::string& path, bool playedOn = false) {
    constexpr int kRate = 8000;
    const std::vector<float> sound = playedOn ? SoundPlayedOn(path, kRate) : SoundOf(path, kRate);
    std::vector<double> starts;
    int quiet = kRate;  // samples since the last loud one
    for (size_t i = 0; i < sound.size(); ++i) {
        if (std::fabs(sound[i]) > 0.05f) {
            if (quiet > kRate / 20) starts.push_back(static_cast<double>(i) / kRate);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return starts;
}

CommandResult CutSegments(const std::string& source, const std::vector<std::string>& segments,
                          const std::vector<std::string>& flags, const TempDir& out) {
    std::vector<std::string> args = {"cut", source};
    for (const std::string& s : segments) args.insert(args.end(), {"--segment", s});
    args.insert(args.end(), flags.begin(), flags.end());
    args.insert(args.end(), {"--out-dir", out.path().string(), "--name", "out", "--quiet"});
    return Cli(args);
}

// The md5 of every video packet, in file order, as the ffmpeg tool copies them.
std::vector<std::string> PacketHashes(const std::string& path) {
    const CommandResult r = ulvane::test::Run(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v", "-c", "copy", "-f", "framemd5", "-"});
    std::vector<std::string> hashes;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(',') + 1));
    return hashes;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// The best match of the output's picture at `outAt` among the source's pictures within
// `pictures` pictures' time of `sourceAt`: a seam may move a clip by less than a picture.
// Decoded from the start, as seeks in a transport stream land elsewhere.
double BestPsnr(const std::string& output, double outAt, const std::string& source, double sourceAt, int pictures = 1) {
    const GreyPicture shown = PictureDecodedAt(output, outAt);
    double best = 0;
    for (int d = -pictures; d <= pictures; ++d)
        best = std::max(best, Psnr(shown, PictureDecodedAt(source, sourceAt + 0.04 * d)));
    return best;
}

constexpr double kSoundFrame = 1024.0 / 44100;

// How late the beeps of `source` read against their flashes (the encoder's start, the
// threshold): outputs are measured against that.
double BeepLateness(const std::string& source) {
    const std::vector<double> flashes = FlashTimes(source), beeps = BeepStarts(source);
    if (flashes.size() < 2 || beeps.size() < 2) return 1e9;
    return beeps[1] - flashes[1];
}

// In the merged `file` of `clips` clips, each holding one flash and its whole beep (after
// `step - 1` flashes whose beep a seam may cut): every such beep starts with its flash within
// `bound`, by the sound's timestamps and played frame after frame, and the sound ends within
// `endBound` of the pictures.
void ExpectSoundWithPictures(const std::string& file, size_t clips, size_t step, double late, double bound,
                             double endBound) {
    const std::vector<double> flashes = FlashTimes(file);
    ASSERT_EQ(flashes.size(), clips * step);
    for (bool playedOn : {false, true}) {
        SCOPED_TRACE(playedOn ? "played frame after frame" : "by timestamps");
        const std::vector<double> beeps = BeepStarts(file, playedOn);
        ASSERT_GE(beeps.size(), clips);
        size_t off = 0;  // the first few reported, not every later seam
        for (size_t k = step - 1; k < flashes.size() && off < 3; k += step) {
            const double due = flashes[k] + late;
            const auto next = std::lower_bound(beeps.begin(), beeps.end(), due);
            double nearest = next == beeps.end() ? 1e9 : *next - due;
            if (next != beeps.begin() && due - next[-1] < std::fabs(nearest)) nearest = next[-1] - due;
            if (std::fabs(nearest) > bound)
                ADD_FAILURE() << "clip " << k / step + 1 << ": its beep is " << nearest << " s off (#" << ++off << ")";
        }
    }
    EXPECT_EQ(Problems(Inspect(file), true, true, 0, 1e9, 1e9, endBound), "");
}

// The source's pictures that a segment from `start` to `end` seconds holds, as a range of
// indices into `times` (when each picture shows, in microseconds from the file's start): from
// the one on screen at the start (or the next, when it starts within half a picture's time)
// to the last that starts before the end.
std::pair<size_t, size_t> SegmentPictures(const std::vector<int64_t>& times, double start, double end) {
    const int64_t from = std::llround(start * 1e6), to = std::llround(end * 1e6);
    const int64_t half = (times[1] - times[0]) / 2;
    size_t first = static_cast<size_t>(std::upper_bound(times.begin(), times.end(), from) - times.begin()) - 1;
    if (first + 1 < times.size() && times[first + 1] - from < half) ++first;
    const size_t last = static_cast<size_t>(std::lower_bound(times.begin(), times.end(), to) - times.begin()) - 1;
    return {first, last};
}

// When each picture of a file shows, in display order, in microseconds from the file's start.
std::vector<int64_t> PictureTimesFromStart(const std::string& path) {
    const double start = std::atof(
        ulvane::test::Run({"ffprobe", "-v", "error", "-show_entries", "format=start_time", "-of", "csv=p=0", path})
            .out.c_str());
    const CommandResult r = ulvane::test::Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                               "frame=best_effort_timestamp_time", "-of", "csv=p=0", path});
    std::vector<int64_t> times;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) times.push_back(std::llround((std::atof(line.c_str()) - start) * 1e6));
    std::sort(times.begin(), times.end());
    return times;
}

}  // namespace

// Three segments off the key frames, merged exactly in one pass: one clean file as long as
// they are together, which shows every picture of each segment in order and nothing else,
// in every container, and for HEVC in open groups (each copied part starts on a CRA picture
// whose leading pictures the head shows).
TEST(CliSegments, AMergedExactExportHoldsEachSegmentsPicturesInOrder) {
    const std::string mp4 = MovingSource();
    // 640x360 10 bit, a CRA picture every 2 s and 4 B-frames, no sound.
    const std::string hevc = Fixture(
        "segments_hevc10_open.mkv",
        {"-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=16", "-c:v", "libx265", "-preset", "ultrafast",
         "-x265-params", "keyint=50:min-keyint=50:open-gop=1:bframes=4:log-level=error", "-pix_fmt", "yuv420p10le"});
    const struct {
        std::string source;
        double starts[3], ends[3];
        bool sound;
    } cases[] = {{mp4, {1.3, 7.7, 12.2}, {3.1, 9.0, 15.0}, true},
                 {Fixture("segments_moving.mkv", {"-i", mp4, "-c", "copy"}), {1.3, 7.7, 12.2}, {3.1, 9.0, 15.0}, true},
                 {Fixture("segments_moving.ts", {"-i", mp4, "-c", "copy"}), {1.3, 7.7, 12.2}, {3.1, 9.0, 15.0}, true},
                 // The second segment starts on a CRA picture right after pictures encoded
                 // again (the first one's end), with parameter sets of their own.
                 {hevc, {1.3, 8.0, 12.21}, {3.1, 9.3, 15.0}, false}};
    for (const auto& c : cases) {
        const std::string& source = c.source;
        SCOPED_TRACE(source);
        TempDir out;
        std::vector<std::string> segments;
        double length = 0;
        for (int k = 0; k < 3; ++k) {
            std::ostringstream segment;
            segment << c.starts[k] << "-" << c.ends[k];
            segments.push_back(segment.str());
            length += c.ends[k] - c.starts[k];
        }
        const auto r = CutSegments(source, segments, {"--merge", "--exact"}, out);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::vector<std::string> files = Lines(r.out);
        ASSERT_EQ(files.size(), 1u) << r.out;
        EXPECT_EQ(Problems(Inspect(files[0]), true, c.sound, length, 0.12, 0.1, 0.05), "");
        // After the first picture (shown from the start asked for), every picture keeps the
        // beat, seams included, with sound or without: each starts a whole number of picture
        // times after the second one (within Matroska's millisecond).
        const std::vector<int64_t> beats = PictureTimesFromStart(files[0]);
        ASSERT_GT(beats.size(), 2u);
        for (size_t i = 2; i < beats.size(); ++i) {
            const int64_t off = (beats[i] - beats[1]) % 40000;
            ASSERT_LE(std::min(off, 40000 - off), 1500) << "picture " << i << " at " << beats[i] << " us";
        }
        // The output's pictures are the source's, segment after segment: each is nearer to
        // the source picture it stands for than to that one's neighbours.
        const std::vector<int64_t> times = PictureTimesFromStart(source);
        const std::vector<GreyPicture> original = PicturesOf(source), shown = PicturesOf(files[0]);
        ASSERT_EQ(original.size(), times.size());
        std::vector<size_t> due;
        for (int k = 0; k < 3; ++k) {
            const auto [first, last] = SegmentPictures(times, c.starts[k], c.ends[k]);
            for (size_t i = first; i <= last; ++i) due.push_back(i);
        }
        ASSERT_EQ(shown.size(), due.size());
        size_t wrong = 0;
        std::string firstWrong;
        for (size_t i = 0; i < shown.size(); ++i) {
            size_t nearest = due[i];
            for (size_t j = due[i] < 3 ? 0 : due[i] - 3; j <= due[i] + 3 && j < original.size(); ++j)
                if (Psnr(shown[i], original[j]) > Psnr(shown[i], original[nearest])) nearest = j;
            if (nearest != due[i] || Psnr(shown[i], original[nearest]) < 38.0) {
                if (wrong++ == 0)
                    firstWrong = "picture " + std::to_string(i) + " shows source picture " + std::to_string(nearest) +
                                 " where " + std::to_string(due[i]) + " is due";
            }
        }
        EXPECT_EQ(wrong, 0u) << firstWrong;
        EXPECT_EQ(OtherPlayersProblems(files[0]), "");
        if (source != mp4) continue;
        // The copied packets are the source's own: those after each segment's first key frame
        // (2 s, 8 s and 14 s: packets 50, 200 and 350 in decode order, each given the source's
        // parameter sets before it) appear unchanged and in order.
        const std::vector<std::string> packets = PacketHashes(mp4), output = PacketHashes(files[0]);
        ASSERT_GT(packets.size(), 400u);
        for (size_t key : {50u, 200u, 350u}) {
            const std::vector<std::string> run(packets.begin() + key + 1, packets.begin() + key + 16);
            EXPECT_NE(std::search(output.begin(), output.end(), run.begin(), run.end()), output.end()) << key;
        }
    }
}

// Fifteen seams, each starting off the beat of pictures and sound frames: at every one the
// beep starts with its white picture within half a sound frame (1024 samples at 44.1 kHz),
// and the error does not grow from seam to seam. Copied exactly, copied from key frames, and
// encoded again.
TEST(CliSegments, SoundStaysWithItsPicturesAtEverySeam) {
    const std::string source = FlashBeepSource();
    std::vector<std::string> segments;
    for (int j = 0; j < 15; ++j) {
        std::ostringstream s;
        s << 2 * j + 0.37 << "-" << 2 * j + 1.61;
        segments.push_back(s.str());
    }
    const double late = BeepLateness(source);
    ASSERT_LT(std::fabs(late), 0.03) << late;
    for (const std::vector<std::string>& method :
         std::vector<std::vector<std::string>>{{"--exact"}, {}, {"--reencode"}}) {
        SCOPED_TRACE(method.empty() ? "direct" : method[0]);
        TempDir out;
        const auto r = CutSegments(
            source, segments,
            [&] {
                std::vector<std::string> f = {"--merge"};
                f.insert(f.end(), method.begin(), method.end());
                return f;
            }(),
            out);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        // A copy from the key frame before each start brings the flash of that second too,
        // whose beep is cut with it: only the flashes inside the clips have whole beeps to time.
        const size_t step = method.empty() ? 2 : 1;
        // A copy runs its sound on, starting each clip with the frame nearest its pictures;
        // an encode places its sound by the sample and its pictures on the output's beat,
        // within half a picture.
        const double bound = (method == std::vector<std::string>{"--reencode"} ? 0.02 : kSoundFrame / 2) + 0.002;
        // The last clip's sound ends with the last whole frame that reaches its pictures' end.
        ExpectSoundWithPictures(LastLine(r.out), 15, step, late, bound, 2 * kSoundFrame);
    }
}

// A thousand clips, each starting off the beat of pictures and sound frames between two key
// frames and ending before the next: after the last seam the beeps still start with their
// flashes within half a sound frame, by timestamps and played frame after frame (no frame
// is lost), and the sound ends with the pictures. In MP4, and in Matroska, whose times in
// whole milliseconds round each 23.2 ms frame; exact clips, and clips copied from key frames.
TEST(CliSegments, SoundStaysWithItsPicturesOverAThousandSeams) {
    const std::string mp4 = FastFlashBeepSource();
    const std::string mkv = Fixture("segments_flash_beep_fast.mkv", {"-i", mp4, "-c", "copy"});
    std::ostringstream csv;
    for (int k = 0; k < 1000; ++k) {
        const int n = 1 + k % 75;  // the flash at 0.4n s, on a key frame
        csv << 0.4 * n - 0.13 << "," << 0.4 * n + 0.17 << ",\n";
    }
    const struct {
        std::string source;
        const char* method;  // "" copies from the key frame before each start
    } cases[] = {{mp4, "--exact"}, {mkv, "--exact"}, {mkv, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " " + c.method);
        const double late = BeepLateness(c.source);
        ASSERT_LT(std::fabs(late), 0.03) << late;
        TempDir out;
        const std::string list = (out.path() / "clips.csv").string();
        WriteFileBytes(list, csv.str());
        std::vector<std::string> args = {"cut",     c.source,    "--segments",        list,
                                         "--merge", "--out-dir", out.path().string(), "--name",
                                         "out",     "--quiet"};
        if (*c.method) args.push_back(c.method);
        const auto r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        // A copy from the key frame before each start brings the flash before too, whose
        // beep is whole as well; the flashes inside the clips are timed.
        const size_t step = *c.method ? 1 : 2;
        ExpectSoundWithPictures(LastLine(r.out), 1000, step, late, kSoundFrame / 2 + 0.002, kSoundFrame);
    }
}

// Each segment to its own file, named by the label or the number; everything outside the
// segments as one file; chapters named by the labels.
TEST(CliSegments, SeparateFilesOutsidePartsAndChaptersAreWhatWasAsked) {
    const std::string source = MovingSource();
    TempDir csvDir;
    const std::string csv = (csvDir.path() / "talks.csv").string();
    // The last line runs past the file's end (30 s): it is cut to the end, with a note.
    WriteFileBytes(csv, "start,end,label\r\n00:00:02.000,00:00:05.000,Opening talk\r\n11,14.5,\r\n28,45,Closing\r\n");

    TempDir separate;
    auto r = Cli({"cut", source, "--segments", csv, "--segment", "20-22", "--exact", "--out-dir",
                  separate.path().string(), "--name", "out", "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("line 4: the segment's end 00:00:45.000 is past the end of the file at 00:00:30.000"),
              std::string::npos)
        << r.err;
    // The --segment ones come first, then the file's lines.
    EXPECT_EQ(FilesIn(separate.path()),
              (std::vector<std::string>{"out 1.mp4", "out 3.mp4", "out Closing.mp4", "out Opening talk.mp4"}));
    const struct {
        const char* name;
        double length, start;
    } files[] = {{"out 1.mp4", 2.0, 20.0},
                 {"out Opening talk.mp4", 3.0, 2.0},
                 {"out 3.mp4", 3.5, 11.0},
                 {"out Closing.mp4", 2.0, 28.0}};
    for (const auto& f : files) {
        const std::string path = (separate.path() / f.name).string();
        EXPECT_EQ(Problems(Inspect(path), true, true, f.length, 0.08), "") << f.name;
        EXPECT_GE(PsnrAt(path, 0.02, source, f.start + 0.02), 38.0) << f.name;
    }

    TempDir outside;
    r = CutSegments(source, {"0-2", "10-12.5", "29-"}, {"--merge-outside", "--exact"}, outside);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Problems(Inspect(LastLine(r.out)), true, true, 8.0 + 16.5, 0.12), "");
    EXPECT_GE(BestPsnr(LastLine(r.out), 9.0, source, 13.5), 38.0);

    TempDir chaptered;
    r = Cli({"cut", source, "--segments", csv, "--merge", "--chapters", "--out-dir", chaptered.path().string(),
             "--name", "talks", "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const CommandResult chapters =
        ulvane::test::Run({"ffprobe", "-v", "error", "-show_entries", "chapter=start_time:chapter_tags=title", "-of",
                           "csv=p=0", LastLine(r.out)});
    const std::vector<std::string> lines = Lines(chapters.out);
    ASSERT_EQ(lines.size(), 3u) << chapters.out;
    EXPECT_EQ(lines[0].substr(lines[0].find(',') + 1), "Opening talk");
    EXPECT_EQ(lines[1].substr(lines[1].find(',') + 1), "Segment 2");
    EXPECT_EQ(lines[2].substr(lines[2].find(',') + 1), "Closing");
    EXPECT_NEAR(std::stod(lines[1]), 3.0, 0.1);
    EXPECT_GE(std::stod(lines[2]), 6.5 - 0.1);  // a direct merge starts each part on its key frame
}

// A join of a clip and a whole file: the clip's part of its file, then the other file.
TEST(CliSegments, AJoinTakesAClipOfAFileAndAWholeFile) {
    const std::string source = MovingSource();
    const std::string first = MovingSource(4);
    TempDir out;
    const auto r = Cli({"join", source, "--from", "6.5", "--to", "9.5", first, "--exact", "--out-dir",
                        out.path().string(), "--name", "joined", "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    EXPECT_EQ(Problems(Inspect(file), true, true, 7.0, 0.15), "");
    EXPECT_GE(PsnrAt(file, 0.02, source, 6.52), 38.0);
    EXPECT_GE(BestPsnr(file, 5.0, source, 2.0), 38.0);
}

// What cannot be a segment is refused before anything is made, naming it.
TEST(CliSegments, BadSegmentsAreUsageErrorsNamingThem) {
    const std::string source = MovingSource();
    TempDir dir;
    const std::string badCsv = (dir.path() / "bad.csv").string();
    WriteFileBytes(badCsv, "1,2,a\n3,x,b\n");
    // A mistyped first line is no header: the whole list is refused, naming it.
    const std::string typoCsv = (dir.path() / "typo.csv").string();
    WriteFileBytes(typoCsv, "0:1O,0:20,Intro\n0:30,0:40,Outro\n");
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--segment", "5-3"}, "segment 1 ends at 00:00:03.000, before its start"},
        {{"--segment", "1-2", "--segment", "25-40"}, "segment 2"},
        {{"--segment", "1-5", "--segment", "4-8", "--merge-outside"}, "segment 2"},
        {{"--segment", "1-5", "--start", "1"}, "--start and --end are for one segment"},
        {{"--segment", "1-5", "--chapters"}, "--chapters is for one merged file"},
        {{"--segment", "1:00"}, "not START-END"},
        {{"--segment", "0-30", "--merge-outside"}, "nothing lies outside"},
        {{"--segments", badCsv}, "line 2"},
        {{"--segments", typoCsv}, "line 1: the start \"0:1O\" is not a time"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"cut", source};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"--out-dir", dir.path().string()});
        const auto r = Cli(args);
        EXPECT_EQ(r.exitCode, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"bad.csv", "typo.csv"}));
    const auto clip =
        Cli({"join", source, "--from", "9", "--to", "4", "--out-dir", dir.path().string(), "--name", "j"});
    EXPECT_EQ(clip.exitCode, 2);
    EXPECT_NE(clip.err.find("--to (00:00:04.000) is not after --from"), std::string::npos) << clip.err;
}
