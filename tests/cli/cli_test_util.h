// Running ulvane-cli from the tests.
#pragma once

#include <string>
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

}  // namespace ulvane::test
