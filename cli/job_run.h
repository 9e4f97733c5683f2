// What the commands that run a job share: usage errors, files and folders, the job's run
// with its progress and outcome, and what a file is for a join.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/launch.h"

namespace ulvane::cli {

// A usage error: what is wrong in one line, and where the usage of `command` is; returns
// exit status 2.
int UsageError(const std::string& what, const std::string& command = "");
bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);
// A source given as a URL ("http://host/a.ts") is left to the engine to open.
bool IsUrl(const std::string& path);

// Runs the job on a worker thread, reports progress on stderr, forwards Ctrl+C as a cancel,
// prints each file made on stdout, and turns the statuses into the exit status.
int RunJob(ConversionJob& job, bool quiet);

// --skip-done: when every file `intended` would make (filled as if only its sources existed) is there
// already, a note says so, each is named as a made one is, and the exit status 0 is returned;
// nullopt: run the job. Outputs appear only complete, so a file there is a finished one.
std::optional<int> SkipWhenMade(const ConversionJob& intended);
// The file-system test of a job's first run in a folder without outputs: only `sources` exist,
// so an output never takes a source's own name.
ExistsTest OnlySources(std::vector<std::string> sources);

// A typed time in milliseconds, or nullopt with a usage error of `command` printed.
std::optional<int32_t> ReadTime(const std::string& flag, const std::string& text, const std::string& command);

// A --start at or past the end of SOURCE is a usage error, printed and its status returned;
// an --end past it cuts to its end, with a note that gives the length. The end is where the
// pictures and sound really end, and a file cut short is named so. nullopt: go on.
std::optional<int> CheckCutAgainstTheFile(const std::string& source, int32_t startMs, int32_t endMs,
                                          const std::string& endText);

// A usage error for a name too long for the output folder's file names.
int NameTooLong(const std::string& what, const std::string& folder, const std::string& command);

// What a join needs of each file (a file cut short is named so in a note); a file that
// cannot be probed is left to the job.
JoinFile DescribeJoinFile(const std::string& path, const std::string& tracks = "");
const char* JoinParameterName(JoinParameter p);

}  // namespace ulvane::cli
