// The exact direct cut: it starts on the very picture at the marked start, the pictures
// before the first key frame after it match the source closely, every copied packet after
// that key frame is the source's, and the splice decodes cleanly, in MP4, Matroska and
// MPEG-TS, for H.264 (B-frames, open groups, fields) and HEVC (10 bit, open groups), and
// for MPEG-4 Part 2 in AVI, MP4 and Matroska. What cannot be spliced is encoded whole, to
// be sought in and no larger than it need be, and says so.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

// 20 s of moving pictures with a key frame every 2 s, and sound.
std::string H264Source() {
    return Fixture("exact_h264.mp4", {"-f",   "lavfi",   "-i",          "testsrc2=size=320x240:rate=25:duration=20",
                                      "-f",   "lavfi",   "-i",          "sine=f=440:duration=20",
                                      "-c:v", "libx264", "-preset",     "veryfast",
                                      "-g",   "50",      "-keyint_min", "50",
                                      "-bf",  "3",       "-pix_fmt",    "yuv420p",
                                      "-c:a", "aac"});
}

std::string Remuxed(const std::string& source, const std::string& name) {
    return Fixture(name, {"-i", source, "-c", "copy"});
}

// The md5 of every video packet, in file order, as the ffmpeg tool copies them.
std::vector<std::string> PacketHashes(const std::string& path) {
    const CommandResult r =
        Run({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v", "-c", "copy", "-f", "framemd5", "-"});
    std::vector<std::string> hashes;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(',') + 1));
    return hashes;
}

// Whether `part` appears in `whole` as a contiguous run.
bool Contains(const std::vector<std::string>& whole, const std::vector<std::string>& part) {
    return std::search(whole.begin(), whole.end(), part.begin(), part.end()) != whole.end();
}

struct Cut {
    std::string file, err;
    int exitCode = -1;
};
Cut ExactCut(const std::string& source, const std::string& start, const std::string& end, const TempDir& out) {
    const auto r =
        Cli({"cut", source, "--start", start, "--end", end, "--out-dir", out.path().string(), "--exact", "--quiet"});
    return {LastLine(r.out), r.err, r.exitCode};
}

// What is wrong with an exact cut that should have spliced without a note: it failed, it
// left a note, or its file is not clean and `length` seconds long; empty when nothing.
std::string SpliceProblems(const Cut& cut, bool sound, double length) {
    if (cut.exitCode != 0) return "failed: " + cut.err;
    if (cut.err.find("note:") != std::string::npos) return "noted: " + cut.err;
    return Problems(Inspect(cut.file), true, sound, length, 0.08);
}

}  // namespace

TEST(CliExactCut, StartsOnTheMarkedPictureAndCopiesEverythingAfterTheNextKeyFrame) {
    const std::string mp4 = H264Source();
    for (const std::string& source : {mp4, Remuxed(mp4, "exact_h264.mkv"), Remuxed(mp4, "exact_h264.ts")}) {
        SCOPED_TRACE(source);
        TempDir out;
        // 3.3 s lies between pictures (3.28 and 3.32) in a group that started at 2 s; the next key frame is at 4 s.
        const Cut cut = ExactCut(source, "3.3", "8.7", out);
        ASSERT_EQ(SpliceProblems(cut, true, 5.4), "");
        // The picture on screen at each moment is the source's at the same moment after the start:
        // the encoded ones closely, the copied ones exactly.
        // The ffmpeg tool's seeks in MPEG-TS land on whole groups, so the pictures are judged
        // in MP4 and Matroska; the transport stream must decode cleanly and last as long.
        if (source.ends_with(".ts")) continue;
        for (double t : {0.0, 0.1, 0.5, 0.68}) {
            SCOPED_TRACE(t);
            EXPECT_GT(PsnrAt(cut.file, t + 0.01, source, 3.3 + t + 0.01), 40.0);
        }
        // (Up to the last key frame: the pictures after it, up to the end, are encoded again.)
        for (double t : {0.72, 2.0, 4.6}) {
            SCOPED_TRACE(t);
            EXPECT_EQ(PsnrAt(cut.file, t + 0.01, source, 3.3 + t + 0.01), 100.0);
        }
        // The sound starts with the segment, not at the key frame before it.
        const std::vector<float> sound = SoundOf(cut.file);
        EXPECT_GT(Loudness(sound, 0.0, 0.1), 0.05);
    }
    // The copied packets are the source's, byte for byte: all after the key frame at 4 s
    // (which gains the source's parameter sets before it) up to the end.
    TempDir out;
    const Cut cut = ExactCut(mp4, "3.3", "8.7", out);
    const std::vector<std::string> source = PacketHashes(mp4), output = PacketHashes(cut.file);
    ASSERT_GT(source.size(), 200u);
    // Decode order: the key frame at 4 s is packet 100; its successors up to 8 s are the source's own.
    EXPECT_TRUE(Contains(output, std::vector<std::string>(source.begin() + 101, source.begin() + 196)));
}

// Times ffprobe gives for the video (`entry`: packets' or pictures'), from the lines that hold
// `mark`, sorted.
std::vector<double> ProbedTimes(const std::string& path, const std::string& entry, const std::string& mark) {
    const CommandResult r =
        Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", entry, "-of", "csv=p=0", path});
    std::vector<double> times;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line.find(mark) != std::string::npos) times.push_back(std::atof(line.c_str()));
    std::sort(times.begin(), times.end());
    return times;
}

// The display times of the video's key frames.
std::vector<double> KeyFrameTimes(const std::string& path) {
    return ProbedTimes(path, "packet=pts_time,flags", ",K");
}

std::string FieldOrderOf(const std::string& path) {
    return Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=field_order", "-of",
                "csv=p=0", path})
        .out.substr(0, 2);
}

// Whether the first picture of the file is coded in fields, top field first.
bool StartsWithTopFieldFirst(const std::string& path) {
    const std::string frame = Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-read_intervals", "%+#1",
                                   "-show_entries", "frame=interlaced_frame,top_field_first", "-of", "csv=p=0", path})
                                  .out;
    return frame.rfind("1,1", 0) == 0;
}

TEST(CliExactCut, InterlacedH264GetsAHeadInFields) {
    // Frame pictures with fields in their macroblocks (MBAFF), top field first, B-frames.
    const std::string ts =
        Fixture("exact_mbaff.ts", {"-f",           "lavfi",
                                   "-i",           "testsrc2=size=720x576:rate=50,tinterlace=interleave_top",
                                   "-f",           "lavfi",
                                   "-i",           "sine=f=440",
                                   "-t",           "6",
                                   "-c:v",         "libx264",
                                   "-preset",      "veryfast",
                                   "-flags",       "+ildct+ilme",
                                   "-x264-params", "tff=1:keyint=50:min-keyint=50:bframes=3",
                                   "-c:a",         "aac"});
    for (const std::string& source : {ts, Remuxed(ts, "exact_mbaff.mp4")}) {
        SCOPED_TRACE(source);
        TempDir out;
        // The picture at 1.343 s shows for 23 ms of the segment, more than half a frame.
        const Cut cut = ExactCut(source, "1.36", "4.5", out);
        ASSERT_EQ(SpliceProblems(cut, true, 3.14), "");
        EXPECT_EQ(FieldOrderOf(cut.file), "tt");
        EXPECT_TRUE(StartsWithTopFieldFirst(cut.file)) << "the head's pictures are fields in the stream's order";
        if (source.ends_with(".ts")) continue;  // the ffmpeg tool's seeks in TS land on groups
        for (double t : {0.0, 0.3, 0.6}) EXPECT_GT(PsnrAt(cut.file, t + 0.01, source, 1.36 + t + 0.01), 40) << t;
        for (double t : {0.7, 2.0}) EXPECT_EQ(PsnrAt(cut.file, t + 0.01, source, 1.36 + t + 0.01), 100) << t;
    }
}

// A camcorder's field pictures (each field a packet of its own) spliced where the file
// starts again with an IDR picture: the sample twice in a row.
TEST(CliExactCut, CamcorderFieldPicturesSplice) {
    const auto dir = SharedMediaDir();
    if (!dir || !std::filesystem::exists(*dir / "avchd_1080i_h264_ac3.mts")) GTEST_SKIP() << "no shared media";
    TempDir work;
    const std::filesystem::path list = work.path() / "twice.txt";
    {
        std::ofstream f(list);
        for (int i = 0; i < 2; ++i) f << "file '" << (*dir / "avchd_1080i_h264_ac3.mts").string() << "'\n";
    }
    const std::string twice = Fixture("exact_avchd_twice.mts",
                                      {"-f", "concat", "-safe", "0", "-i", list.string(), "-map", "0", "-c", "copy"});
    // Key frames at 0.6 s (a recovery point) and 1.03 s (an IDR picture). The pictures from
    // 0.6 s to the start are decoded only in part: both fields of each, or neither.
    for (const char* start : {"0.62", "0.75"}) {
        SCOPED_TRACE(start);
        TempDir out;
        const Cut cut = ExactCut(twice, start, "1.8", out);
        ASSERT_EQ(SpliceProblems(cut, true, 1.8 - std::stod(start)), "");
        EXPECT_EQ(FieldOrderOf(cut.file), "tt");
        for (double t : {0.03, 0.1, 0.2, 0.3, 0.5, 0.9})
            EXPECT_GT(Psnr(PictureDecodedAt(cut.file, t), PictureDecodedAt(twice, std::stod(start) + t)), 45) << t;
    }
}

// When each picture of a file shows, in seconds, in display order, as the ffmpeg tool decodes it.
std::vector<double> PictureTimes(const std::string& path) {
    return ProbedTimes(path, "frame=best_effort_timestamp_time", "");
}

double ProbeSeconds(const std::string& path, const std::string& entry) {
    return std::atof(Run({"ffprobe", "-v", "error", "-show_entries", entry, "-of", "csv=p=0", path}).out.c_str());
}

// Picture `n` of a file (counted from 0 in display order), as the ffmpeg tool decodes it.
GreyPicture PictureNumber(const std::string& path, long n) {
    const CommandResult r =
        Run({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v:0", "-fps_mode", "passthrough", "-vf",
             "select=eq(n\\," + std::to_string(n) + "),scale=64:48:flags=area", "-frames:v", "1", "-pix_fmt", "gray",
             "-f", "rawvideo", "-"});
    GreyPicture p;
    if (r.exitCode != 0 || r.out.size() != 64 * 48) return p;
    p.width = 64;
    p.height = 48;
    p.pixels.assign(r.out.begin(), r.out.end());
    return p;
}

// The sample film with a caption shown from 0.5 s to 11 s, in `container` ("mkv": ASS, "mp4": timed text).
std::string WithLongCaption(const std::string& container) {
    static const TempDir parts;
    WriteFileBytes(parts / "long.srt", "1\n00:00:00,500 --> 00:00:11,000\nAcross the cut\n");
    return Fixture("exact_caption." + container,
                   {"-i", H264Source(), "-i", parts / "long.srt", "-map", "0", "-map", "1", "-c:v", "copy", "-c:a",
                    "copy", "-c:s", container == "mkv" ? "ass" : "mov_text"});
}

TEST(CliExactCut, ShowsExactlyThePicturesOfTheSegment) {
    const std::string mp4 = H264Source(), mkv = Remuxed(mp4, "exact_h264.mkv");
    // 29.97 fps: a picture starts at 10.3437 s, which a time to the millisecond calls 10.343.
    const std::string ntsc = Fixture(
        "exact_ntsc.mp4", {"-f",   "lavfi",   "-i",          "testsrc2=size=320x240:rate=30000/1001:duration=14",
                           "-f",   "lavfi",   "-i",          "sine=f=440:duration=14",
                           "-c:v", "libx264", "-preset",     "veryfast",
                           "-g",   "60",      "-keyint_min", "60",
                           "-bf",  "3",       "-c:a",        "aac"});
    // HEVC with B-frames in Matroska: the key frame at 4 s decodes at 3.76 s, before a start
    // at 3.97 s, which Matroska, keeping no negative times, cannot place: the segment is encoded whole.
    const std::string hevc = Fixture(
        "exact_hevc_b.mkv", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=8", "-c:v", "libx265",
                             "-preset", "fast", "-x265-params", "keyint=50:min-keyint=50:bframes=4:log-level=error"});
    struct Case {
        std::string source, start, end, note;  // note: what the job must say ("" for nothing)
        bool sound, caption;
    };
    for (const Case& c : {
             // A caption shown across the whole segment, in Matroska (ASS) spliced, and in MP4
             // (timed text) encoded whole, as no key frame lies inside the segment.
             Case{WithLongCaption("mkv"), "3.2", "7", "", true, true},
             Case{WithLongCaption("mp4"), "4.04", "6", "no key frame lies inside the segment", true, true},
             // Two pictures from a key frame: B-frames decode the picture after the end before
             // the one before it; it must not show. And an end after a head and a copy.
             Case{mp4, "4", "4.08", "", true, false},
             Case{mkv, "4.023", "4.103", "", true, false},  // its pictures show 23 ms later
             // Off their beat there: the pictures of 3.983 and 4.023 s; the one of 4.063 s would
             // show for 17 ms. Encoded whole, as its key frame decodes before the start.
             Case{mkv, "4", "4.08", "its key frame after the start decodes before the start", true, false},
             Case{mp4, "3.3", "7.3", "", true, false},
             // A start a millisecond before a picture, and 10 ms before a key frame, start on it;
             // an end a millisecond before a picture (at 13.3467 s) ends before it.
             Case{ntsc, "10.343", "13.346", "", true, false},
             Case{hevc, "3.99", "6", "", false, false},
             Case{hevc, "3.97", "6", "its key frame after the start decodes before the start", false, false},
         }) {
        SCOPED_TRACE(c.source + " " + c.start + "-" + c.end);
        TempDir out;
        const Cut cut = ExactCut(c.source, c.start, c.end, out);
        ASSERT_EQ(cut.exitCode, 0) << cut.err;
        if (c.note.empty()) {
            EXPECT_EQ(cut.err.find("note:"), std::string::npos) << cut.err;
        } else {  // the notes here are all of a segment encoded whole
            EXPECT_NE(cut.err.find("note: " + c.note), std::string::npos) << cut.err;
            EXPECT_NE(cut.err.find("the segment was encoded whole"), std::string::npos) << cut.err;
        }
        // The source's pictures in the segment: from the one on screen at the start (or the
        // next, when it starts within half a picture's time) to the last that starts at least
        // half a picture's time before the end. (These files start at 0, so their picture
        // times are the times a user gives.)
        const std::vector<double> source = PictureTimes(c.source);
        const double start = std::stod(c.start), end = std::stod(c.end);
        ASSERT_GT(source.size(), 2u);
        const double frame = source[1] - source[0];
        auto first = std::upper_bound(source.begin(), source.end(), start + 1e-6) - 1;
        if (first + 1 != source.end() && first[1] - start < frame / 2) ++first;
        const auto last = std::upper_bound(source.begin(), source.end(), end - frame / 2 + 1e-6) - 1;
        const double until = last + 1 != source.end() && last[1] < end ? last[1] : end;
        const std::vector<double> shown = PictureTimes(cut.file);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.size(), static_cast<size_t>(last - first + 1));
        EXPECT_GT(Psnr(PictureNumber(cut.file, 0), PictureNumber(c.source, first - source.begin())), 40.0);
        EXPECT_GT(Psnr(PictureNumber(cut.file, static_cast<long>(shown.size()) - 1),
                       PictureNumber(c.source, last - source.begin())),
                  40.0);
        // The last picture shows where it shows in the source; the file and its sound end at the end.
        const double length = until - std::max(start, *first);
        EXPECT_NEAR(shown.back() - shown.front(), *last - std::max(start, *first), 0.002);
        const MediaReport report = Inspect(cut.file);
        EXPECT_EQ(report.decodeErrors, "");
        EXPECT_NEAR(ProbeSeconds(cut.file, "format=duration"), length, frame);
        if (c.sound) {
            EXPECT_NEAR(report.audio.end, length, 0.05);
        }
        if (c.caption) {
            const std::vector<Caption> captions = CaptionsOf(cut.file);
            ASSERT_EQ(captions.size(), 1u);
            EXPECT_NEAR(captions[0].start, 0, 0.002);
            EXPECT_NEAR(captions[0].end, length, 0.01);
        }
    }
}

TEST(CliExactCut, AStartOnAKeyFrameEncodesNothingAndASegmentWithoutOneEncodesItAll) {
    const std::string mp4 = H264Source();
    TempDir out;
    // From the key frame of 4 s to that of 8 s: every packet is the source's.
    const Cut onKey = ExactCut(mp4, "4", "8", out);
    ASSERT_EQ(onKey.exitCode, 0) << onKey.err;
    const std::vector<std::string> source = PacketHashes(mp4);
    EXPECT_TRUE(Contains(source, PacketHashes(onKey.file)));
    EXPECT_EQ(Problems(Inspect(onKey.file), true, true, 4.0, 0.08), "");
    // Between two key frames (4 s and 6 s): nothing to copy, all encoded, all close to the source.
    TempDir out2;
    const Cut inside = ExactCut(mp4, "4.5", "5.5", out2);
    ASSERT_EQ(inside.exitCode, 0) << inside.err;
    EXPECT_EQ(Problems(Inspect(inside.file), true, true, 1.0, 0.08), "");
    for (double t : {0.0, 0.5, 0.95}) EXPECT_GT(PsnrAt(inside.file, t + 0.01, mp4, 4.5 + t + 0.01), 40.0) << t;
}

TEST(CliExactCut, ALongGroupIsEncodedUpToItsEndAndSplicedThere) {
    // A key frame every 10 s: the head holds 8.7 s of pictures (with a second IDR picture
    // near its end, from which the seam is checked).
    const std::string longGroup =
        Fixture("exact_long_gop.mp4", {"-f",   "lavfi",   "-i",          "testsrc2=size=320x240:rate=25:duration=14",
                                       "-f",   "lavfi",   "-i",          "sine=f=440:duration=14",
                                       "-c:v", "libx264", "-preset",     "veryfast",
                                       "-g",   "250",     "-keyint_min", "250",
                                       "-bf",  "3",       "-pix_fmt",    "yuv420p",
                                       "-c:a", "aac"});
    for (const std::string& source : {longGroup, Remuxed(longGroup, "exact_long_gop.mkv")}) {
        SCOPED_TRACE(source);
        TempDir out;
        const Cut cut = ExactCut(source, "1.3", "12.5", out);
        ASSERT_EQ(SpliceProblems(cut, true, 11.2), "");
        for (double t : {0.0, 4.0, 8.3, 8.66}) EXPECT_GT(PsnrAt(cut.file, t + 0.01, source, 1.3 + t + 0.01), 40.0) << t;
        for (double t : {8.72, 10.5}) EXPECT_EQ(PsnrAt(cut.file, t + 0.01, source, 1.3 + t + 0.01), 100.0) << t;
    }
}

TEST(CliExactCut, HevcTenBitAndOpenGroupsSplice) {
    const std::string hevc =
        Fixture("exact_hevc10.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=12", "-c:v",
                                     "libx265", "-preset", "ultrafast", "-x265-params",
                                     "keyint=50:min-keyint=50:bframes=3:log-level=error", "-pix_fmt", "yuv420p10le"});
    const std::string open = Fixture(
        "exact_hevc_open.mkv",
        {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=12", "-c:v", "libx265", "-preset", "ultrafast",
         "-x265-params", "keyint=50:min-keyint=50:bframes=3:open-gop=1:log-level=error", "-pix_fmt", "yuv420p"});
    // In MPEG-TS, which keeps no negative times, the head's decode times must not start
    // before its first picture: the whole output would start later by the reorder delay
    // (0.2 s with x265's pyramid of 4 B-frames).
    const std::string ts = Fixture(
        "exact_hevc_b4.ts", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=8", "-c:v", "libx265",
                             "-preset", "fast", "-x265-params", "keyint=50:min-keyint=50:bframes=4:log-level=error"});
    for (const std::string& source : {hevc, open, ts}) {
        SCOPED_TRACE(source);
        TempDir out;
        const Cut cut = ExactCut(source, "1.3", "6.1", out);
        ASSERT_EQ(SpliceProblems(cut, false, 4.8), "");
        if (source.ends_with(".ts")) continue;  // the ffmpeg tool's seeks in TS land on groups
        EXPECT_GT(PsnrAt(cut.file, 0.01, source, 1.31), 40.0);
        EXPECT_GT(PsnrAt(cut.file, 0.6, source, 1.9), 40.0);
        EXPECT_EQ(PsnrAt(cut.file, 1.5, source, 2.8), 100.0);  // copied, from the key frame at 2 s
    }
}

TEST(CliExactCut, FourTwoTwoAndFourFourFourPicturesSpliceInTheirOwnProfile) {
    const auto source = [](const std::string& name, const std::string& codec, const std::string& format) {
        return Fixture(name, {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=6", "-c:v", codec, "-g",
                              "50", "-x265-params", "log-level=error", "-pix_fmt", format});
    };
    for (const std::string& file :
         {source("exact_h264_422p10.mp4", "libx264", "yuv422p10le"), source("exact_h264_444.mkv", "libx264", "yuv444p"),
          source("exact_hevc_422p10.mp4", "libx265", "yuv422p10le")}) {
        SCOPED_TRACE(file);
        TempDir out;
        const Cut cut = ExactCut(file, "1.3", "4.5", out);
        ASSERT_EQ(SpliceProblems(cut, false, 3.2), "");
        const auto profile = [](const std::string& path) {
            return ulvane::test::Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                      "stream=profile,pix_fmt", "-of", "csv=p=0", path})
                .out;
        };
        EXPECT_EQ(profile(cut.file), profile(file));
        EXPECT_GT(PsnrAt(cut.file, 0.01, file, 1.31), 40.0);
        EXPECT_EQ(PsnrAt(cut.file, 1.5, file, 2.8), 100.0);  // copied, from the key frame at 2 s
    }
}

TEST(CliExactCut, SourcesThatCannotBeSplicedAreEncodedWholeAndSaySo) {
    // Key frames every 2 s that are recovery points, not IDR pictures.
    const std::string open = Fixture(
        "exact_h264_open.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=8", "-c:v", "libx264",
                                "-preset", "veryfast", "-x264-params", "keyint=50:min-keyint=50:open-gop=1:bframes=3"});
    // Old FLV writers gave every packet its decode time as display time. A head placed by
    // the packets' times would not join the copied pictures where a decoder places them.
    const std::string flv = Fixture("exact_no_display_times.flv",
                                    {"-f",   "lavfi",   "-i",          "testsrc2=size=320x240:rate=25:duration=6",
                                     "-f",   "lavfi",   "-i",          "sine=f=440:duration=6",
                                     "-c:v", "libx264", "-preset",     "veryfast",
                                     "-g",   "50",      "-keyint_min", "50",
                                     "-bf",  "3",       "-bsf:v",      "setts=pts=DTS",
                                     "-c:a", "aac"});
    struct Case {
        std::string source, start, end, note;
        bool sound;
    };
    for (const Case& c : {Case{open, "1.3", "4.5", "its key frames after the start are not IDR pictures", false},
                          Case{flv, "1.37", "3.5", "its B-frames carry decode times", true}}) {
        SCOPED_TRACE(c.source);
        TempDir out;
        const Cut cut = ExactCut(c.source, c.start, c.end, out);
        ASSERT_EQ(cut.exitCode, 0) << cut.err;
        EXPECT_NE(cut.err.find("note: " + c.note), std::string::npos) << cut.err;
        EXPECT_NE(cut.err.find("the segment was encoded whole"), std::string::npos) << cut.err;
        const double start = std::stod(c.start), length = std::stod(c.end) - start;
        EXPECT_EQ(Problems(Inspect(cut.file), true, c.sound, length, 0.08), "");
        for (double t : {0.0, 0.7, 1.5, length - 0.1})
            EXPECT_GT(PsnrAt(cut.file, t + 0.01, c.source, start + t + 0.01), 40.0) << t;
        // A key frame every 2 s to seek by, and about the source's size, not a head's rate.
        const std::vector<double> keys = KeyFrameTimes(cut.file);
        ASSERT_FALSE(keys.empty());
        for (size_t i = 0; i < keys.size(); ++i)
            EXPECT_LE((i + 1 < keys.size() ? keys[i + 1] : length) - keys[i], 2.1) << i;
        const MediaReport whole = Inspect(c.source);
        const double share = static_cast<double>(std::filesystem::file_size(c.source)) * length /
                             std::max(whole.video.end, whole.audio.end);
        EXPECT_LT(static_cast<double>(std::filesystem::file_size(cut.file)), 3 * share);
    }
}

TEST(CliExactCut, MpegFourPartTwoSplicesInAviMp4AndMatroska) {
    // AVI without B-frames (as most MPEG-4 Part 2 AVIs that FFmpeg writes), with MP3 sound;
    // MP4 and Matroska with B-frames, whose key frames have leading B-frames.
    const std::string avi = Fixture(
        "exact_mpeg4.avi", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=8", "-f", "lavfi", "-i",
                            "sine=f=440:duration=8", "-c:v", "mpeg4", "-q:v", "3", "-g", "50", "-c:a", "libmp3lame"});
    const std::string mp4 =
        Fixture("exact_mpeg4_b.mp4",
                {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=8", "-f", "lavfi", "-i",
                 "sine=f=440:duration=8", "-c:v", "mpeg4", "-q:v", "3", "-bf", "2", "-g", "50", "-c:a", "aac"});
    for (const std::string& source : {avi, mp4, Remuxed(mp4, "exact_mpeg4_b.mkv")}) {
        SCOPED_TRACE(source);
        TempDir out;
        const Cut cut = ExactCut(source, "1.3", "6.1", out);
        ASSERT_EQ(SpliceProblems(cut, true, 4.8), "");
        EXPECT_EQ(OtherPlayersProblems(cut.file), "");
        // AVI gives each picture a slot of the frame rate: the pictures keep the source's
        // frame grid, from the one on screen at 1.3 s (shown from 1.28 s) on.
        const double origin = source.ends_with(".avi") ? 1.28 : 1.3;
        for (double t : {0.0, 0.3, 0.6}) EXPECT_GT(PsnrAt(cut.file, t + 0.01, source, origin + t + 0.01), 40.0) << t;
        EXPECT_EQ(PsnrAt(cut.file, 2.51, source, origin + 2.51), 100.0);  // copied, from the key frame near 2 s
    }
    // The copied packets are the source's: those after the key frame at 2 s up to 6 s.
    TempDir out;
    const Cut cut = ExactCut(avi, "1.3", "6.1", out);
    const std::vector<std::string> source = PacketHashes(avi), output = PacketHashes(cut.file);
    ASSERT_GT(source.size(), 150u);
    EXPECT_TRUE(Contains(output, std::vector<std::string>(source.begin() + 51, source.begin() + 150)));
}

TEST(CliExactCut, OtherCodecsAreCutFromTheKeyFrameAndSaySo) {
    const std::string mpeg2 =
        Fixture("exact_mpeg2.mkv",
                {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=6", "-c:v", "mpeg2video", "-g", "50"});
    TempDir out;
    const Cut cut = ExactCut(mpeg2, "1.3", "3.5", out);
    ASSERT_EQ(cut.exitCode, 0) << cut.err;
    EXPECT_NE(cut.err.find("note: exact cut not possible"), std::string::npos) << cut.err;
    EXPECT_NE(cut.err.find("mpeg2video"), std::string::npos) << cut.err;
    // A direct cut from the key frame at 0 s.
    EXPECT_GT(PsnrAt(cut.file, 0.01, mpeg2, 0.01), 40.0);
    // Nor are B-frames in AVI (MPEG-4 Part 2 or H.264), which has no display times to place them by.
    const std::string withB = Fixture(
        "exact_mpeg4_b.avi",
        {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=6", "-c:v", "mpeg4", "-bf", "2", "-g", "50"});
    TempDir out2;
    const Cut b = ExactCut(withB, "1.3", "3.5", out2);
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_NE(b.err.find("has B-frames in AVI"), std::string::npos) << b.err;
    TempDir out3;
    const Cut h264 = ExactCut(Remuxed(H264Source(), "exact_h264.avi"), "1.3", "3.5", out3);
    ASSERT_EQ(h264.exitCode, 0) << h264.err;
    EXPECT_NE(h264.err.find("has B-frames in AVI"), std::string::npos) << h264.err;
}

TEST(CliExactCut, AStartJustBeforeAKeyFrameThatDecodesEarlierStillStartsThere) {
    // The key frame at 2 s decodes before 1.96 s. FLV seeks by decode time and landed on it,
    // so the pictures before it were never decoded; MPEG-TS, which keeps no negative
    // times, started the output late by the difference. No key frame follows before the
    // end, so the segment is encoded whole, from the picture on screen at 1.96 s (for more
    // than half a frame: the FLV's pictures show 57 ms after its sound).
    const std::string flv = FlvWithBFramesFixture();
    const std::string ts = Fixture(
        "exact_bframes.ts", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=6", "-f", "lavfi", "-i",
                             "sine=f=440:duration=6", "-c:v", "libx265", "-preset", "fast", "-x265-params",
                             "keyint=50:min-keyint=50:bframes=4:log-level=error", "-c:a", "aac"});
    for (const std::string& source : {flv, ts}) {
        SCOPED_TRACE(source);
        TempDir out;
        const Cut cut = ExactCut(source, "1.96", "3.5", out);
        ASSERT_EQ(cut.exitCode, 0) << cut.err;
        EXPECT_NE(cut.err.find("the segment was encoded whole"), std::string::npos) << cut.err;
        EXPECT_EQ(Problems(Inspect(cut.file), true, true, 1.54, 0.08), "");
        if (source.ends_with(".ts")) continue;  // the ffmpeg tool's seeks in TS land on groups
        for (double t : {0.0, 0.05, 1.0}) EXPECT_GT(PsnrAt(cut.file, t + 0.01, source, 1.96 + t + 0.01), 40.0) << t;
    }
}

TEST(CliExactCut, ASegmentPastTheEndFailsClearlyAndLeavesNoFile) {
    TempDir out;
    const Cut cut = ExactCut(H264Source(), "25", "26", out);  // the source lasts 20 s
    EXPECT_EQ(cut.exitCode, 2) << "refused before the job";
    EXPECT_NE(cut.err.find("--start 00:00:25.000 is at or past the end of SOURCE, which lasts 00:00:20.0"),
              std::string::npos)
        << cut.err;
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

TEST(CliExactCut, SoundAloneIsCutOnItsFramesWithoutANote) {
    TempDir out;
    const Cut cut = ExactCut(AudioOnlyFixture(), "0.5", "1.5", out);
    ASSERT_EQ(cut.exitCode, 0) << cut.err;
    EXPECT_EQ(cut.err.find("note:"), std::string::npos) << cut.err;
    EXPECT_EQ(Problems(Inspect(cut.file), false, true, 1.0, 0.05), "");
}

TEST(CliExactCut, RealCameraAndPhoneFilesSpliceUprightAndClean) {
    const auto dir = SharedMediaDir();
    if (!dir) GTEST_SKIP() << "no shared media";
    struct Case {
        const char* name;
        const char* start;
        const char* end;
        double length;
        bool whole;  // no key frame inside: encoded whole, with a note
    };
    // B-frames with a 3 s composition shift; a rotated phone HEVC at 60 fps; a broadcast TS
    // that starts at 3600 s; MPEG-4 Part 2 in AVI.
    for (const Case& c : {Case{"portrait_h264_aac_bframes_ctts3s.mp4", "5.189", "12.077", 6.888, false},
                          Case{"iphonexr_hevc_aac_rot90_60fps.mov", "0.192", "0.419", 0.227, true},
                          Case{"ts_h264_aac_start3600s.ts", "2.214", "5.136", 2.922, true},
                          Case{"mpeg4asp_mp3.avi", "1.1", "3.9", 2.8, false}}) {
        SCOPED_TRACE(c.name);
        const std::string source = (*dir / c.name).string();
        if (!std::filesystem::exists(source)) continue;
        TempDir out;
        const Cut cut = ExactCut(source, c.start, c.end, out);
        ASSERT_EQ(cut.exitCode, 0) << cut.err;
        EXPECT_EQ(cut.err.find("note:") != std::string::npos, c.whole) << cut.err;
        EXPECT_EQ(Problems(Inspect(cut.file), true, true, c.length, 0.1, 0.1, 0.15), "");
        EXPECT_EQ(ShapeOf(cut.file).rotation, ShapeOf(source).rotation) << "the orientation is kept";
        if (std::string(c.name).ends_with(".ts")) continue;  // the ffmpeg tool's seeks in TS land on groups
        EXPECT_GT(PsnrAt(cut.file, 0.01, source, std::stod(c.start) + 0.01), 35.0);
    }
}
