// The cut tab's preview in the window: the seek bar and its keys drive it, the picture shown
// is the exact one at the position and of the loaded file, typed times and cut points move
// it, and a file that cannot be opened or a snapshot left from before never shows.
#include <gtest/gtest.h>

#include "tests/support/eventually.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <filesystem>

#include "controls/bitmap_slider.h"
#include "core/time_text.h"
#include "engine/media_probe.h"
#include "tests/support/media_tools.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/preview_frame.h"

namespace fs = std::filesystem;
using namespace ulvane;
using namespace ulvane::main_id;
using ulvane::test::Fixture;
using ulvane::test::TempDir;
using namespace ulvane::test;

TEST(MainWindow, TheSeekBarDrivesThePreview) {
    Harness h;
    h.Add({Colours()});
    auto* bar = h.window->ItemAs<CBitmapSlider>(kSeekBar);
    auto* preview = h.window->ItemAs<PreviewFrame>(kPreview);
    EXPECT_GT(CentreColour(preview).red(), 200);
    // A click on the bar at 5/6 of its travel: 2.5 s, the blue second.
    const int x = bar->PositionToPixel(833);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, 10));
    EXPECT_TRUE(Eventually([&] { return CentreColour(preview).blue() > 200; }));
    EXPECT_NEAR(h.window->cutPreview()->figures().positionMs, 2500, 10);
    EXPECT_TRUE(h.Text(kPositionText).startsWith("00:00:02.4") || h.Text(kPositionText).startsWith("00:00:02.5"))
        << h.Text(kPositionText).toStdString();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(500), 10));
    EXPECT_TRUE(Eventually([&] { return CentreColour(preview).green() > 200; }));
}

TEST(MainWindow, TheCutTabsSeekBarKeepsToItsOwnSourceWhateverTheJoinListHolds) {
    Harness h;
    h.Add({Colours(10, "window_rgb30.mp4")});  // red, green, blue: 10 s each
    h.window->SelectTab(1);
    h.Add({Av("w25.mp4", "25")});  // 2 s
    h.window->SelectTab(0);
    auto* bar = h.window->ItemAs<CBitmapSlider>(kSeekBar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(833), 10));  // 25 s
    EXPECT_TRUE(Eventually([&] { return CentreColour(h.window->ItemAs<PreviewFrame>(kPreview)).blue() > 200; }));
    EXPECT_TRUE(h.Text(kPositionText).endsWith(" / 00:00:30.000")) << h.Text(kPositionText).toStdString();
    h.window->cutTab()->SetEndPoint();
    EXPECT_GT(ParseTime(h.Text(kEndBox).toStdString()), 24000) << h.Text(kEndBox).toStdString();
    EXPECT_TRUE(h.window->Item(kPreview)->toolTip().startsWith(Colours(10, "window_rgb30.mp4")));
}

TEST(MainWindow, APictureGrabbedAgainIsTheExactOneAtThePosition) {
    Harness h;
    h.Add({Colours(1, "window_rgb_one_key.mp4")});  // the only key frame is red
    auto* bar = h.window->ItemAs<CBitmapSlider>(kSeekBar);
    auto* preview = h.window->ItemAs<PreviewFrame>(kPreview);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(833), 10));  // 2.5 s: blue
    ASSERT_TRUE(Eventually(
        [&] { return h.window->cutPreview()->figures().exactShown > 0 && CentreColour(preview).blue() > 200; }));
    const std::pair<const char*, std::function<void()>> regrabs[] = {
        {"a resize", [&] { h.window->resize(h.window->size() + QSize(60, 40)); }},
        {"a language switch", [&] { h.window->SelectLanguage(*LanguagePosition("german.ini")); }},
    };
    for (const auto& [what, regrab] : regrabs) {
        SCOPED_TRACE(what);
        const int before = h.window->cutPreview()->figures().exactShown;
        regrab();
        EXPECT_TRUE(Eventually([&] { return h.window->cutPreview()->figures().exactShown > before; }));
        EXPECT_GT(CentreColour(preview).blue(), 200);
        EXPECT_NEAR(h.window->cutPreview()->figures().positionMs, 2500, 10);
    }
}

TEST(MainWindow, KeysOnTheSeekBarActAsADrag) {
    Harness h;
    h.Add({Colours()});
    auto* bar = h.window->ItemAs<CBitmapSlider>(kSeekBar);
    auto* preview = h.window->ItemAs<PreviewFrame>(kPreview);
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_End);
    EXPECT_TRUE(Eventually([&] { return CentreColour(preview).blue() > 200; }));
    EXPECT_EQ(h.Text(kPositionText), "00:00:03.000 / 00:00:03.000");
    QTest::keyClick(bar, Qt::Key_Home);
    EXPECT_TRUE(Eventually([&] { return CentreColour(preview).red() > 200; }));
    EXPECT_EQ(h.window->cutPreview()->figures().positionMs, 0);
    // Page Down moves a tenth; the mark buttons take the position the keys reached.
    for (int i = 0; i < 4; ++i) QTest::keyClick(bar, Qt::Key_PageDown);
    EXPECT_TRUE(Eventually([&] { return CentreColour(preview).green() > 200; }));
    h.window->cutTab()->SetStartPoint();
    EXPECT_EQ(h.Text(kStartBox), QString::fromStdString(FormatTime(h.window->cutPreview()->figures().positionMs)));
    EXPECT_NEAR(h.window->cutPreview()->figures().positionMs, bar->GetPosition() * 3, 3);
    EXPECT_GT(h.window->cutPreview()->figures().positionMs, 1000);
}

TEST(MainWindow, AMillisecondTimeMeansThePictureThatStartsWithinIt) {
    // 29.97 pictures a second: picture 31 starts at 1.0344 s, picture 19 at 0.6340 s.
    Harness h;
    const QString source = Av("w30.mp4", "30000/1001");
    h.Add({source});
    auto* bar = h.window->ItemAs<CBitmapSlider>(kSeekBar);
    auto* start = h.window->ItemAs<QLineEdit>(kStartBox);
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"typed 1.034",
         [&] {
             start->setFocus();
             start->selectAll();
             QTest::keyClicks(start, "1.034");
             QTest::keyClick(start, Qt::Key_Return);
         }},
        // About 0.66 s on the bar, inside picture 19: the mark is where that picture starts.
        {"the bar, then set start",
         [&] {
             QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(333), 10));
             ASSERT_TRUE(Eventually([&] { return h.window->cutPreview()->figures().positionMs < 1000; }));
             h.window->cutTab()->SetStartPoint();
         }},
    };
    for (const auto& [way, mark] : ways) {
        SCOPED_TRACE(way);
        const int before = h.window->cutPreview()->figures().exactShown;
        mark();
        ASSERT_TRUE(Eventually([&] { return h.window->cutPreview()->figures().exactShown > before; }));
        QCoreApplication::processEvents();
        // The start stored shows the picture on screen: the first that starts at or after it.
        const double at = ParseTime(h.Text(kStartBox).toStdString()) / 1000.0;
        const GreyPicture shown = PreviewGrey(h.window->ItemAs<PreviewFrame>(kPreview));
        const double right = Psnr(shown, PictureAt(source.toStdString(), at));
        EXPECT_GT(right, 30.0) << at;
        EXPECT_GT(right, Psnr(shown, PictureAt(source.toStdString(), at - 0.033)) + 3) << at;
        EXPECT_GT(right, Psnr(shown, PictureAt(source.toStdString(), at + 0.034)) + 3) << at;
    }
}

TEST(MainWindow, ATypedStartGoesToThePictureTheCutStartsOn) {
    // 25 pictures a second: 4.4791 s lies in picture 111 (4.440 s), less than half a picture
    // before picture 112 (4.480 s), on which an exact cut from 4.4791 s starts.
    Harness h;
    const std::string source =
        Fixture("w25_6s.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "6", "-c:v", "libx264",
                               "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
    h.Add({QString::fromStdString(source)});
    auto* start = h.window->ItemAs<QLineEdit>(kStartBox);
    start->setFocus();
    start->selectAll();
    QTest::keyClicks(start, "4.4791");
    QTest::keyClick(start, Qt::Key_Return);
    ASSERT_TRUE(Eventually([&] { return h.window->cutPreview()->figures().shownFrom == 4'480'000; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(h.Text(kStartBox), "00:00:04.480");
    const std::vector<Segment> segments = h.window->cutTab()->Segments();
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(segments[static_cast<size_t>(std::max(h.window->cutTab()->SelectedSegment(), 0))].startMicros / 1000,
              4480);
    const GreyPicture shown = PreviewGrey(h.window->ItemAs<PreviewFrame>(kPreview));
    EXPECT_GT(Psnr(shown, PictureAt(source, 4.48)), Psnr(shown, PictureAt(source, 4.44)) + 3);
}

TEST(MainWindow, CutPointsFollowTheRules) {
    Harness h;
    h.Add({Colours()});
    // The start point right after loading: start 0, end the duration.
    h.window->cutTab()->SetStartPoint();
    EXPECT_EQ(h.Text(kStartBox), "00:00:00.000");
    EXPECT_EQ(h.Text(kEndBox), "00:00:03.000");
    auto* bar = h.window->ItemAs<CBitmapSlider>(kSeekBar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(667), 10));
    EXPECT_TRUE(Eventually([&] {
        return h.window->cutPreview()->figures().positionMs > 1900 && h.window->cutPreview()->figures().shownFrom >= 0;
    }));
    h.window->cutTab()->SetStartPoint();
    EXPECT_EQ(bar->selectionMode(), 1);
    const QString start = h.Text(kStartBox);
    // An end point before the start exchanges the two times.
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(333), 10));
    EXPECT_TRUE(Eventually([&] {
        return h.window->cutPreview()->figures().positionMs < 1100 && h.window->cutPreview()->figures().shownFrom >= 0;
    }));
    h.window->cutTab()->SetEndPoint();
    EXPECT_EQ(bar->selectionMode(), 2);
    EXPECT_EQ(h.Text(kEndBox), start);
    // The mark is the time of the picture shown, at most a picture before the position.
    EXPECT_NEAR(ParseTime(h.Text(kStartBox).toStdString()), h.window->cutPreview()->figures().positionMs - 20, 20);
    // A typed end before the start shows a length of zero.
    h.window->ItemAs<QLineEdit>(kEndBox)->setText("00:00:00.100");
    EXPECT_EQ(h.Text(kLengthText), "00:00:00.000");
    h.window->ItemAs<QLineEdit>(kEndBox)->setText("00:00:02.500");
    EXPECT_NE(h.Text(kLengthText), "00:00:00.000");
}

TEST(MainWindow, TheDesktopsPlayerOpensTheSourceOnlyWhenOneIsLoaded) {
    Harness h;
    h.window->cutPreview()->Play();
    h.window->cutPreview()->OpenInDesktopPlayer();
    h.window->cutTab()->SetStartPoint();
    h.window->cutTab()->SetEndPoint();
    EXPECT_TRUE(h.opened.isEmpty());
    EXPECT_EQ(h.Text(kStartBox), "00:00:00.000");
    h.Add({Colours()});
    h.window->cutPreview()->OpenInDesktopPlayer();
    EXPECT_EQ(h.opened, QStringList{Colours()});
}

TEST(MainWindow, ASourceShorterThanAMillisecondIsOfLengthZero) {
    Harness h;
    // 20 samples at 48 kHz: 0.4 ms, a duration of 0 whole milliseconds.
    const QString tiny = QString::fromStdString(
        Fixture("tiny.wav", {"-f", "lavfi", "-i", "sine=sample_rate=48000", "-af", "atrim=end_sample=20"}));
    h.Add({tiny});
    ASSERT_TRUE(h.messages.shown.isEmpty()) << h.messages.shown.join("|").toStdString();
    EXPECT_EQ(h.window->cutTab()->cutSourcePath(), tiny);
    auto* bar = h.window->ItemAs<CBitmapSlider>(kSeekBar);
    EXPECT_EQ(bar->selectionStart(), 0);
    EXPECT_EQ(bar->selectionEnd(), 1000);
    EXPECT_FALSE(bar->isEnabled());
    EXPECT_EQ(h.Text(kLengthText), "00:00:00.000");
}

TEST(MainWindow, MovesThatPileUpDuringAGrabGiveOneGrabOfTheNewestPosition) {
    Harness h;
    h.Add({Colours()});
    auto* bar = h.window->ItemAs<CBitmapSlider>(kSeekBar);
    const int before = h.window->cutPreview()->figures().grabs;
    // Ten moves arrive before the window gets to run: one grab, of the last position.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(100), 10));
    for (int p = 150; p <= 850; p += 70) QTest::mouseMove(bar, QPoint(bar->PositionToPixel(p), 10));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(850), 10));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(h.window->cutPreview()->figures().grabs, before + 1);
    EXPECT_EQ(h.window->cutPreview()->figures().grabbedPlace, bar->GetPosition());
    EXPECT_GT(CentreColour(h.window->ItemAs<PreviewFrame>(kPreview)).blue(), 200);
}

// A file whose video packets are noise: the container and decoder open, no picture decodes.
static QString GarbageVideo(const TempDir& dir) {
    const std::string good =
        Fixture("window_garbage_src.mp4", {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-t", "1", "-c:v",
                                           "libx264", "-preset", "ultrafast", "-movflags", "+faststart"});
    std::string bytes = ReadFileBytes(good);
    const size_t mdat = bytes.find("mdat");
    EXPECT_NE(mdat, std::string::npos);
    uint32_t x = 12345;
    for (size_t k = mdat + 4; k < bytes.size(); ++k) bytes[k] = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
    const std::string path = dir / "noise.mp4";
    WriteFileBytes(path, bytes);
    return QString::fromStdString(path);
}

TEST(MainWindow, APreviewOfAnotherFileIsNeverShown) {
    Harness h;
    auto* preview = h.window->ItemAs<PreviewFrame>(kPreview);
    const QString snapshot = h.window->cutPreview()->snapshotPath();
    h.Add({Colours()});
    ASSERT_GT(CentreColour(preview).red(), 200);
    ASSERT_TRUE(QFile::exists(snapshot));
    // A file the probe takes but with no picture to grab: the red picture goes, and so does
    // the snapshot of the file before.
    h.Add({QString::fromStdString(AudioOnlyFixture())});
    EXPECT_EQ(h.window->cutTab()->cutSourcePath(), QString::fromStdString(AudioOnlyFixture()));
    EXPECT_TRUE(preview->picture().isNull());
    EXPECT_FALSE(QFile::exists(snapshot));
}

TEST(MainWindow, AFileThatCannotBeOpenedLeavesTheLoadedVideoAsItWas) {
    Harness h;
    auto* preview = h.window->ItemAs<PreviewFrame>(kPreview);
    h.Add({Colours()});
    h.window->ItemAs<QLineEdit>(kStartBox)->setText("00:00:01.000");
    h.window->cutTab()->SetEndPoint();
    const QStringList boxes = {h.Text(kStartBox), h.Text(kEndBox), h.Text(kLengthText), h.Text(kPositionText)};
    const QString title = h.window->windowTitle();
    h.Add({GarbageVideo(h.dir)});
    EXPECT_EQ(h.messages.shown.size(), 1);
    EXPECT_EQ(h.window->cutTab()->cutSourcePath(), Colours());
    EXPECT_EQ(h.window->windowTitle(), title);
    EXPECT_GT(CentreColour(preview).red(), 200);
    EXPECT_EQ((QStringList{h.Text(kStartBox), h.Text(kEndBox), h.Text(kLengthText), h.Text(kPositionText)}), boxes);
    // And it is still the one a cut takes.
    h.settings = [](OutputSettingsDialog&) {};
    h.window->cutTab()->LaunchCut();
    EXPECT_EQ(h.messages.shown.size(), 1) << h.messages.shown.last().toStdString();
}

TEST(MainWindow, ASnapshotLeftFromAnEarlierRunIsNotShown) {
    Harness h;
    auto* preview = h.window->ItemAs<PreviewFrame>(kPreview);
    // The bitmap an earlier run left behind, of some other file.
    const std::string red = Fixture("window_old_snapshot.bmp", {"-f", "lavfi", "-i", "color=c=red:s=320x240",
                                                                "-frames:v", "1", "-pix_fmt", "bgr24"});
    std::filesystem::copy_file(red, h.window->cutPreview()->snapshotPath().toStdString(),
                               std::filesystem::copy_options::overwrite_existing);
    h.Add({QString::fromStdString(AudioOnlyFixture())});
    EXPECT_TRUE(preview->picture().isNull());
    EXPECT_FALSE(QFile::exists(h.window->cutPreview()->snapshotPath()));
}

// Red on the left, blue on the right: a quarter turn clockwise puts the red on top.
TEST(MainWindow, ATurnShowsInThePreviewAndInTheFileADirectCutMakes) {
    const std::string halves = ":s=160x180:r=25:d=2";
    const QString mp4 = QString::fromStdString(
        Fixture("window_halves.mp4",
                {"-f", "lavfi", "-i", "color=c=red" + halves + "[l];color=c=blue" + halves + "[r];[l][r]hstack[out0]",
                 "-c:v", "libx264", "-g", "25", "-pix_fmt", "yuv420p"}));
    const QString mkv = QString::fromStdString(Fixture("window_halves.mkv", {"-i", mp4.toStdString(), "-c", "copy"}));
    // Brighter (red) on top than below (blue), in grey levels of the top and bottom quarters.
    const auto redOnTop = [](const GreyPicture& g) {
        double top = 0, bottom = 0;
        for (int x = 0; x < g.width; ++x)
            for (int y = 0; y < g.height / 4; ++y) {
                top += g.pixels[size_t(y * g.width + x)];
                bottom += g.pixels[size_t((g.height - 1 - y) * g.width + x)];
            }
        return top > bottom * 1.8;
    };
    Harness h;
    h.Add({mp4});
    auto* turn = h.window->ItemAs<QAbstractButton>(kTurnButton);
    turn->click();
    const PreviewFrame* preview = h.window->ItemAs<PreviewFrame>(kPreview);
    ASSERT_TRUE(Eventually([&] { return preview->picture().height() == preview->contentsRect().height(); }));
    EXPECT_LT(preview->picture().width(), preview->picture().height());
    EXPECT_TRUE(redOnTop(PreviewGrey(preview, 48, 64)));

    TempDir out;
    h.settings = [&](OutputSettingsDialog& d) {
        d.SetDirect(true);
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(out.path().string()));
        d.Start();
    };
    h.window->cutTab()->LaunchCut();
    h.window->launcher()->WaitForWorker();
    const std::vector<std::string> made = FilesIn(out.path());
    ASSERT_EQ(made.size(), 1u);
    const std::string cut = (out.path() / made[0]).string();
    // Players turn it upright by its display rotation: 180 x 320, red on top.
    const PictureShape shape = ShapeOf(cut);
    EXPECT_EQ(shape.width, 180);
    EXPECT_EQ(shape.height, 320);
    EXPECT_TRUE(redOnTop(PictureAt(cut, 0.5, 48, 64)));

    // Each file has its own turn; a Matroska copy cannot keep one, and says so.
    h.Add({mkv});
    EXPECT_FALSE(turn->isChecked());
    turn->click();
    TempDir none;
    h.settings = [&](OutputSettingsDialog& d) {
        d.SetDirect(true);
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(none.path().string()));
        d.Start();
    };
    h.window->cutTab()->LaunchCut();
    h.window->launcher()->WaitForWorker();
    EXPECT_TRUE(FilesIn(none.path()).empty());
    ASSERT_FALSE(h.messages.shown.isEmpty());
    EXPECT_TRUE(h.messages.shown.back().startsWith("A mkv file cannot keep a turn"))
        << h.messages.shown.back().toStdString();
    h.Add({mp4});
    EXPECT_TRUE(turn->isChecked()) << "the first file's turn is remembered";
}
