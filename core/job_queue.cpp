// The queue's order, states and saved text.
#include "core/job_queue.h"

#include <algorithm>
#include <sstream>

#include "core/job_words.h"

namespace ulvane {

int JobQueue::Add(QueueEntry e) {
    e.id = nextId_++;
    entries_.push_back(std::move(e));
    return entries_.back().id;
}

QueueEntry* JobQueue::Find(int id) {
    const int row = RowOf(id);
    return row < 0 ? nullptr : &entries_[static_cast<size_t>(row)];
}

int JobQueue::RowOf(int id) const {
    for (size_t k = 0; k < entries_.size(); ++k)
        if (entries_[k].id == id) return static_cast<int>(k);
    return -1;
}

bool JobQueue::Remove(int id) {
    const int row = RowOf(id);
    if (row < 0 || entries_[static_cast<size_t>(row)].state == QueueState::kRunning) return false;
    entries_.erase(entries_.begin() + row);
    return true;
}

bool JobQueue::Move(int id, int by) {
    const int row = RowOf(id);
    const int to = row + (by < 0 ? -1 : 1);
    if (row < 0 || to < 0 || to >= static_cast<int>(entries_.size())) return false;
    std::swap(entries_[static_cast<size_t>(row)], entries_[static_cast<size_t>(to)]);
    return true;
}

int JobQueue::running() const {
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                          [](const QueueEntry& e) { return e.state == QueueState::kRunning; }));
}

bool JobQueue::busy() const {
    return std::any_of(entries_.begin(), entries_.end(), [](const QueueEntry& e) {
        return e.state == QueueState::kRunning || e.state == QueueState::kWaiting;
    });
}

std::vector<int> JobQueue::Startable(int atOnce) const {
    int runs = 0;
    bool encoding = false;
    for (const QueueEntry& e : entries_)
        if (e.state == QueueState::kRunning) {
            ++runs;
            encoding = encoding || !e.direct;
        }
    std::vector<int> start;
    for (const QueueEntry& e : entries_) {
        if (runs >= std::max(atOnce, 1)) break;
        if (e.state != QueueState::kWaiting || e.inWindow || (!e.direct && encoding)) continue;
        start.push_back(e.id);
        ++runs;
        encoding = encoding || !e.direct;
    }
    return start;
}

std::string JobQueue::SaveText() const {
    std::string text;
    for (const QueueEntry& e : entries_) {
        if (e.state != QueueState::kWaiting || e.inWindow || e.words.empty()) continue;
        std::string what = e.what;
        std::replace(what.begin(), what.end(), '\n', ' ');
        text += "# " + what + "\n" + ShellLine(e.words) + "\n";
    }
    return text;
}

std::vector<QueueEntry> JobQueue::ReadSaved(const std::string& text) {
    std::vector<QueueEntry> entries;
    std::istringstream in(text);
    std::string what;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("# ", 0) == 0) {
            what = line.substr(2);
            continue;
        }
        std::string error;
        const auto words = SplitWords(line, error);
        if (!words || words->empty() || ((*words)[0] != "cut" && (*words)[0] != "join")) continue;
        QueueEntry e;
        e.words = *words;
        e.what = what.empty() ? line : what;
        e.direct = std::find(words->begin(), words->end(), "--reencode") == words->end();
        entries.push_back(std::move(e));
        what.clear();
    }
    return entries;
}

}  // namespace ulvane
