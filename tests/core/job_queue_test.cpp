// Which queued jobs start: at most so many at once, one re-encoding at a time, and a direct
// job may pass a re-encoding that waits for its turn.
#include "core/job_queue.h"

#include <gtest/gtest.h>

using namespace ulvane;

TEST(JobQueue, StartsWhatTheCoresAllowInListOrder) {
    struct Case {
        const char* jobs;  // a job a letter: d direct, r re-encoding; upper case runs; w the window's own re-encoding
        int atOnce;
        std::vector<int> started;  // their places in the list, from 0
    };
    const Case cases[] = {
        {"rrr", 2, {0}},     // one re-encoding at a time
        {"rdd", 2, {0, 1}},  // direct ones beside it
        {"Rrd", 2, {2}},     // a direct job passes a waiting re-encoding
        {"Rdd", 1, {}},      // but not past the number at once
        {"wrd", 2, {2}},     // the window's own job counts, and is never started here
        {"DDr", 2, {}},      // two direct ones run: nothing more
        {"Ddr", 3, {1, 2}},  //
        {"ddd", 0, {0}},     // at least one
    };
    for (const Case& c : cases) {
        JobQueue q;
        std::vector<int> ids;
        for (const char* k = c.jobs; *k; ++k) {
            QueueEntry e;
            e.direct = std::tolower(*k) == 'd';
            e.inWindow = *k == 'w';
            e.state = std::isupper(*k) || *k == 'w' ? QueueState::kRunning : QueueState::kWaiting;
            ids.push_back(q.Add(e));
        }
        std::vector<int> started;
        for (int id : q.Startable(c.atOnce)) started.push_back(q.RowOf(id));
        EXPECT_EQ(started, c.started) << c.jobs << " " << c.atOnce;
    }
}

TEST(JobQueue, WaitingJobsAreKeptAsCommandsInTheirOrder) {
    JobQueue q;
    const auto add = [&](std::vector<std::string> words, const char* what, QueueState state) {
        QueueEntry e;
        e.words = std::move(words);
        e.what = what;
        e.state = state;
        return q.Add(e);
    };
    add({"cut", "/v/a b.mp4", "--start", "1", "--end", "2", "--out-dir", "/o"}, "first", QueueState::kWaiting);
    add({"cut", "/v/done.mp4", "--start", "1", "--end", "2", "--out-dir", "/o"}, "made", QueueState::kDone);
    const int last = add({"join", "--out-dir", "/o", "--name", "j", "--reencode", "/v/x\ny.mp4", "/v/z.mp4"},
                         "name with a line break", QueueState::kWaiting);
    const int third = add({"join", "--out-dir", "/o", "--name", "it's", "--reencode", "/v/1.mp4", "/v/2.mp4"},
                          "third\nline", QueueState::kWaiting);
    ASSERT_TRUE(q.Move(third, -1));
    EXPECT_FALSE(q.Move(q.entries().front().id, -1));
    EXPECT_FALSE(q.Remove(last + 100));
    const std::vector<QueueEntry> kept = JobQueue::ReadSaved(q.SaveText() + "not a job\n\n");
    ASSERT_EQ(kept.size(), 3u) << q.SaveText();
    EXPECT_EQ(kept[0].words, q.entries()[0].words);
    EXPECT_EQ(kept[0].what, "first");
    EXPECT_TRUE(kept[0].direct);
    EXPECT_EQ(kept[1].words, q.entries()[2].words);
    EXPECT_EQ(kept[1].what, "third line");
    EXPECT_FALSE(kept[1].direct);
    EXPECT_EQ(kept[2].words, q.entries()[3].words);
    EXPECT_EQ(kept[2].what, "name with a line break");
}
