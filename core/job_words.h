// A job as the words of a ulvane-cli cut or join command: what a queue keeps of a waiting
// job, what a batch list holds a line of, and how the window hands a job to ulvane-cli.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/launch.h"

namespace ulvane {

// The words of one line as a POSIX shell splits them: blanks separate words; '…' keeps
// everything as it is; "…" keeps everything but \" \\ \$ and \` (the backslash goes); $'…'
// turns \n, \r, \t, \\, \' and \" into what they name (bash's quotes, also in POSIX.1-2024);
// outside quotes a backslash keeps the character after it; '#' at the start of a word starts a
// comment. nullopt with `error` for an unclosed quote.
std::optional<std::vector<std::string>> SplitWords(const std::string& line, std::string& error);

// One line that SplitWords reads back as `words`: a word with anything a shell would read
// apart is quoted, one holding a line break as $'…' (which bash reads too), so that the line
// stays one line.
std::string ShellLine(const std::vector<std::string>& words);

// The words of the command that makes what the launch makes, from "cut" or "join" on, with
// the turn (clockwise degrees, 0 none). The output's name is given, so a command run after
// another made that name makes a "(n)" one, as the window would.
std::vector<std::string> CutJobWords(const CutLaunch& cut, int rotate);
std::vector<std::string> SegmentsJobWords(const SegmentsLaunch& launch, int rotate);
std::vector<std::string> JoinJobWords(const JoinLaunch& join, int rotate);

// Why a ulvane-cli job failed, from what it wrote to standard error: its error lines joined
// by "; ", less notes, progress and input lines, less the program's name before them and the
// pointer to the usage after them. Empty when it said nothing else.
std::string FailureReason(const std::string& err);

}  // namespace ulvane
