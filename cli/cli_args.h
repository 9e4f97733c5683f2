// Parsing of ulvane-cli's arguments into a request; no file-system access here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/output_presets.h"

namespace ulvane::cli {

enum class Command { Help, Cut, Join, Probe, Grab };

struct Request {
    Command command = Command::Help;
    std::vector<std::string> sources;  // cut, probe, grab: one; join: two or more
    std::string startText, endText;    // cut
    std::string outDir;
    double atSeconds = 0;  // grab
    std::string outPath;   // grab
    std::optional<std::string> name;
    bool reencode = false;
    RowChoice rows;
};

// Returns the request, or nullopt with `error` naming the bad argument.
std::optional<Request> ParseArguments(const std::vector<std::string>& args, std::string& error);

const char* UsageText();

}  // namespace ulvane::cli
