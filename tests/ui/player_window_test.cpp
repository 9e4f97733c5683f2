// Playback in the cut tab's preview, headless: no sound device is expected, so the player
// runs on the system clock. The pictures shown are judged against the source's own decode;
// times are read from the window, never from the wall clock.
#include <gtest/gtest.h>

#include "tests/support/eventually.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>

#include "controls/bitmap_slider.h"
#include "controls/control_button.h"
#include "core/time_text.h"
#include "tests/ui/segment_media.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/preview_player.h"
#include "ui/segment_list.h"

using namespace ulvane;
using namespace ulvane::main_id;
using namespace ulvane::test;

namespace {

// Generous: a loaded machine may play slowly, never wrongly.
constexpr int kWaitMs = 20000;

// 4 s of moving pictures (every one differs) with a tone.
QString Film() {
    return PicturesAndTone("player_film.mp4", 4);
}

QString SilentFilm() {
    return QString::fromStdString(
        Fixture("player_silent.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "3", "-c:v",
                                      "libx264", "-preset", "veryfast", "-g", "25", "-pix_fmt", "yuv420p"}));
}

// A checksum of what the preview shows, to count the pictures playback brings.
size_t PictureSum(const PreviewFrame* p) {
    const GreyPicture g = PreviewGrey(p, 32, 24);
    size_t sum = 0;
    for (uint8_t v : g.pixels) sum = sum * 131 + v;
    return sum;
}

// `shown` is the source's picture that starts at `fromMicros` (the ffmpeg tool's first picture
// from that time on), and not its neighbour before or after (25 pictures a second).
void ExpectSourcePicture(const GreyPicture& shown, const QString& source, int64_t fromMicros) {
    const auto at = [&](int64_t micros) { return PictureAt(source.toStdString(), static_cast<double>(micros) / 1e6); };
    const double right = Psnr(shown, at(fromMicros));
    EXPECT_GT(right, 30.0) << fromMicros;
    EXPECT_GT(right, Psnr(shown, at(fromMicros - 40'000)) + 3) << fromMicros;
    EXPECT_GT(right, Psnr(shown, at(fromMicros + 40'000)) + 3) << fromMicros;
}

struct PlayWindow : Harness {
    CUlvaneAVConverterDlg& w = *window;
    PreviewPlayer& player = *w.cutPreview()->previewPlayer();
    PreviewFrame* preview = w.ItemAs<PreviewFrame>(kPreview);
    CBitmapSlider* bar = w.ItemAs<CBitmapSlider>(kSeekBar);
    QString file;
    explicit PlayWindow(const QString& source) : file(source) {
        Add({file});
        QApplication::setActiveWindow(&w);
        EXPECT_EQ(w.cutTab()->cutSourcePath(), file);
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(&w, Qt::Key(key), mods); }
    bool Until(const std::function<bool()>& ready) { return Eventually(ready, kWaitMs); }
    int Position() const { return w.cutPreview()->figures().positionMs; }
    int DurationMs() const { return static_cast<int>(w.ItemAs<CBitmapSlider>(kSeekBar)->maximum()); }
    // Paused, with the exact still at `permille` of the length on screen.
    void RestAt(int permille) {
        const int before = w.cutPreview()->figures().exactShown;
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(permille), bar->height() / 2));
        EXPECT_TRUE(Until([&] { return w.cutPreview()->figures().exactShown > before; }));
    }
};

}  // namespace

TEST(PlayerWindow, PlaybackMovesThePictureAndThePositionAndPauseLeavesTheExactStill) {
    struct Case {
        const char* name;
        std::function<QString()> file;
        bool pictures;
    };
    const Case cases[] = {
        {"pictures and sound", Film, true},
        {"pictures without sound", SilentFilm, true},
        {"sound alone", [] { return QString::fromStdString(AudioOnlyFixture()); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlayWindow f(c.file());
        std::set<size_t> seen;
        QObject::connect(&f.player, &PreviewPlayer::pictureShown, [&] { seen.insert(PictureSum(f.preview)); });
        f.Key(Qt::Key_Space);
        EXPECT_TRUE(f.player.playing());
        EXPECT_TRUE(f.Until([&] { return f.Position() >= 800; })) << "the position follows playback";
        EXPECT_GT(f.bar->GetPosition(), 0) << "and the thumb with it";
        EXPECT_TRUE(f.w.ItemAs<QLabel>(kPositionText)->text().startsWith("00:00:0"));
        const int before = f.w.cutPreview()->figures().exactShown;
        f.Key(Qt::Key_Space);
        EXPECT_FALSE(f.player.playing());
        if (!c.pictures) {
            EXPECT_TRUE(seen.empty());
            continue;
        }
        // A loaded machine may show fewer of the 20 pictures (the late ones are dropped), never none.
        EXPECT_GE(seen.size(), size_t{4}) << "the pictures move";
        // The exact still of the picture playback stopped on takes its place: the source's own.
        EXPECT_TRUE(f.Until([&] { return f.w.cutPreview()->figures().exactShown > before; }));
        const int64_t shown = f.w.cutPreview()->figures().shownFrom;
        EXPECT_NEAR(int64_t{f.Position()} * 1000, shown, 1000) << "the position is the picture's";
        ExpectSourcePicture(PreviewGrey(f.preview), f.file, shown);
        // Nothing moves once paused.
        const int at = f.Position();
        QTest::qWait(200);
        EXPECT_EQ(f.Position(), at);
    }
}

TEST(PlayerWindow, AMarkDuringPlaybackTakesThePictureOnScreen) {
    struct Case {
        const char* how;
        std::function<void(PlayWindow&)> mark;
        int box;
    };
    const Case cases[] = {
        {"I", [](PlayWindow& f) { f.Key(Qt::Key_I); }, kStartBox},
        {"O", [](PlayWindow& f) { f.Key(Qt::Key_O); }, kEndBox},
        {"the start button",
         [](PlayWindow& f) { QTest::mouseClick(f.w.Item(kStartPointButton), Qt::LeftButton, {}, QPoint(17, 16)); },
         kStartBox},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        PlayWindow f(Film());
        f.Key(Qt::Key_Space);
        ASSERT_TRUE(f.Until([&] { return f.Position() >= 600; }));
        // What is on screen at the moment of the mark.
        const GreyPicture onScreen = PreviewGrey(f.preview);
        c.mark(f);
        EXPECT_TRUE(f.player.playing()) << "a mark does not stop playback";
        const std::optional<int64_t> marked = ParseTypedTime(f.Text(c.box).toStdString());
        ASSERT_TRUE(marked);
        EXPECT_GE(*marked, 500'000);
        // The mark's picture in the source is the one that was on screen.
        ExpectSourcePicture(onScreen, f.file, *marked);
        f.Key(Qt::Key_K);
        EXPECT_FALSE(f.player.playing());
    }
}

TEST(PlayerWindow, ShuttleKeysPlayForwardsFasterBackwardsAndPause) {
    struct Case {
        std::vector<int> keys;
        double speed;  // 0: paused
    };
    const Case cases[] = {
        {{Qt::Key_L}, 1},
        {{Qt::Key_L, Qt::Key_L}, 2},
        {{Qt::Key_L, Qt::Key_L, Qt::Key_L}, 4},
        {{Qt::Key_L, Qt::Key_L, Qt::Key_L, Qt::Key_L}, 4},
        {{Qt::Key_J}, -1},
        {{Qt::Key_J, Qt::Key_J}, -2},
        {{Qt::Key_L, Qt::Key_J}, -1},
        {{Qt::Key_J, Qt::Key_L}, 1},
        {{Qt::Key_L, Qt::Key_K}, 0},
        {{Qt::Key_Space}, 1},
        {{Qt::Key_Space, Qt::Key_Space}, 0},
    };
    PlayWindow f(SilentFilm());
    for (const Case& c : cases) {
        std::string name;
        for (int k : c.keys) name += QKeySequence(k).toString().toStdString() + " ";
        SCOPED_TRACE(name);
        f.RestAt(500);  // 1.5 s: room both ways
        const int from = f.Position();
        for (int k : c.keys) f.Key(k);
        EXPECT_EQ(f.player.playing(), c.speed != 0);
        if (c.speed == 0) continue;
        EXPECT_EQ(f.player.speed(), c.speed);
        // The pictures go the way asked.
        if (c.speed > 0)
            EXPECT_TRUE(f.Until([&] { return f.Position() > from + 200; })) << f.Position();
        else
            EXPECT_TRUE(f.Until([&] { return f.Position() < from - 200; })) << f.Position();
        f.Key(Qt::Key_K);
        EXPECT_FALSE(f.player.playing());
    }
}

TEST(PlayerWindow, ShiftSpacePlaysTheSelectedSegmentOnceOrInALoop) {
    for (const bool loop : {false, true}) {
        SCOPED_TRACE(loop ? "loop" : "once");
        PlayWindow f(Film());
        LoadSegments(f, "start,end,label\n00:00:00.200,00:00:00.400,a\n00:00:01.000,00:00:01.600,b\n");
        f.w.cutTab()->segmentList()->table()->selectRow(1);
        f.w.ItemAs<QCheckBox>(kLoopCheck)->setChecked(loop);
        std::vector<int> positions;
        QObject::connect(&f.player, &PreviewPlayer::pictureShown,
                         [&](qint64 from) { positions.push_back(int(from / 1000)); });
        f.Key(Qt::Key_Space, Qt::ShiftModifier);
        EXPECT_TRUE(f.player.playing());
        if (!loop) {
            EXPECT_TRUE(f.Until([&] { return !f.player.playing(); })) << "it stops at the segment's end";
            EXPECT_GE(f.Position(), 1000);
            EXPECT_LT(f.Position(), 1600);
        } else {
            // Past the middle, then back at the start: it went round.
            bool late = false;
            EXPECT_TRUE(f.Until([&] {
                for (int p : positions) {
                    late = late || p >= 1300;
                    if (late && p < 1200) return true;
                }
                return false;
            }));
            EXPECT_TRUE(f.player.playing());
            f.Key(Qt::Key_K);
        }
        ASSERT_FALSE(positions.empty());
        for (int p : positions) {
            EXPECT_GE(p, 960) << "no picture before the segment";
            EXPECT_LT(p, 1600) << "nor after it";
        }
    }
}

TEST(PlayerWindow, PPlaysTheSegmentsInListOrderAndTheListFollows) {
    PlayWindow f(Film());
    // Out of time order, each starting and ending on a picture's start; 1.44 s in all.
    LoadSegments(f,
                 "start,end,label\n00:00:02.520,00:00:03.000,a\n00:00:00.520,00:00:01.000,b\n"
                 "00:00:01.520,00:00:02.000,c\n");
    const std::vector<Segment> segments = f.w.cutTab()->Segments();
    ASSERT_EQ(segments.size(), 3u);
    SegmentList& list = *f.w.cutTab()->segmentList();
    std::vector<std::pair<int64_t, int>> shown;  // each picture's time in the source, the segment selected then
    std::optional<GreyPicture> first;
    QString text;
    QObject::connect(&f.player, &PreviewPlayer::pictureShown, [&](qint64 from) {
        if (!first) first = PreviewGrey(f.preview);
        shown.push_back({from, list.selected()});
        text = f.w.ItemAs<QLabel>(kPositionText)->text();
    });
    f.Key(Qt::Key_P);
    EXPECT_TRUE(f.player.playing());
    EXPECT_TRUE(f.Until([&] { return !f.player.playing(); })) << "it stops at the result's end";
    ASSERT_FALSE(shown.empty());
    // Each picture is of its segment, in list order, and that segment is the one selected.
    std::vector<int> order;
    for (const auto& picture : shown) {
        const int64_t from = picture.first;
        const int selected = picture.second;
        const auto in = std::find_if(segments.begin(), segments.end(),
                                     [&](const Segment& s) { return s.startMicros <= from && from < s.endMicros; });
        ASSERT_NE(in, segments.end()) << from;
        const int segment = static_cast<int>(in - segments.begin());
        EXPECT_EQ(selected, segment) << from;
        if (order.empty() || order.back() != segment) order.push_back(segment);
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(text.contains("result 00:00:01.") && text.endsWith("of 00:00:01.440")) << text.toStdString();
    // The first picture is the first segment's; the last, whose exact still stays, the third's.
    ASSERT_TRUE(first.has_value());
    {
        // The first segment's first picture, or its next when a slow machine painted late; never
        // the picture before the segment.
        const auto psnrAt = [&](int64_t micros) {
            return Psnr(*first, PictureAt(f.file.toStdString(), static_cast<double>(micros) / 1e6));
        };
        const double right = std::max(psnrAt(2'520'000), psnrAt(2'560'000));
        EXPECT_GT(right, 30.0);
        EXPECT_GT(right, psnrAt(2'480'000) + 3);
    }
    EXPECT_TRUE(f.Until([&] { return f.w.cutPreview()->figures().shownFrom == 1'960'000; }));
    ExpectSourcePicture(PreviewGrey(f.preview), f.file, 1'960'000);
    // P again starts the result over; a seek leaves it for the file.
    shown.clear();
    f.Key(Qt::Key_P);
    EXPECT_TRUE(f.Until([&] { return !shown.empty(); }));
    // From the first segment again (on a slow machine a paint may come after its first picture).
    EXPECT_GE(shown.front().first, 2'520'000);
    EXPECT_LT(shown.front().first, 3'000'000);
    f.RestAt(100);
    EXPECT_FALSE(f.player.playsClips());
    EXPECT_FALSE(f.w.ItemAs<QLabel>(kPositionText)->text().contains("result"));
}

TEST(PlayerWindow, SeekingWhilePlayingPlaysOnFromTheNewPlace) {
    struct Case {
        const char* how;
        std::function<void(PlayWindow&)> seek;
        int toMs;  // where playback goes on from, about
    };
    const Case cases[] = {
        {"click",
         [](PlayWindow& f) {
             QTest::mouseClick(f.bar, Qt::LeftButton, {}, QPoint(f.bar->PositionToPixel(600), f.bar->height() / 2));
         },
         2400},
        {"drag",
         [](PlayWindow& f) {
             const QPoint thumb = f.bar->ThumbCorner() + QPoint(4, 4);
             QTest::mousePress(f.bar, Qt::LeftButton, {}, thumb);
             QTest::mouseMove(f.bar, QPoint(f.bar->PositionToPixel(400), thumb.y()));
             QTest::mouseMove(f.bar, QPoint(f.bar->PositionToPixel(600), thumb.y()));
             // Held while the thumb moves: the preview shows stills of where it is.
             EXPECT_TRUE(f.Until([&] { return !f.player.playing() && f.Position() >= 2300; }));
             QTest::mouseRelease(f.bar, Qt::LeftButton, {}, QPoint(f.bar->PositionToPixel(600), thumb.y()));
         },
         2400},
        {"Home on the seek bar",
         [](PlayWindow& f) {
             f.bar->setFocus();
             QTest::keyClick(f.bar, Qt::Key_Home);
         },
         0},
        {"Shift+I", [](PlayWindow& f) { f.Key(Qt::Key_I, Qt::ShiftModifier); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        PlayWindow f(Film());
        f.Key(Qt::Key_Space);
        ASSERT_TRUE(f.Until([&] { return f.Position() >= 800; }));
        std::vector<int64_t> shown;  // every picture from the seek on
        QObject::connect(&f.player, &PreviewPlayer::pictureShown, [&](qint64 from) { shown.push_back(from); });
        c.seek(f);
        // Playing on from there: a picture just after the new place, which playback before the
        // seek (past 0.8 s, short of 2.3 s) never showed.
        EXPECT_TRUE(f.Until([&] {
            return std::any_of(shown.begin(), shown.end(), [&](int64_t from) {
                return from >= int64_t{c.toMs - 100} * 1000 && from < int64_t{c.toMs + 400} * 1000;
            });
        }));
        EXPECT_TRUE(f.player.playing());
        f.Key(Qt::Key_K);
    }
}

TEST(PlayerWindow, ThePlayButtonPlaysInPlaceAndOpensTheDesktopsPlayerOnShiftOrItsMenu) {
    PlayWindow f(Film());
    auto* play = f.w.ItemAs<CControlButton>(kPlayButton);
    const QPoint middle(play->width() / 2, play->height() / 2);
    QTest::mouseClick(play, Qt::LeftButton, {}, middle);
    EXPECT_TRUE(f.player.playing());
    EXPECT_TRUE(f.Until([&] { return f.Position() >= 300; }));
    QTest::mouseClick(play, Qt::LeftButton, {}, middle);
    EXPECT_FALSE(f.player.playing());
    EXPECT_TRUE(f.opened.isEmpty());
    // Shift+click: the desktop's player, and playback here stops.
    QTest::mouseClick(play, Qt::LeftButton, {}, middle);
    QTest::mouseClick(play, Qt::LeftButton, Qt::ShiftModifier, middle);
    EXPECT_FALSE(f.player.playing());
    EXPECT_EQ(f.opened, QStringList{f.file});
    QAction* outside = play->findChild<QAction*>("openInPlayer");
    ASSERT_NE(outside, nullptr);
    EXPECT_EQ(outside->text().toStdString(), f.w.languageTable().ReadFromFile("PLAYER", "wbbf"));
    outside->trigger();
    EXPECT_EQ(f.opened.size(), 2);
}

TEST(PlayerWindow, ASoundTrackIsChosenInTheBoxWhenThereAreSeveral) {
    PlayWindow single(Film());
    EXPECT_FALSE(single.w.Item(kSoundTrackBox)->isVisibleTo(&single.w));
    PlayWindow f(QString::fromStdString(FilmWithTracksFixture()));
    auto* tracks = f.w.ItemAs<QComboBox>(kSoundTrackBox);
    EXPECT_TRUE(tracks->isVisibleTo(&f.w));
    ASSERT_EQ(tracks->count(), 2);
    EXPECT_EQ(tracks->itemText(0), "1 eng") << "the default track first";
    EXPECT_EQ(tracks->itemText(1), "2 deu");
    EXPECT_TRUE(tracks->itemData(1, Qt::ToolTipRole).toString().startsWith("German"));
    f.Key(Qt::Key_Space);
    ASSERT_TRUE(f.Until([&] { return f.Position() >= 300; }));
    tracks->setCurrentIndex(1);
    emit tracks->activated(1);
    EXPECT_EQ(f.player.soundTrack(), 1);
    const int at = f.Position();
    EXPECT_TRUE(f.Until([&] { return f.player.playing() && f.Position() > at + 200; })) << "playback goes on";
    f.Key(Qt::Key_K);
}

TEST(PlayerWindow, AFileThatCannotBePlayedSaysSoAndNothingWaits) {
    Harness h;
    const std::string copy = h.dir / "gone.mp4";
    std::filesystem::copy_file(Film().toStdString(), copy);
    h.Add({QString::fromStdString(copy)});
    ASSERT_EQ(h.window->cutTab()->cutSourcePath().toStdString(), copy);
    // The file changed on disk after it was loaded: it is no video any more.
    WriteFileBytes(copy, std::string(100'000, '\x07'));
    QTest::keyClick(h.window.get(), Qt::Key_Space);
    EXPECT_FALSE(h.window->cutPreview()->previewPlayer()->playing());
    ASSERT_EQ(h.messages.shown.size(), 1);
    const QString expected =
        QString::fromStdString(h.window->languageTable().ReadFromFile("PLAYER", "bnbf")).arg("gone.mp4");
    EXPECT_TRUE(h.messages.shown[0].startsWith(expected)) << h.messages.shown[0].toStdString();
}

TEST(PlayerWindow, EveryLanguageNamesThePlayersControls) {
    Harness h;
    CUlvaneAVConverterDlg& w = *h.window;
    for (int language = 0; language < 6; ++language) {
        w.SelectLanguage(language);
        SCOPED_TRACE(w.languageTable().activeFile());
        const auto text = [&](const char* key) { return w.languageTable().ReadFromFile("PLAYER", key); };
        for (const char* key : {"jy", "yl", "yg", "xh", "xhts", "bfpd", "bfxr", "bfxt", "wbbf", "bnbf", "sdl", "wsb"})
            EXPECT_FALSE(text(key).empty()) << key;
        EXPECT_EQ(w.ItemAs<QCheckBox>(kLoopCheck)->text().toStdString(), text("xh"));
        EXPECT_EQ(w.Item(kPlayButton)->findChild<QAction*>("playSegment")->text().toStdString(), text("bfpd"));
        EXPECT_EQ(w.Item(kVolumeSlider)->toolTip().toStdString(), text("yl"));
    }
}
