// A job list for `ulvane-cli batch`: one job a line, the words of a cut or join command as a
// POSIX shell would split them (SplitWords). No file-system access here.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ulvane::cli {

struct ListedJob {
    int line = 0;  // from 1
    std::vector<std::string> words;
};

// Every job of `text`, in order; blank and comment lines are no jobs. A line that is not a
// cut or join command ulvane-cli would take is an error naming its number, and no job is
// returned: a list runs whole or not at all.
std::optional<std::vector<ListedJob>> ReadJobList(const std::string& text, std::string& error);

}  // namespace ulvane::cli
