// The track list in the window: the tracks the user keeps and the defaults chosen are those
// of the file a cut gives, whichever way it is cut, and the file keeps its choice while the
// program runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <sstream>

#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/track_list.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

// A file's streams, a line each: "video", "audio deu default", "subtitle fra default",
// "attachment" (for sound and subtitles, the language where tagged and "default" where so
// flagged).
std::vector<std::string> TracksOf(const std::string& path) {
    const CommandResult r = Run({"ffprobe", "-v", "error", "-show_entries",
                                 "stream=codec_type:stream_tags=language:stream_disposition=default", "-of",
                                 "default=noprint_wrappers=1", path});
    std::vector<std::string> out;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codec_type") out.push_back(value);
        if (out.empty() || (out.back().rfind("audio", 0) != 0 && out.back().rfind("subtitle", 0) != 0)) continue;
        if (key == "TAG:language") out.back() += " " + value;
        if (key == "DISPOSITION:default" && value == "1") out.back() += " default";
    }
    // ffprobe gives the flags before the tags: the language goes first.
    for (std::string& s : out)
        if (const size_t d = s.find(" default"); d != std::string::npos) s = s.erase(d, 8) + " default";
    return out;
}

int RowOf(const QTableWidget* table, const QString& name) {
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->item(r, TrackList::kTrack)->text() == name) return r;
    return -1;
}

void Tick(QTableWidget* table, const QString& name, bool kept) {
    const int r = RowOf(table, name);
    ASSERT_GE(r, 0) << name.toStdString();
    table->item(r, TrackList::kKeep)->setCheckState(kept ? Qt::Checked : Qt::Unchecked);
}

}  // namespace

TEST(TracksWindow, TheTracksKeptAndTheDefaultsChosenAreThoseOfTheCut) {
    // Pictures, sound at 440 Hz (English, the file's default) and at 880 Hz (German),
    // French subtitles and an attached font.
    const QString film = QString::fromStdString(FilmWithTracksFixture());
    Harness h;
    CUlvaneAVConverterDlg& w = *h.window;
    TempDir out;
    bool direct = true;
    h.settings = [&](OutputSettingsDialog& d) {
        d.SetDirect(direct);
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(out.path().string()));
        d.ItemAs<QLineEdit>(settings_id::kNameBox)->setText(direct ? "direct" : "again");
        d.Start();
    };
    // Every language names the list's parts; English from here on.
    for (int language = 5; language >= 0; --language) {
        w.SelectLanguage(language);
        for (std::string_view key : TrackList::TextKeys())
            EXPECT_FALSE(w.languageTable().ReadFromFile("TRACKS", key).empty())
                << w.languageTable().activeFile() << " " << key;
    }
    h.Add({film});
    TrackList* list = w.cutTab()->trackList();
    QTableWidget* table = list->table();
    ASSERT_EQ(table->rowCount(), 5);
    // The title takes the width the other columns leave, to the list's right edge.
    const QHeaderView* header = table->horizontalHeader();
    EXPECT_EQ(header->sectionViewportPosition(TrackList::kTitle) + header->sectionSize(TrackList::kTitle),
              table->viewport()->width());
    EXPECT_EQ(table->item(RowOf(table, "Sound 1"), TrackList::kDefault)->text(), "yes");
    EXPECT_EQ(table->item(RowOf(table, "Sound 2"), TrackList::kLanguage)->text(), "deu");

    // The German sound the default, the English one left out, the subtitles shown unasked.
    list->soundBox()->setCurrentIndex(list->soundBox()->findText("Sound 2 (deu)"));
    Tick(table, "Sound 1", false);
    list->subtitleBox()->setCurrentIndex(list->subtitleBox()->findText("Subtitles 1 (fra)"));

    // Neither pictures nor sound: refused before the settings, with the list's own words.
    Tick(table, "Video 1", false);
    Tick(table, "Sound 2", false);
    w.cutTab()->LaunchCut();
    ASSERT_FALSE(h.messages.shown.isEmpty());
    EXPECT_EQ(h.messages.shown.last().toStdString(),
              "No video or sound track of film_tracks.mkv is ticked in the track list: keep at least one.");
    EXPECT_TRUE(FilesIn(out.path()).empty());
    Tick(table, "Video 1", true);
    Tick(table, "Sound 2", true);

    // Another file, then the film again: its choice comes back with it.
    h.Add({Colours()});
    EXPECT_EQ(table->rowCount(), 1);
    h.Add({film});
    EXPECT_EQ(list->soundBox()->currentText(), "Sound 2 (deu)");

    w.ItemAs<QLineEdit>(main_id::kStartBox)->setText("00:00:01.500");
    w.ItemAs<QLineEdit>(main_id::kEndBox)->setText("00:00:05.000");
    const struct {
        bool direct;
        std::vector<std::string> tracks;  // a re-encoding carries no subtitles nor attachments
    } cases[] = {
        {true, {"video", "audio deu default", "subtitle fra default", "attachment"}},
        {false, {"video", "audio deu default"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.direct ? "direct" : "re-encoded");
        direct = c.direct;
        w.cutTab()->LaunchCut();
        const ConversionJob* job = w.launcher()->job();
        ASSERT_EQ(job->inputStatus[0].load(), kInputDone) << job->inputError[0];
        const std::string made = job->outputPaths[0];
        EXPECT_EQ(TracksOf(made), c.tracks);
        // The one sound track is the German one, at 880 Hz.
        const std::vector<float> sound = SoundOf(made, 8000, 0);
        EXPECT_GT(ToneLevel(sound, 880, 0.5, 3), 10 * ToneLevel(sound, 440, 0.5, 3));
    }

    // Without its subtitles, the film keeps what a copy of its pictures and German sound has:
    // the two join directly, without the question files that differ bring.
    Tick(table, "Subtitles 1", false);
    const QString german = QString::fromStdString(
        Fixture("film_german.mkv", {"-i", film.toStdString(), "-map", "0:v", "-map", "0:a:1", "-c", "copy"}));
    w.SelectTab(1);
    h.Add({film, german});
    direct = true;
    w.joinTab()->LaunchJoin();
    EXPECT_TRUE(h.messages.asked.isEmpty()) << h.messages.asked.join("\n").toStdString();
    w.launcher()->WaitForWorker();
    const ConversionJob* job = w.launcher()->job();
    ASSERT_EQ(job->inputStatus[1].load(), kInputDone) << job->inputError[1];
    const std::vector<float> sound = SoundOf(job->outputPaths[0], 8000, 0);
    EXPECT_GT(ToneLevel(sound, 880, 11, 14), 10 * ToneLevel(sound, 440, 11, 14));
}

TEST(TracksWindow, EveryTrackAndEveryHeadingShowsWholeInEveryLanguage) {
    // Video, sound and subtitles show whole in the smallest window; the film with two sound
    // tracks and a font too once the window is taller (the preview gives the rows their room).
    static const TempDir parts;
    WriteFileBytes(parts / "line.srt", "1\n00:00:00,500 --> 00:00:01,500\nHello\n");
    const std::string three = Fixture("tracks_video_sound_srt.mkv", {"-f",      "lavfi",
                                                                     "-i",      "testsrc2=size=320x240:rate=25:d=2",
                                                                     "-f",      "lavfi",
                                                                     "-i",      "sine=d=2",
                                                                     "-i",      parts / "line.srt",
                                                                     "-map",    "0",
                                                                     "-map",    "1",
                                                                     "-map",    "2",
                                                                     "-c:v",    "libx264",
                                                                     "-preset", "ultrafast",
                                                                     "-c:a",    "aac",
                                                                     "-c:s",    "srt"});
    for (const auto& [film, rows, taller] : {std::tuple{three, 3, 0}, std::tuple{FilmWithTracksFixture(), 5, 60}}) {
        Harness h;
        h.window->resize(h.window->size() + QSize(0, taller));
        h.Add({QString::fromStdString(film)});
        QTableWidget* table = h.window->cutTab()->trackList()->table();
        for (int language = 0; language < 6; ++language) {
            h.window->SelectLanguage(language);
            QApplication::processEvents();
            SCOPED_TRACE(h.window->languageTable().activeFile());
            ASSERT_EQ(table->rowCount(), rows);
            // The subtitles' format as users know it, in the language shown.
            EXPECT_EQ(table->item(rows == 3 ? 2 : 3, TrackList::kCodec)->text().toStdString(),
                      h.window->languageTable().ReadFromFile("TISHI", "gssrt"));
            for (int r = 0; r < table->rowCount(); ++r)
                for (int c = 0; c < TrackList::kColumns; ++c)
                    EXPECT_TRUE(table->viewport()->rect().contains(table->visualRect(table->model()->index(r, c))))
                        << "row " << r << ", column " << c;
            const QFontMetrics heading(table->horizontalHeader()->font());
            for (int c = 0; c < TrackList::kColumns; ++c)
                EXPECT_GE(table->columnWidth(c), heading.horizontalAdvance(table->horizontalHeaderItem(c)->text()))
                    << table->horizontalHeaderItem(c)->text().toStdString();
        }
    }
}
