// The queue the player's and the timeline's threads share: a wait ends when the queue stops
// (or the waiter gives up), a reset after a stop serves again, and items keep their order.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/bounded_queue.h"

using namespace ulvane;

TEST(BoundedQueue, StopOrGivingUpEndsAWaitAndAResetServesAgainInOrder) {
    enum class Waits { kPushOnFull, kPopOnEmpty };
    enum class Ends { kStop, kGiveUp };
    struct Case {
        const char* name;
        Waits waits;
        Ends ends;
    };
    for (const Case& c : {Case{"push on a full queue, stopped", Waits::kPushOnFull, Ends::kStop},
                          Case{"pop on an empty queue, stopped", Waits::kPopOnEmpty, Ends::kStop},
                          Case{"push on a full queue, given up", Waits::kPushOnFull, Ends::kGiveUp},
                          Case{"pop on an empty queue, given up", Waits::kPopOnEmpty, Ends::kGiveUp}}) {
        SCOPED_TRACE(c.name);
        BoundedQueue<int> q(UpTo{2});
        if (c.waits == Waits::kPushOnFull) {
            ASSERT_TRUE(q.Push(1));
            ASSERT_TRUE(q.Push(2));
        }
        std::atomic<bool> giveUp{false};
        bool result = true;
        std::thread waiter([&] {
            const auto stale = [&] { return giveUp.load(); };
            int got = 0;
            result = c.waits == Waits::kPushOnFull ? q.Push(3, stale) : q.Pop(got, stale);
        });
        if (c.ends == Ends::kStop) {
            q.Stop();
        } else {
            giveUp = true;
            q.Wake();
        }
        waiter.join();  // a wait that did not end hangs the test here
        EXPECT_FALSE(result);
        // The item given up was not queued.
        const size_t queued = q.With([](std::deque<int>& d) { return d.size(); });
        EXPECT_EQ(queued, c.waits == Waits::kPushOnFull ? 2u : 0u);

        // After a reset (a stop's too) a producer fills it while a consumer empties it, in order.
        q.Reset();
        std::thread producer([&] {
            for (int i = 0; i < 100; ++i) ASSERT_TRUE(q.Push(i));
        });
        std::vector<int> got;
        for (int i = 0, v = 0; i < 100 && q.Pop(v); ++i) got.push_back(v);
        producer.join();
        ASSERT_EQ(got.size(), 100u);
        for (int i = 0; i < 100; ++i) EXPECT_EQ(got[static_cast<size_t>(i)], i);
    }
}
