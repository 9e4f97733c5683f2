// Parsing of ulvane-cli's arguments into a request; no file-system access here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/output_presets.h"

namespace ulvane::cli {

enum class Command { Help, Version, Cut, Join, Probe, Grab };

struct Request {
    Command command = Command::Help;
    std::vector<std::string> sources;  // cut, probe, grab: one; join: two or more
    std::string startText, endText;    // cut
    std::string outDir;
    double atSeconds = 0;  // grab
    std::string outPath;   // grab
    std::optional<std::string> name;
    bool reencode = false;
    bool exact = false;  // cut: a direct cut that starts on the very picture at --start
    bool quiet = false;  // no progress on standard error
    RowChoice rows;      // cut and join: the shipped setting.ini's rows, changed by ROW flags
    // Help: the command whose usage is asked for; Help itself for every command's.
    Command helpFor = Command::Help;
};

// Returns the request, or nullopt with `error` naming the bad argument.
std::optional<Request> ParseArguments(const std::vector<std::string>& args, std::string& error);

// The usage of one command, or of every command for Command::Help.
std::string UsageText(Command command = Command::Help);

// Where a usage error's reader finds the usage: "see 'ulvane-cli help cut'" for the word of
// a command, else the pointer to --help.
std::string UsageHint(const std::string& word);

}  // namespace ulvane::cli
