// ulvane-cli running itself again.
#include "cli/child_process.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

namespace ulvane::cli {

std::string SelfPath() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return "ulvane-cli";
    path.resize(static_cast<size_t>(n));
    return path;
}

pid_t StartChild(std::vector<std::string> argv, int outFd, int errFd) {
    std::vector<char*> words;
    for (std::string& w : argv) words.push_back(w.data());
    words.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Stopped (and so removing its unfinished output) when the parent goes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);
        const int none = ::open("/dev/null", O_RDONLY);
        if (none >= 0) ::dup2(none, STDIN_FILENO);
        if (outFd >= 0) ::dup2(outFd, STDOUT_FILENO);
        if (errFd >= 0) ::dup2(errFd, STDERR_FILENO);
        ::execv(words[0], words.data());
        ::_exit(127);
    }
    return pid;
}

}  // namespace ulvane::cli
