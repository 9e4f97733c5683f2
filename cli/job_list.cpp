// Reading a batch's job list.
#include "cli/job_list.h"

#include "cli/cli_args.h"
#include "core/job_words.h"

namespace ulvane::cli {

std::optional<std::vector<ListedJob>> ReadJobList(const std::string& text, std::string& error) {
    std::vector<ListedJob> jobs;
    int number = 0;
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (end == text.size() && line.empty()) break;
        const auto bad = [&](const std::string& why) {
            error = "line " + std::to_string(number) + ": " + why;
            return std::nullopt;
        };
        std::string why;
        std::optional<std::vector<std::string>> words = SplitWords(line, why);
        if (!words) return bad(why);
        if (words->empty()) continue;
        const std::optional<Request> request = ParseArguments(*words, why);
        if (!request) return bad(why);
        if (request->command != Command::Cut && request->command != Command::Join)
            return bad("a job is a cut or a join command, not '" + words->front() + "'");
        jobs.push_back({number, std::move(*words)});
    }
    return jobs;
}

}  // namespace ulvane::cli
