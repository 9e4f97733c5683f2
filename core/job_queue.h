// The window's queue of jobs: their order, their states, which may start, and the waiting
// ones kept as the ulvane-cli commands that run them. Plain logic: the window's thread owns it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ulvane {

enum class QueueState { kWaiting, kRunning, kDone, kFailed, kStopped };

struct QueueEntry {
    int id = 0;                      // given by the queue, never used again
    std::vector<std::string> words;  // the command that runs it, "cut" or "join" first
    std::string what;                // what the list shows of it: files, times, method
    bool direct = true;              // packets copied: it may run beside a re-encoding
    bool inWindow = false;           // the window's own job, followed by the progress dialog
    QueueState state = QueueState::kWaiting;
    int percent = 0;
    int64_t startedMs = 0;              // on the steady clock, for the time left
    std::string output;                 // done: the file made (the first of several)
    std::vector<std::string> alsoMade;  // done: the other files made (separate segments)
    std::string reason;                 // failed: why
};

class JobQueue {
public:
    // Adds `e` at the end, waiting unless it says otherwise; returns its id.
    int Add(QueueEntry e);
    const std::vector<QueueEntry>& entries() const { return entries_; }
    // The entry with `id`, or null; its row, or -1.
    QueueEntry* Find(int id);
    int RowOf(int id) const;
    // A running entry stays; false then, and for an id not there.
    bool Remove(int id);
    // Swaps an entry with its neighbour (`by` -1 up, +1 down); false at either end.
    bool Move(int id, int by);
    // The waiting entries that may start now, in list order: at most `atOnce` run in all, and
    // of those at most one re-encodes (it takes every core); a direct job may pass a waiting
    // re-encoding. The window's own job counts as running while it runs; it is never started here.
    std::vector<int> Startable(int atOnce) const;
    int running() const;
    bool busy() const;  // an entry waits or runs

    // The waiting entries, each as a comment with its description and a command line, which
    // `ulvane-cli batch` also runs.
    std::string SaveText() const;
    // The entries of a saved text, waiting; lines that are no command are left out.
    static std::vector<QueueEntry> ReadSaved(const std::string& text);

private:
    std::vector<QueueEntry> entries_;
    int nextId_ = 1;
};

}  // namespace ulvane
