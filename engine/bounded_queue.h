// A queue between threads: a producer waits while it is full, a consumer while it is empty,
// and a stop ends every wait, so the threads on both sides can always be joined. What "full"
// means is the owner's rule over what is queued (a count by default; bytes or seconds of media
// for the player), checked under the queue's lock.
//
// A wait also ends when the waiter's own `giveUp()` holds, checked whenever the queue wakes
// its waiters (Wake): the player's threads give up a push or a pop that belongs to a seek
// already superseded by a newer one.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <limits>
#include <mutex>
#include <utility>

namespace ulvane {

// The default rule: full at `capacity` items.
struct UpTo {
    size_t capacity = std::numeric_limits<size_t>::max();
    template <typename T>
    bool operator()(const std::deque<T>& q) const {
        return q.size() >= capacity;
    }
};

// A wait that never gives up before the queue stops.
struct NeverGiveUp {
    bool operator()() const { return false; }
};

template <typename T, typename Full = UpTo>
class BoundedQueue {
public:
    explicit BoundedQueue(Full full = {}) : full_(std::move(full)) {}

    // Queues `item` once there is room. False, the item dropped, once stopped or given up.
    template <typename GiveUp = NeverGiveUp>
    bool Push(T item, GiveUp giveUp = {}) {
        return When([&](const std::deque<T>& q) { return !full_(q); },
                    [&](std::deque<T>& q) { q.push_back(std::move(item)); }, giveUp);
    }

    // Takes the first item once there is one. False once stopped or given up.
    template <typename GiveUp = NeverGiveUp>
    bool Pop(T& out, GiveUp giveUp = {}) {
        return When([](const std::deque<T>& q) { return !q.empty(); },
                    [&](std::deque<T>& q) {
                        out = std::move(q.front());
                        q.pop_front();
                    },
                    giveUp);
    }

    // Waits until `ready(q)` holds, then runs `take(q)` under the lock and wakes the other
    // side. False, without running `take`, once stopped or given up.
    template <typename Ready, typename Take, typename GiveUp = NeverGiveUp>
    bool When(Ready ready, Take take, GiveUp giveUp = {}) {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return stopped_ || giveUp() || ready(std::as_const(q_)); });
        if (stopped_ || giveUp() || !ready(std::as_const(q_))) return false;
        take(q_);
        lock.unlock();
        cv_.notify_all();
        return true;
    }

    // Runs `f(q)` under the lock without waiting, then wakes the waiters: to look at what is
    // queued, take part of it or drop some.
    template <typename F>
    auto With(F f) {
        std::unique_lock lock(m_);
        struct Waker {
            std::unique_lock<std::mutex>& lock;
            std::condition_variable& cv;
            ~Waker() {
                lock.unlock();
                cv.notify_all();
            }
        } waker{lock, cv_};
        return f(q_);
    }

    // Wakes the waiters to check their `giveUp` again.
    void Wake() {
        With([](std::deque<T>&) {});
    }

    // From now on full by `full`; what is queued stays.
    void SetFull(Full full) {
        With([&](std::deque<T>&) { full_ = std::move(full); });
    }

    // Ends every wait: Push and Pop return false until Reset.
    void Stop() {
        With([this](std::deque<T>&) { stopped_ = true; });
    }

    // Empties the queue and clears a stop; with a rule, full by it from now on.
    void Reset() {
        With([this](std::deque<T>& q) {
            q.clear();
            stopped_ = false;
        });
    }
    void Reset(Full full) {
        With([&](std::deque<T>& q) {
            q.clear();
            full_ = std::move(full);
            stopped_ = false;
        });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<T> q_;
    Full full_;
    bool stopped_ = false;
};

}  // namespace ulvane
