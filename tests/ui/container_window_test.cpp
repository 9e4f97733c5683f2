// A direct cut into another container from the window: the choice is kept in setting.ini,
// what the container cannot take is told before the job, and the file made is that container,
// or the source's own where the chosen one cannot hold its video or sound.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

#include "core/language_table.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"

using namespace ulvane;
using namespace ulvane::test;

TEST(ContainerChoice, ADirectCutGoesIntoTheChosenContainerOrIsToldWhyNot) {
    const QString film = QString::fromStdString(FilmWithTracksFixture());  // MKV: H.264, AAC, SubRip, a font
    const struct {
        const char* name;
        const char* container;  // the row's extension
        bool answer;            // to the question of the tracks that change
        const char* refused;    // part of the refusal, "" for none
        const char* asked;      // part of the question, "" for none
        const char* made;       // the output's format as ffprobe names it, "" for no file
        const char* extension;  // the output's
        bool fallsBack;         // the dialog's note says the source's own container is used
    } cases[] = {
        {"H.264 cannot go into WebM: the MKV stays MKV", "webm", true, "", "", "matroska", "mkv", true},
        {"declined: nothing is written", "mp4", false, "", "Subtitle track 1 (SRT text)", "", "", false},
        {"accepted: an MP4 with the subtitles as its own text", "mp4", true, "", "converted to the MP4 text format",
         "mp4", "mp4", false},
        {"MPEG-TS keeps what it can", "ts", true, "", "left out", "mpegts", "ts", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        TempDir out;
        h.Add({film});
        h.window->ItemAs<QLineEdit>(main_id::kStartBox)->setText("00:00:02.000");
        h.window->ItemAs<QLineEdit>(main_id::kEndBox)->setText("00:00:04.000");
        h.messages.answer = c.answer;
        const int row = DirectContainerRow(c.container);
        ASSERT_GT(row, 0);
        QString note;
        h.settings = [&](OutputSettingsDialog& d) {
            d.SetExact();  // the cut from 2 s on the very picture, as the container list serves it too
            EXPECT_TRUE(d.Item(export_id::kContainerList)->isEnabled());
            d.SetDirect(false);
            EXPECT_FALSE(d.Item(export_id::kContainerList)->isEnabled());
            d.SetExact();
            d.ItemAs<QComboBox>(export_id::kContainerList)->setCurrentIndex(row);
            note = d.ItemAs<QLabel>(settings_id::kCutNote)->text();
            d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(out.path().string()));
            d.ItemAs<QLineEdit>(settings_id::kNameBox)->setText("out");
            d.Start();
        };
        h.window->cutTab()->LaunchCut();
        // Said in the dialog, before the job: "WEBM cannot hold the video of film.mkv (h264), so ...".
        const QString fallBack = QString::fromStdString(h.window->languageTable().ReadFromFile("JIEMIAN", "rqhv"))
                                     .arg("WEBM", QFileInfo(film).fileName(), "h264", "MKV");
        EXPECT_EQ(note == fallBack, c.fallsBack) << note.toStdString();
        // Kept for the next time, and offered again.
        EXPECT_EQ(SettingsStore(h.dir / "setting.ini").ReadRow(settings_keys::kCut, settings_keys::kContainer), row);
        CFileInfomation again(h.window->settings(), h.window->languageTable(), h.messages, nullptr, "name");
        EXPECT_EQ(again.ItemAs<QComboBox>(export_id::kContainerList)->currentIndex(), row);
        EXPECT_EQ(h.messages.shown.join('\n').contains(c.refused) && *c.refused != 0, *c.refused != 0)
            << h.messages.shown.join('\n').toStdString();
        EXPECT_EQ(h.messages.asked.join('\n').contains(c.asked) && *c.asked != 0, *c.asked != 0)
            << h.messages.asked.join('\n').toStdString();
        const std::vector<std::string> files = FilesIn(out.path());
        if (!*c.made) {
            EXPECT_TRUE(files.empty());
            continue;
        }
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0], std::string("out.") + c.extension);
        const std::string made = out / files[0];
        const std::string format =
            ulvane::test::Run({"ffprobe", "-v", "error", "-show_entries", "format=format_name", "-of", "csv=p=0", made})
                .out;
        EXPECT_NE(format.find(c.made), std::string::npos) << format;
        EXPECT_EQ(Problems(Inspect(made), true, true, 2.0, 0.15), "");
        // The pictures are the source's, from the marked start.
        EXPECT_GT(Psnr(PictureDecodedAt(made, 0.5), PictureAt(film.toStdString(), 2.5)), 40.0);
    }
}
