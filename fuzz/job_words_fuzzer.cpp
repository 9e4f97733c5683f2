// libFuzzer target: job lines as a batch list and the kept queue hold them. Whatever line
// SplitWords takes, ShellLine writes back as a line of the same words; whatever words
// ShellLine writes (the input cut at its 0 bytes), SplitWords reads back; and a kept queue
// file of any content is read without harm.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/job_queue.h"
#include "core/job_words.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const auto words = ulvane::SplitWords(text, error)) {
        const auto back = ulvane::SplitWords(ulvane::ShellLine(*words), error);
        if (!back || *back != *words) std::abort();
    }
    std::vector<std::string> words;
    if (!text.empty()) {
        size_t from = 0;
        for (size_t zero; (zero = text.find('\0', from)) != std::string::npos; from = zero + 1)
            words.push_back(text.substr(from, zero - from));
        words.push_back(text.substr(from));
    }
    const auto back = ulvane::SplitWords(ulvane::ShellLine(words), error);
    if (!back || *back != words) std::abort();
    (void)ulvane::JobQueue::ReadSaved(text);
    return 0;
}
