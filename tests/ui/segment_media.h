// Media and readings shared by the window tests of segments and clips.
#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "controls/label.h"
#include "core/segments.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/progress_dialog.h"

namespace ulvane::test {

// Moving pictures (a key frame each `keyEvery` pictures: each second by default) and a tone, for `seconds`.
inline QString PicturesAndTone(const char* name, int seconds, int keyEvery = 25) {
    const std::string length = std::to_string(seconds), group = std::to_string(keyEvery);
    return QString::fromStdString(Fixture(name, {"-f",       "lavfi",    "-i",   "testsrc2=size=320x240:rate=25",
                                                 "-f",       "lavfi",    "-i",   "sine=frequency=440:sample_rate=44100",
                                                 "-t",       length,     "-c:v", "libx264",
                                                 "-preset",  "veryfast", "-g",   group,
                                                 "-pix_fmt", "yuv420p",  "-c:a", "aac",
                                                 "-shortest"}));
}

inline QString TenSeconds() {
    return PicturesAndTone("export_ten.mp4", 10);
}

inline constexpr int64_t kSecond = 1000000;

inline Segment Seconds(double from, double to, std::string label = {}) {
    return {static_cast<int64_t>(from * kSecond), static_cast<int64_t>(to * kSecond), std::move(label)};
}

struct Chapter {
    double start;
    std::string title;
};

// The chapters of a file as ffprobe reads them.
inline std::vector<Chapter> ChaptersOf(const std::string& path) {
    const std::string csv = Run({"ffprobe", "-v", "error", "-show_entries", "chapter=start_time:chapter_tags=title",
                                 "-of", "csv=p=0", path})
                                .out;
    std::vector<Chapter> chapters;
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);) {
        const size_t comma = line.find(',');
        if (comma != std::string::npos) chapters.push_back({std::stod(line.substr(0, comma)), line.substr(comma + 1)});
    }
    return chapters;
}

// Each chapter's title, and its start within a sound frame or two of `starts`.
inline void ExpectChapters(const std::string& path, const std::vector<Chapter>& expected) {
    const std::vector<Chapter> chapters = ChaptersOf(path);
    ASSERT_EQ(chapters.size(), expected.size());
    for (size_t k = 0; k < chapters.size(); ++k) {
        EXPECT_EQ(chapters[k].title, expected[k].title) << k;
        EXPECT_NEAR(chapters[k].start, expected[k].start, 0.05) << k;
    }
}

// 30 s of large pictures: a re-encoding of some seconds of it runs long enough to be watched.
inline QString LongSource() {
    return QString::fromStdString(
        Fixture("j_long.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25", "-t", "30", "-c:v", "libx264",
                               "-preset", "ultrafast", "-pix_fmt", "yuv420p"}));
}

// The progress dialog's file lines (without the percentage) while `launch` runs, each once.
inline QStringList FileLinesDuring(Harness& h, const std::function<void()>& launch) {
    QStringList lines;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QString line =
            qobject_cast<CLabel*>(h.window->launcher()->progressDialog()->Item(progress_id::kCurrentLine))->text();
        line = line.left(line.indexOf("   "));
        if (!line.isEmpty() && !lines.contains(line)) lines << line;
    });
    poll.start(50);
    launch();
    return lines;
}

// The segment list of the loaded source read from a CSV text, as its "Load segments" reads one.
inline void LoadSegments(Harness& h, const std::string& csv) {
    WriteFileBytes(h.dir / "segments.csv", csv);
    h.nextOpenPath = QString::fromStdString(h.dir / "segments.csv");
    h.window->cutTab()->LoadSegmentsFile();
}

}  // namespace ulvane::test
