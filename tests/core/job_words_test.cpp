// Jobs as command words: a line read back as the words it was written from, whatever the
// file names hold, and a launch's words as ulvane-cli takes them.
#include "core/job_words.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ulvane;

TEST(JobWords, ALineReadsBackAsItsWords) {
    const std::vector<std::vector<std::string>> cases = {
        {"cut", "/videos/plain.mp4", "--start", "1.000000"},
        {"cut", "/videos/a b/it's \"here\".mp4", "--name", "50% $HOME `x` \\ back"},
        {"join", "/v/#1.mkv", "--name", "", "/v/(1) & [2]; *?.ts", "--tracks", "v:0,a:1*"},
        {"cut", "/vidéos/日本語 ファイル.mp4", "--label", "tab\there", "~user", "-leading"},
        {"cut", "/v/a.mp4", "--label", "Intro\nPart 2", "--label", "it's \"so\"\r\nback\\slash\\n\t$'x'"},
    };
    for (const auto& words : cases) {
        const std::string line = ShellLine(words);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        std::string error;
        const auto back = SplitWords(line, error);
        ASSERT_TRUE(back) << line << ": " << error;
        EXPECT_EQ(*back, words) << line;
        // As a shell reads it too: a line break is written in $'…', which bash reads (and POSIX
        // since 2024, not yet Debian 12's dash).
        const bool breaks = std::any_of(words.begin(), words.end(),
                                        [](const std::string& w) { return w.find('\n') != std::string::npos; });
        std::string script = "for w in " + line + "; do printf '[%s]' \"$w\"; done";
        std::string expected;
        for (const std::string& w : words) expected += "[" + w + "]";
        FILE* sh = popen(((breaks ? "bash -c " : "sh -c ") + ShellLine({script})).c_str(), "r");
        ASSERT_NE(sh, nullptr);
        std::string got;
        char buf[512];
        while (size_t n = fread(buf, 1, sizeof buf, sh)) got.append(buf, n);
        pclose(sh);
        EXPECT_EQ(got, expected) << line;
    }
    std::string error;
    EXPECT_FALSE(SplitWords("cut 'open", error));
    EXPECT_EQ(error, "a ' is not closed");
    EXPECT_FALSE(SplitWords("cut \"open", error));
    EXPECT_FALSE(SplitWords("cut $'open\\'", error));
    EXPECT_EQ(error, "a $' is not closed");
    EXPECT_EQ(*SplitWords("  cut a\\ b \"c\\\"d\" # e f", error), (std::vector<std::string>{"cut", "a b", "c\"d"}));
}

TEST(JobWords, ALaunchIsTheCommandThatMakesTheSameFile) {
    SegmentsLaunch s;
    s.file.path = "/v/talk.mp4";
    s.file.tracks = "v:0,a:1*";
    s.segments = {{1'033'333, 2'500'000, "Opening"}, {61'000'000, 62'000'000, "", "end part"}};
    s.mode = ExportMode::Separate;
    s.output = {true, {}, "/out", "talk", true, "mkv"};
    EXPECT_EQ(
        ShellLine(SegmentsJobWords(s, 90)),
        "cut /v/talk.mp4 --segment 1.033333-2.500000 --label Opening --segment 61.000000-62.000000 --into 'end part' "
        "--separate "
        "--tracks 'v:0,a:1*' --out-dir /out --name talk --exact --container mkv --rotate 90");
    JoinLaunch j;
    j.files.resize(2);
    j.files[0].path = "/v/a.mp4";
    j.files[1].path = "/v/b c.mp4";
    j.files[1].clipped = true;
    j.files[1].startMicros = 500'000;
    j.files[1].endMicros = 4'000'000;
    j.output = {false, {1, 2, 3, 4, 5, 6}, "/out", "both", false, ""};
    j.chapters = true;
    EXPECT_EQ(ShellLine(JoinJobWords(j, 0)),
              "join --out-dir /out --name both --reencode --format 1 --quality 2 --size 3 --framerate 4 "
              "--audioquality 5 --samplerate 6 --chapters /v/a.mp4 '/v/b c.mp4' --from 0.500000 --to 4.000000");
}
