// The command line as a command line: help per command, the version, typed times read
// as people write them, the names a file gets or is refused, and quiet runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/output_presets.h"
#include "core/settings_store.h"
#include "tests/cli/cli_test_util.h"
#include "tests/support/media_tools.h"

using namespace ulvane::test;

namespace {

// The rows the desktop program ships with.
ulvane::RowChoice ShippedRows(ulvane::Dialog d) {
    return ulvane::SettingsStore(std::string(ULVANE_SOURCE_DIR) + "/resources/setting.ini").ReadRows(d);
}

}  // namespace

TEST(CliUsage, HelpAndVersion) {
    const auto all = Cli({"help"});
    EXPECT_EQ(all.exitCode, 0);
    for (const char* c : {"cut SOURCE", "join --out-dir", "probe FILE", "grab FILE", "--version"})
        EXPECT_NE(all.out.find(c), std::string::npos) << c;

    for (const std::vector<std::string>& args : {std::vector<std::string>{"help", "grab"}, {"grab", "--help"}}) {
        const auto one = Cli(args);
        EXPECT_EQ(one.exitCode, 0);
        EXPECT_NE(one.out.find("grab FILE --at SECONDS"), std::string::npos);
        EXPECT_EQ(one.out.find("cut SOURCE"), std::string::npos) << "only the command asked for";
    }
    const auto unknown = Cli({"help", "splice"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("splice"), std::string::npos);

    const auto version = Cli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("ulvane-cli ", 0), 0u) << version.out;
    EXPECT_NE(version.out.find_first_of("0123456789"), std::string::npos);
}

TEST(CliUsage, TypedTimesAreReadAsWrittenOrRefusedByName) {
    TempDir out;
    const std::string src = AvFixture();  // 6 s
    struct Case {
        const char *start, *end;
        double length;  // of the re-encoded output, seconds
    };
    // "2.5" is two and a half seconds, "0:04" four seconds, "00:00:04.9999" just under five.
    for (const Case c : {Case{"2.5", "0:04", 1.5}, Case{"00:00:02.5", "00:00:04.9999", 2.5}}) {
        SCOPED_TRACE(std::string(c.start) + " " + c.end);
        const auto r = Cli({"cut", src, "--start", c.start, "--end", c.end, "--out-dir", out.path().string(),
                            "--reencode", "--format", "1", "--framerate", "9", "--quiet"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const MediaReport m = Inspect(LastLine(r.out));
        EXPECT_NEAR(m.video.end, c.length, 0.05);
    }
    for (const char* bad : {"abc", "99:99:99", "1:60", "-1", "1.5.2"}) {
        const auto r = Cli({"cut", src, "--start", bad, "--end", "00:00:03", "--out-dir", out.path().string()});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.err.find("--start"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
    }
    const auto late = Cli({"cut", src, "--start", "1:30", "--end", "2.0", "--out-dir", out.path().string()});
    EXPECT_EQ(late.exitCode, 2);
    EXPECT_NE(late.err.find("not after"), std::string::npos) << late.err;
}

TEST(CliUsage, NamesNeverHideTheFileDoubleItsExtensionOrFailOnlyAtTheEnd) {
    TempDir out;
    const std::string src = AvFixture();  // an .mp4
    struct Case {
        std::string name;
        std::string file;  // "": refused before any work
    };
    const Case cases[] = {{"", ""},
                          {"???", ""},
                          {"//", ""},
                          {"..", ""},
                          {"../escape", "escape.mp4"},
                          {".hidden", "hidden.mp4"},
                          {"myclip.mp4", "myclip.mp4"},
                          {"Loud.MP4", "Loud.mp4"},
                          {std::string(300, 'n'), ""}};
    std::vector<std::string> made;
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.name + "'");
        const auto cut =
            Cli({"cut", src, "--start", "0", "--end", "1", "--out-dir", out.path().string(), "--name", c.name});
        if (c.file.empty()) {
            EXPECT_EQ(cut.exitCode, 2);
            EXPECT_NE(cut.err.find("--name"), std::string::npos) << cut.err;
            const auto join = Cli({"join", "--out-dir", out.path().string(), "--name", c.name, src, src});
            EXPECT_EQ(join.exitCode, 2) << join.err;
        } else {
            EXPECT_EQ(cut.exitCode, 0) << cut.err;
            EXPECT_EQ(LastLine(cut.out), out / c.file);
            made.push_back(c.file);
        }
    }
    std::sort(made.begin(), made.end());
    EXPECT_EQ(FilesIn(out.path()), made) << "no hidden, doubled or half-written file";
}

TEST(CliUsage, QuietPrintsNoProgressButStillTheOutputAndReasons) {
    TempDir out;
    const auto r = Cli({"cut", AvFixture(), "--start", "0", "--end", "2", "--out-dir", out.path().string(), "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(LastLine(r.out), out / "av.mp4");
    const auto loud = Cli({"cut", AvFixture(), "--start", "0", "--end", "2", "--out-dir", out.path().string()});
    EXPECT_NE(loud.err.find("progress 100%"), std::string::npos) << "plain lines when standard error is a file";
}

TEST(CliUsage, HelpListsWhatEveryRowMeansAndTheShippedDefaults) {
    using namespace ulvane;
    for (const Dialog d : {Dialog::Cut, Dialog::Join}) {
        const auto help = Cli({"help", d == Dialog::Cut ? "cut" : "join"});
        ASSERT_EQ(help.exitCode, 0);
        const RowChoice shipped = ShippedRows(d);
        const auto listed = [&](const std::string& flag, std::span<const std::string_view> labels, int shippedRow) {
            SCOPED_TRACE(flag);
            const size_t at = help.out.find("  " + flag + " (default " + std::to_string(shippedRow) + "):");
            ASSERT_NE(at, std::string::npos) << help.out;
            const size_t next = help.out.find("  --", at + 3);
            const std::string rows = help.out.substr(at, next - at);
            for (size_t k = 0; k < labels.size(); ++k) {
                const std::string label = labels[k].empty() ? "as the source" : std::string(labels[k]);
                EXPECT_NE(rows.find(std::to_string(k) + " " + label), std::string::npos) << label << "\n" << rows;
            }
        };
        std::vector<std::string_view> formats;
        for (const OutputPreset& p : FormatPresets()) formats.push_back(p.label);
        listed("--format", formats, shipped.format);
        listed("--quality", VideoBitRateLabels(), shipped.quality);
        listed("--size", SizeLabels(), shipped.size);
        listed("--framerate", FrameRateLabels(d), shipped.framerate);
        listed("--audioquality", AudioBitRateLabels(d), shipped.audioquality);
        listed("--samplerate", SampleRateLabels(d), shipped.samplerate);
    }
}

TEST(CliUsage, ReencodingWithoutRowFlagsMakesWhatTheWindowMakesByDefault) {
    using namespace ulvane;
    const RowChoice rows = ShippedRows(Dialog::Cut);
    const std::optional<ResolvedPreset> preset = ResolveRows(Dialog::Cut, rows);
    ASSERT_TRUE(preset);
    TempDir out;
    const auto r = Cli(
        {"cut", AvFixture(), "--start", "1", "--end", "2", "--out-dir", out.path().string(), "--reencode", "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    EXPECT_EQ(file, out / ("av" + preset->extension));
    const auto stream = [&](const char* kind, const char* entries) {
        const auto p = ulvane::test::Run({"ffprobe", "-v", "error", "-select_streams", kind, "-show_entries",
                                          std::string("stream=") + entries, "-of", "csv=p=0", file});
        return p.out.substr(0, p.out.find('\n'));
    };
    const OutputParameters& want = preset->parameters;
    // 0 x 0 is the source's own size (AvFixture's 320x240).
    const std::string size =
        want.outputWidth > 0 ? std::to_string(want.outputWidth) + "," + std::to_string(want.outputHeight) : "320,240";
    EXPECT_EQ(stream("v", "width,height"), size);
    // FFmpeg's names of the list's video codecs.
    const std::map<std::string_view, std::string> codecs = {
        {"H.264", "h264"}, {"MPEG4", "mpeg4"}, {"FLV", "flv1"}, {"WMV2", "wmv2"}, {"H.265", "hevc"}};
    EXPECT_EQ(stream("v", "codec_name"), codecs.at(FormatPresets()[static_cast<size_t>(rows.format)].videoCodecName));
    EXPECT_EQ(stream("a", "sample_rate"), std::to_string(want.sampleRate));
}

TEST(CliUsage, AnEndPastTheFileCutsToItsEndAndSaysHowLongTheFileIs) {
    TempDir out;
    const auto r = Cli({"cut", AvFixture(), "--start", "4", "--end", "1:00", "--out-dir", out.path().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("note: --end 1:00 is past the end of " + AvFixture() + ", which lasts 00:00:06.0"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Problems(Inspect(LastLine(r.out)), true, true, 2.0, 0.1), "");
    const auto inside = Cli({"cut", AvFixture(), "--start", "4", "--end", "5", "--out-dir", out.path().string()});
    ASSERT_EQ(inside.exitCode, 0) << inside.err;
    EXPECT_EQ(inside.err.find("note:"), std::string::npos) << inside.err;
}
