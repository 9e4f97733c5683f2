// Helpers of the command-line tests.
#include "tests/cli/cli_test_util.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <sstream>

namespace ulvane::test {

std::map<std::string, std::string> ProbeValues(const std::string& out) {
    std::map<std::string, std::string> v;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (size_t eq = line.find('='); eq != std::string::npos) v[line.substr(0, eq)] = line.substr(eq + 1);
    return v;
}

BackgroundCli::BackgroundCli(const std::vector<std::string>& args, std::string errFile, std::string outFile,
                             const std::string& cwd)
    : errFile_(std::move(errFile)), outFile_(std::move(outFile)) {
    pid_ = fork();
    if (pid_ != 0) return;
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    const int err = open(errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int out = open(outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(err, 2);
    dup2(out, 1);
    std::vector<std::string> all = args;
    all.insert(all.begin(), CliPath());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

BackgroundCli::~BackgroundCli() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::optional<int> BackgroundCli::WaitFor(double seconds) {
    WaitUntil([&] { return !Running(); }, seconds);
    return status_;
}

CommandResult BackgroundCli::Wait() {
    if (!status_) {
        int st = 0;
        waitpid(pid_, &st, 0);
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
    return {*status_, outFile_ == "/dev/null" ? std::string() : ReadFileBytes(outFile_), Err()};
}

bool BackgroundCli::Running() {
    if (status_ || pid_ <= 0) return false;
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) != pid_) return true;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return false;
}

void BackgroundCli::Signal(int sig) {
    if (Running()) kill(pid_, sig);
}

std::string BackgroundCli::Err() const {
    return ReadFileBytes(errFile_);
}

}  // namespace ulvane::test
