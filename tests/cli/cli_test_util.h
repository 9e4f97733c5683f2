// Running ulvane-cli from the tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/media_tools.h"

namespace ulvane::test {

inline CommandResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), CliPath());
    return Run(args);
}

// The last line of standard output: the output file's path.
inline std::string LastLine(const std::string& out) {
    std::string s = out;
    while (!s.empty() && s.back() == '\n') s.pop_back();
    const size_t nl = s.rfind('\n');
    return nl == std::string::npos ? s : s.substr(nl + 1);
}

// The key=value lines of `ulvane-cli probe`.
std::map<std::string, std::string> ProbeValues(const std::string& out);

// Waits up to `seconds` for `ready` to hold; false when the time ran out.
template <typename Predicate>
bool WaitUntil(Predicate ready, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// ulvane-cli running in the background, for tests that signal it, time it or act while it
// runs. Its standard error and output go to files; a child still running at the end is killed.
class BackgroundCli {
public:
    BackgroundCli(const std::vector<std::string>& args, std::string errFile, std::string outFile = "/dev/null",
                  const std::string& cwd = "");
    ~BackgroundCli();
    BackgroundCli(const BackgroundCli&) = delete;
    BackgroundCli& operator=(const BackgroundCli&) = delete;

    // The exit status when the child ends within `seconds`; nullopt while it still runs.
    std::optional<int> WaitFor(double seconds);
    // Waits for the end; the exit status and both outputs.
    CommandResult Wait();
    bool Running();
    void Signal(int sig);
    std::string Err() const;
    std::chrono::steady_clock::time_point began() const { return began_; }

private:
    pid_t pid_ = -1;
    std::string errFile_, outFile_;
    std::optional<int> status_;
    std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
};

}  // namespace ulvane::test
