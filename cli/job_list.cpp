// Reading a batch's job list.
#include "cli/job_list.h"

#include "cli/cli_args.h"

namespace ulvane::cli {

std::optional<std::vector<std::string>> SplitWords(const std::string& line, std::string& error) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;  // a word was begun: '' is an empty word of its own
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (blank(c)) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            break;
        } else if (c == '\'') {
            const size_t close = line.find('\'', i + 1);
            if (close == std::string::npos) {
                error = "a ' is not closed";
                return std::nullopt;
            }
            word.append(line, i + 1, close - i - 1);
            i = close;
            inWord = true;
        } else if (c == '"') {
            size_t k = i + 1;
            for (; k < line.size() && line[k] != '"'; ++k) {
                if (line[k] == '\\' && k + 1 < line.size() &&
                    std::string_view("\"\\$`").find(line[k + 1]) != std::string_view::npos)
                    ++k;
                word += line[k];
            }
            if (k >= line.size()) {
                error = "a \" is not closed";
                return std::nullopt;
            }
            i = k;
            inWord = true;
        } else if (c == '\\') {
            if (i + 1 < line.size()) word += line[++i];
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

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
