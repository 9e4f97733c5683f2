// The batch command: the jobs of a list, each run as a ulvane-cli cut or join of its own, up
// to --jobs at once. A job in its own process keeps the others going whatever becomes of it,
// and removes its own unfinished output when it is stopped.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/child_process.h"
#include "cli/commands.h"
#include "cli/job_list.h"
#include "cli/job_run.h"
#include "core/job_outcome.h"
#include "core/job_words.h"

namespace ulvane::cli {

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnStop(int) {
    g_stop = 1;
}

constexpr size_t kMostListBytes = 64u << 20;

// One job in its own process: its pipes are read until both are closed, then it is waited for.
struct Child {
    const ListedJob* job = nullptr;
    pid_t pid = -1;
    int out = -1, err = -1;  // the read ends of its standard output and error, -1 once closed
    std::string outText, errText;
    bool signalled = false;  // told to stop
};

std::string Joined(const std::vector<std::string>& lines, const char* separator) {
    std::string joined;
    for (const std::string& line : lines) joined += (joined.empty() ? "" : separator) + line;
    return joined;
}

// Starts `job`; false when no process could be made.
bool Start(Child& c, const std::string& self, bool skipDone) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }
    std::vector<std::string> words{self};
    words.insert(words.end(), c.job->words.begin(), c.job->words.end());
    words.emplace_back("--quiet");
    if (skipDone) words.emplace_back("--skip-done");
    // A job outlives no batch: it is stopped (and removes its unfinished output) when the
    // batch goes, however it goes.
    const pid_t pid = StartChild(std::move(words), out[1], err[1]);
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        return false;
    }
    c.pid = pid;
    c.out = out[0];
    c.err = err[0];
    return true;
}

// The result line of a child that has ended with `status`; true when it made its files.
bool Report(const Child& c, int status, bool stopping) {
    const int line = c.job->line;
    ProcessEnd end;
    end.crashed = WIFSIGNALED(status);
    end.signal = end.crashed ? WTERMSIG(status) : 0;
    end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    end.stopAsked = stopping;
    end.out = c.outText;
    end.err = c.errText;
    const JobOutcome o = ProcessOutcome(end);
    switch (o.end) {
        case JobEnd::kDone:
        case JobEnd::kSkipped:
            std::printf("%s %d: %s\n", o.end == JobEnd::kSkipped ? "skipped" : "ok", line,
                        Joined(o.made, "\t").c_str());
            break;
        case JobEnd::kStopped:
            std::printf("stopped %d\n", line);
            break;
        case JobEnd::kFailed:
            switch (o.fault) {
                case JobFault::kNotStarted:
                    std::printf("failed %d: ulvane-cli could not be started again for it\n", line);
                    break;
                case JobFault::kSignal:
                    std::printf("failed %d: ended by signal %d (%s)\n", line, o.signal, strsignal(o.signal));
                    break;
                case JobFault::kReason:
                    std::printf("failed %d: %s\n", line, o.reason.c_str());
                    break;
                default:
                    std::printf("failed %d: no reason given\n", line);
                    break;
            }
            break;
    }
    std::fflush(stdout);
    return o.succeeded();
}

// Reads what the children wrote, for up to `waitMs`; a pipe at its end is closed.
void ReadPipes(std::vector<Child>& running, int waitMs) {
    std::vector<pollfd> fds;
    std::vector<std::pair<Child*, bool>> whose;  // the child, and whether it is its standard output
    for (Child& c : running) {
        if (c.out >= 0) {
            fds.push_back({c.out, POLLIN, 0});
            whose.emplace_back(&c, true);
        }
        if (c.err >= 0) {
            fds.push_back({c.err, POLLIN, 0});
            whose.emplace_back(&c, false);
        }
    }
    if (fds.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    if (::poll(fds.data(), fds.size(), waitMs) <= 0) return;
    char buf[65536];
    for (size_t k = 0; k < fds.size(); ++k) {
        if (fds[k].revents == 0) continue;
        auto [c, isOut] = whose[k];
        int& fd = isOut ? c->out : c->err;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            // What a job says is short; a runaway one is not kept past 1 MiB.
            std::string& text = isOut ? c->outText : c->errText;
            if (text.size() < (1u << 20)) text.append(buf, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            ::close(fd);
            fd = -1;
        }
    }
}

// The list's text, of at most kMostListBytes + 1 bytes: what is longer is refused unread, be it
// a file or an endless standard input. nullopt when it cannot be read.
std::optional<std::string> ReadList(const std::string& from) {
    std::ifstream file;
    if (from != "-") {
        file.open(from, std::ios::binary);
        if (!file) return std::nullopt;
    }
    std::istream& in = from == "-" ? std::cin : file;
    std::string text;
    char buf[1 << 16];
    while (text.size() <= kMostListBytes && in.read(buf, sizeof buf).gcount() > 0)
        text.append(buf, static_cast<size_t>(in.gcount()));
    if (in.bad()) return std::nullopt;
    return text;
}

}  // namespace

int Batch(const Request& r) {
    const std::string& from = r.sources[0];
    if (from != "-" && IsFolder(from)) return UsageError("JOBS is a folder, not a list of jobs: " + from, "batch");
    if (from != "-" && !IsFile(from)) return UsageError("JOBS does not exist: " + from, "batch");
    const std::optional<std::string> text = ReadList(from);
    if (!text) return UsageError("JOBS cannot be read: " + from, "batch");
    if (text->size() > kMostListBytes)
        return UsageError(
            (from == "-" ? std::string("standard input") : from) + " is larger than 64 MiB; a list of jobs is not",
            "batch");
    std::string why;
    const std::optional<std::vector<ListedJob>> jobs = ReadJobList(*text, why);
    if (!jobs) {
        std::fprintf(stderr, "ulvane-cli: %s %s; no job was run\n", from == "-" ? "standard input" : from.c_str(),
                     why.c_str());
        return 2;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t atOnce = r.jobs > 0 ? static_cast<size_t>(r.jobs) : cores;
    struct sigaction stop {};
    stop.sa_handler = OnStop;
    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGTERM, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const std::string self = SelfPath();
    std::deque<const ListedJob*> waiting;
    for (const ListedJob& j : *jobs) waiting.push_back(&j);
    std::vector<Child> running;
    size_t made = 0, failed = 0, stopped = 0;
    while (!waiting.empty() || !running.empty()) {
        while (!g_stop && !waiting.empty() && running.size() < atOnce) {
            Child c;
            c.job = waiting.front();
            waiting.pop_front();
            if (!Start(c, self, r.skipDone)) {
                std::printf("failed %d: no process could be started for it: %s\n", c.job->line, std::strerror(errno));
                ++failed;
                continue;
            }
            running.push_back(std::move(c));
        }
        if (g_stop) {
            // Each running job stops, and removes what it began; waiting ones never start.
            for (Child& c : running)
                if (!c.signalled) {
                    ::kill(c.pid, SIGINT);
                    c.signalled = true;
                }
            for (const ListedJob* j : waiting) std::printf("stopped %d\n", j->line);
            stopped += waiting.size();
            waiting.clear();
        }
        ReadPipes(running, 100);
        for (auto it = running.begin(); it != running.end();) {
            if (it->out >= 0 || it->err >= 0) {
                ++it;
                continue;
            }
            int status = 0;
            while (::waitpid(it->pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (Report(*it, status, it->signalled))
                ++made;
            else
                ++(it->signalled ? stopped : failed);
            it = running.erase(it);
        }
    }
    if (!r.quiet)
        std::fprintf(stderr, "ulvane-cli: %zu jobs: %zu done, %zu failed, %zu stopped\n", jobs->size(), made, failed,
                     stopped);
    return failed == 0 && stopped == 0 ? 0 : 1;
}

}  // namespace ulvane::cli
