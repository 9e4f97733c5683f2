// ulvane-cli running itself again: a job of a batch, or the batch of a re-encoding's parts.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace ulvane::cli {

// This program's own path, for running it again.
std::string SelfPath();

// Starts `argv` (argv[0] the program's path) in a child process whose standard input is empty
// and whose standard output and error go to `outFd` and `errFd` (-1 keeps ours). The child
// outlives no parent: it is sent SIGTERM when this process goes, however it goes. The child's
// id, or -1 when no process could be made.
pid_t StartChild(std::vector<std::string> argv, int outFd, int errFd);

}  // namespace ulvane::cli
