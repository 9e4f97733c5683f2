// The window's queue: a job started while another runs waits its turn and makes its own file;
// the jobs left when the window closes are kept, offered at the next start, and run whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include "core/job_queue.h"
#include "core/job_words.h"
#include "tests/support/eventually.h"
#include "tests/ui/job_choice.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/progress_dialog.h"
#include "ui/queue_panel.h"
#include "ui/queue_runner.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

std::vector<std::string> PartFiles(const TempDir& dir) {
    std::vector<std::string> parts;
    for (const std::string& f : FilesIn(dir.path()))
        if (f.ends_with(".part")) parts.push_back(f);
    return parts;
}

}  // namespace

TEST(Queue, AJobStartedWhileAnotherRunsIsQueuedAndMakesItsOwnFile) {
    Harness h;
    TempDir out;
    LoadLongReEncodingCut(h, out);  // 30 s, key frames every 10 s
    const std::string source = h.window->cutTab()->cutSourcePath().toStdString();
    QueueRunner& queue = *h.window->launcher()->queueRunner();
    bool queuedAtOnce = false, made = false, windowMoved = false, stopOpen = false;
    QTimer::singleShot(300, [&] {
        // While the window's re-encoding runs, the window is in use: a direct cut of 10 s to
        // 14 s is started, and runs beside it.
        h.window->ItemAs<QLineEdit>(main_id::kStartBox)->setText("00:00:10.000");
        h.window->ItemAs<QLineEdit>(main_id::kEndBox)->setText("00:00:14.000");
        Choice c;
        c.folder = QString::fromStdString(out.path().string());
        c.name = "second";
        h.settings = Fill(c);
        h.window->cutTab()->LaunchCut();
        queuedAtOnce = h.window->launcher()->jobRunning() && queue.queue().entries().size() == 2;
        made = Eventually([&] { return queue.queue().entries().back().state == QueueState::kDone; }, 120000);
        // The window's own row follows its progress dialog.
        windowMoved = Eventually([&] { return queue.queue().entries().front().percent > 0; }, 60000);
        // It stops, and goes, from the panel as any job does.
        QueuePanel* panel = h.window->launcher()->queuePanel();
        panel->view()->selectRow(0);
        stopOpen = panel->button(QueuePanel::kStop)->isEnabled();
        panel->button(QueuePanel::kRemove)->click();
    });
    h.window->cutTab()->LaunchCut();
    ASSERT_TRUE(queuedAtOnce);
    ASSERT_TRUE(made) << queue.queue().entries().back().reason;
    EXPECT_TRUE(windowMoved) << "the window's job read 0% while it ran";
    EXPECT_TRUE(stopOpen);
    EXPECT_FALSE(h.window->launcher()->jobRunning());
    const auto& entries = queue.queue().entries();
    ASSERT_EQ(entries.size(), 1u) << "the window's row went once its job had stopped";
    EXPECT_EQ(entries[0].output, out / "second.mp4");
    // Its own four seconds, from the key frame at 10 s.
    EXPECT_EQ(Problems(Inspect(out / "second.mp4"), true, false, 4.0, 0.1), "");
    EXPECT_GT(PsnrAt(out / "second.mp4", 1.0, source, 11.0), 35);
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"second.mp4"}) << "the stopped job left nothing";
    // The panel lists it in the window's language, and opens what was made.
    QueuePanel* panel = h.window->launcher()->queuePanel();
    EXPECT_TRUE(panel->isVisible());
    const auto cell = [&](int row, int column) { return panel->model()->index(row, column).data().toString(); };
    const auto text = [&](const char* key) {
        return QString::fromStdString(h.window->languageTable().ReadFromFile("QUEUE", key));
    };
    EXPECT_EQ(cell(0, QueueModel::kState), text("wc"));
    EXPECT_EQ(cell(0, QueueModel::kOutput), "second.mp4");
    EXPECT_TRUE(cell(0, QueueModel::kWhat).contains("j_long.mp4")) << cell(0, QueueModel::kWhat).toStdString();
    panel->view()->selectRow(0);
    panel->button(QueuePanel::kOpen)->click();
    EXPECT_EQ(h.opened, QStringList{QString::fromStdString(out / "second.mp4")});
    // Every language names the panel's parts, and the list follows a switch.
    for (int language = 5; language >= 0; --language) {
        h.window->SelectLanguage(language);
        for (std::string_view key : QueuePanel::TextKeys())
            EXPECT_FALSE(h.window->languageTable().ReadFromFile("QUEUE", key).empty())
                << h.window->languageTable().activeFile() << " " << key;
        EXPECT_EQ(cell(0, QueueModel::kState), text("wc"));
        EXPECT_EQ(panel->windowTitle(), text("bt"));
    }
}

TEST(Queue, JobsLeftAtCloseAreOfferedAtTheNextStartAndRunWhole) {
    TempDir out;
    const std::string source = AvFixture();  // 6 s
    std::string kept;
    {
        Harness h;
        QueueRunner& queue = *h.window->launcher()->queueRunner();
        queue.SetAtOnce(1);
        for (const char* name : {"first", "second", "third"}) {
            QueueEntry e;
            e.words = {"cut",        source,      "--start",  "0",      "--end", "6",
                       "--reencode", "--out-dir", out.path(), "--name", name};
            e.what = name;
            e.direct = false;
            queue.Add(e);
        }
        // One runs; the third is moved before the second.
        ASSERT_EQ(queue.queue().running(), 1);
        QueuePanel* panel = h.window->launcher()->queuePanel();
        panel->view()->selectRow(2);
        panel->button(QueuePanel::kUp)->click();
        // Another window closed meanwhile, keeping a job of its own.
        WriteFileBytes(h.dir / "queue.txt", "# other\n" + ShellLine({"cut", source, "--start", "0", "--end", "6",
                                                                     "--out-dir", out.path(), "--name", "other"}));
        // Closing asks, stops the running job (its unfinished file goes) and keeps the rest.
        h.messages.answer = true;
        h.window->close();
        ASSERT_EQ(h.messages.asked.size(), 1);
        EXPECT_EQ(h.messages.asked[0].toStdString(), h.window->languageTable().ReadFromFile("QUEUE", "gb"));
        EXPECT_EQ(PartFiles(out), std::vector<std::string>{});
        kept = ReadFileBytes(h.dir / "queue.txt");
    }
    const std::vector<QueueEntry> saved = JobQueue::ReadSaved(kept);
    std::vector<std::string> order;
    for (const QueueEntry& e : saved) order.push_back(e.what);
    // The other window's job stays; the stopped one waits again, first of this window's;
    // whatever it had begun is made anew.
    EXPECT_EQ(order, (std::vector<std::string>{"other", "first", "third", "second"})) << kept;
    {
        // A window closing with nothing queued leaves what others kept.
        Harness idle;
        WriteFileBytes(idle.dir / "queue.txt", kept);
        idle.window->close();
        EXPECT_EQ(ReadFileBytes(idle.dir / "queue.txt"), kept);
    }
    {
        // A pipe at its path is no kept queue: nothing waits for a writer, nothing is offered.
        Harness piped;
        ASSERT_EQ(::mkfifo((piped.dir / "queue.txt").c_str(), 0600), 0);
        piped.window->launcher()->OfferKeptJobs();
        EXPECT_TRUE(piped.messages.asked.empty());
        EXPECT_TRUE(fs::exists(piped.dir / "queue.txt"));
    }

    Harness next;
    WriteFileBytes(next.dir / "queue.txt", kept);
    next.messages.answer = true;
    next.window->launcher()->OfferKeptJobs();
    ASSERT_EQ(next.messages.asked.size(), 1);
    EXPECT_TRUE(next.messages.asked[0].contains("4"));
    EXPECT_FALSE(fs::exists(next.dir / "queue.txt")) << "offered once";
    QueueRunner& queue = *next.window->launcher()->queueRunner();
    ASSERT_TRUE(Eventually(
        [&] {
            const auto& e = queue.queue().entries();
            return e.size() == 4 && std::all_of(e.begin(), e.end(), [](const QueueEntry& x) {
                       return x.state == QueueState::kDone || x.state == QueueState::kFailed;
                   });
        },
        180000));
    for (const char* name : {"first", "other", "second", "third"}) {
        const std::string file = out / (std::string(name) + ".mp4");
        EXPECT_EQ(Problems(Inspect(file), true, true, 6.0, 0.15), "") << file;
    }
    EXPECT_EQ(FilesIn(out.path()), (std::vector<std::string>{"first.mp4", "other.mp4", "second.mp4", "third.mp4"}));
}

// Closing while the window's job runs and another waits: one question; on Yes the running job
// stops, both are kept for the next start, nothing starts, and the window closes.
TEST(Queue, ClosingDuringTheWindowsJobAsksOnceAndKeepsItAndTheWaitingOnes) {
    Harness h;
    TempDir out;
    LoadLongReEncodingCut(h, out);
    h.window->launcher()->queueRunner()->SetAtOnce(1);
    const auto text = [&](const char* key) { return h.window->languageTable().ReadFromFile("QUEUE", key); };
    bool usableDuringJob = false;
    // The close box during the job: first answered No (the job goes on), then Yes.
    QTimer::singleShot(300, [&] {
        usableDuringJob = h.window->launcher()->jobRunning() && h.window->Item(main_id::kConvertButton)->isEnabled();
        Choice waiting;
        waiting.exact = true;
        waiting.folder = QString::fromStdString(out.path().string());
        waiting.name = "waiting";
        h.settings = Fill(waiting);
        h.window->cutTab()->LaunchCut();
        h.messages.answer = false;
        h.window->close();
        EXPECT_TRUE(h.window->isVisible());
        EXPECT_TRUE(h.window->launcher()->progressDialog()->isVisible());
        h.messages.answer = true;
        h.window->close();
    });
    h.window->cutTab()->LaunchCut();
    EXPECT_TRUE(usableDuringJob);
    ASSERT_EQ(h.messages.asked.size(), 2) << "one question each time";
    EXPECT_EQ(h.messages.asked[1].toStdString(), text("gbrw"));
    EXPECT_FALSE(h.window->launcher()->progressDialog()->isVisible());
    // The close follows once the job has stopped; a stopped job leaves no file behind, and the
    // waiting one never started.
    QCoreApplication::processEvents();
    EXPECT_FALSE(h.window->isVisible());
    EXPECT_EQ(h.window->launcher()->job(), nullptr);
    EXPECT_TRUE(FilesIn(out.path()).empty());
    // Both wait in the kept queue, the stopped one first, as the commands that make them, each
    // named with its method and its file.
    const std::vector<QueueEntry> kept = JobQueue::ReadSaved(ReadFileBytes(h.dir / "queue.txt"));
    ASSERT_EQ(kept.size(), 2u);
    for (const QueueEntry& e : kept) EXPECT_EQ(e.words[0], "cut");
    EXPECT_FALSE(kept[0].direct) << "the window's re-encoding";
    EXPECT_TRUE(kept[0].what.ends_with("(" + text("cb") + ") \u2192 out.mp4")) << kept[0].what;
    EXPECT_NE(std::find(kept[1].words.begin(), kept[1].words.end(), "--exact"), kept[1].words.end());
    EXPECT_TRUE(kept[1].what.ends_with("(" + text("jq") + ") \u2192 waiting.mp4")) << kept[1].what;
}

// The panel goes beside the window where it covers nothing: where the whole panel has room,
// else shrunk, else small in the screen's bottom left corner, away from the window's buttons.
TEST(Queue, ThePanelOpensBesideTheWindowWhereItCoversNothing) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize wanted(868, 352), smallest(500, 200);
    const struct {
        const char* what;
        QRect window, place;
    } cases[] = {
        {"room below", {100, 100, 700, 600}, {100, 708, 868, 352}},
        {"room on the right only", {100, 400, 700, 650}, {808, 400, 868, 352}},
        {"room on the left only", {1100, 100, 800, 900}, {224, 100, 868, 352}},
        {"the whole panel on the right rather than shrunk below", {0, 0, 800, 820}, {808, 0, 868, 352}},
        {"shrunk above", {0, 300, 1900, 780}, {0, 0, 868, 292}},
        {"no room: small, bottom left", {0, 0, 1920, 1080}, {0, 880, 500, 200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PlaceBeside(c.window, wanted, smallest, screen), c.place);
    }
    // The window's own: shown by its button, the panel leaves the join button uncovered.
    Harness h;
    h.window->SelectTab(1);
    h.window->ItemAs<QAbstractButton>(main_id::kQueueButton)->click();
    QueuePanel* panel = h.window->launcher()->queuePanel();
    ASSERT_TRUE(panel->isVisible());
    QWidget* join = h.window->Item(main_id::kMergeButton);
    const QRect button(join->mapToGlobal(QPoint(0, 0)), join->size());
    EXPECT_FALSE(panel->frameGeometry().intersects(button))
        << panel->frameGeometry().x() << "," << panel->frameGeometry().y() << " " << button.x() << "," << button.y();
}

TEST(Queue, ApplyToAllCutsEveryTickedFileAsTheCutTabMarksIt) {
    Harness h;
    TempDir out;
    const QString first = QString::fromStdString(AvFixture()), second = QString::fromStdString(AvFixture30fps());
    // Marked on the cut tab: 1 s to 3 s.
    h.Add({first});
    h.window->ItemAs<QLineEdit>(main_id::kStartBox)->setText("00:00:01.000");
    h.window->ItemAs<QLineEdit>(main_id::kEndBox)->setText("00:00:03.000");
    h.window->SelectTab(1);
    h.Add({first, second});
    Choice c;
    c.direct = false;
    c.rows = {1, -2, -2, -2, -2, -2};  // H.264 in MP4, each file's own size and rate
    c.folder = QString::fromStdString(out.path().string());
    h.settings = Fill(c);
    h.window->ItemAs<QPushButton>(main_id::kApplyToAllButton)->click();
    QueueRunner& queue = *h.window->launcher()->queueRunner();
    ASSERT_EQ(queue.queue().entries().size(), 2u);
    ASSERT_TRUE(Eventually(
        [&] {
            const auto& e = queue.queue().entries();
            return std::none_of(e.begin(), e.end(), [](const QueueEntry& x) {
                return x.state == QueueState::kWaiting || x.state == QueueState::kRunning;
            });
        },
        120000));
    // Each file's own two seconds, under its own name.
    const std::pair<QString, std::string> made[] = {{first, "av.mp4"}, {second, "av30.mp4"}};
    for (const auto& [source, name] : made) {
        const auto& e = queue.queue().entries()[&source == &made[0].first ? 0 : 1];
        EXPECT_EQ(e.state, QueueState::kDone) << e.reason;
        EXPECT_EQ(e.output, out / name);
        EXPECT_EQ(Problems(Inspect(out / name), true, true, 2.0, 0.1), "") << name;
        EXPECT_GT(PsnrAt(out / name, 0.5, source.toStdString(), 1.5), 30) << name;
    }
}

TEST(Queue, AJobOfSeveralFilesShowsTheFirstAndHowManyMoreAndOpensItsFolder) {
    Harness h;
    TempDir out;
    const std::string source = AvFixture();
    QueueRunner& queue = *h.window->launcher()->queueRunner();
    QueueEntry e;
    e.words = {"cut",       source, "--segment", "0-1",      "--segment", "2-3",
               "--segment", "4-5",  "--out-dir", out.path(), "--name",    "clip"};
    e.what = "segments";
    queue.Add(e);
    ASSERT_TRUE(Eventually([&] { return queue.queue().entries().back().state == QueueState::kDone; }, 60000))
        << queue.queue().entries().back().reason;
    QueuePanel* panel = h.window->launcher()->queuePanel();
    const QModelIndex output = panel->model()->index(0, QueueModel::kOutput);
    EXPECT_EQ(output.data().toString(), "clip 1.mp4 (+2)");
    const QStringList listed = output.data(Qt::ToolTipRole).toString().split('\n');
    ASSERT_EQ(listed.size(), 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(listed[k].toStdString(), out / ("clip " + std::to_string(k + 1) + ".mp4"));
        EXPECT_GT(PsnrAt(listed[k].toStdString(), 0.5, source, 2 * k + 0.5), 35) << k;
    }
    panel->view()->selectRow(0);
    panel->button(QueuePanel::kShowFolder)->click();
    EXPECT_EQ(h.opened, QStringList{QString::fromStdString(out.path().string())});
}

// A job's words reach its process byte for byte, also where they are no UTF-8 (a Latin-1 name
// or CSV label): a stand-in for ulvane-cli prints each of its arguments as a file made.
TEST(Queue, AJobGetsItsWordsAsTheyAreEvenWhereTheyAreNoUtf8) {
    TempDir dir;
    const std::string cli = dir / "echo-cli";
    WriteFileBytes(cli, "#!/bin/sh\nfor a; do printf '%s\\n' \"$a\"; done\n");
    std::filesystem::permissions(cli, std::filesystem::perms::owner_all);
    QueueRunner runner(QString::fromStdString(cli));
    QueueEntry e;
    e.words = {"cut", "/v/Caf\xe9 cr\xe8me.mp4", "--label", "\xff\xfe half \xc3", "--label", "caf\xc3\xa9"};
    runner.Add(e);
    const QueueEntry& done = runner.queue().entries().front();
    ASSERT_TRUE(Eventually([&] { return done.state == QueueState::kDone; }, 20000)) << done.reason;
    EXPECT_EQ(done.output, e.words[0]);
    EXPECT_EQ(done.alsoMade, std::vector<std::string>(e.words.begin() + 1, e.words.end()));
}

TEST(Queue, JobsWhoseProgramCannotStartFailWithTheReasonAndNothingWaitsForever) {
    QueueRunner runner("/nonexistent/ulvane-cli");
    for (const char* what : {"first", "second", "third"}) {
        QueueEntry e;
        e.words = {"cut", "/v/a.mp4", "--start", "0", "--end", "1", "--out-dir", "/v"};
        e.what = what;
        runner.Add(e);
    }
    const auto& entries = runner.queue().entries();
    ASSERT_TRUE(Eventually(
        [&] {
            return std::all_of(entries.begin(), entries.end(),
                               [](const QueueEntry& e) { return e.state == QueueState::kFailed; });
        },
        20000));
    for (const QueueEntry& e : entries)
        EXPECT_EQ(e.reason, "ulvane-cli could not be started: /nonexistent/ulvane-cli") << e.what;
}
