// The plan of a re-encoding made in parts, as text.
#include "cli/part_plan.h"

#include <cinttypes>
#include <cstdio>
#include <sstream>

#include "engine/output_parts.h"

namespace ulvane::cli {

namespace {

constexpr const char* kHeading = "# ulvane-cli plan of a re-encoding in parts, version 1";

// FNV-1a, 64 bits: a name for the job's settings, not a defence against forgery.
void Mix(uint64_t& hash, const std::string& text) {
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    hash ^= 0xff;  // ends each text, so "ab","c" and "a","bc" differ
    hash *= 0x100000001b3ULL;
}

std::string PartLine(const OutputPart& p) {
    char line[128];
    std::snprintf(line, sizeof line, "part %d %" PRId64 " %d %" PRId64, p.fromInput, p.fromMicros, p.toInput,
                  p.toMicros);
    return line;
}

}  // namespace

std::string PartFingerprint(const std::vector<std::string>& words, const std::vector<std::string>& sources,
                            const PartPlan& plan) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const std::string& w : words) Mix(hash, w);
    Mix(hash, "sources");
    for (const std::string& s : sources) Mix(hash, s);
    Mix(hash, "parts");
    for (const OutputPart& p : plan.parts) Mix(hash, PartLine(p));
    Mix(hash, plan.sound ? "sound" : "silent");
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);
    return text;
}

std::string PlanText(const PartPlan& plan) {
    std::string text = std::string(kHeading) + "\n";
    text += "fingerprint " + plan.fingerprint + "\n";
    text += "extension " + plan.extension + "\n";
    text += "output " + plan.output + "\n";
    text += std::string("sound ") + (plan.sound ? "yes" : "no") + "\n";
    for (const OutputPart& p : plan.parts) text += PartLine(p) + "\n";
    return text;
}

std::optional<PartPlan> ReadPlan(const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::string line;
    PartPlan plan;
    if (!std::getline(in, line) || line != kHeading) {
        error = "it is not a plan of ulvane-cli's (or of another version)";
        return std::nullopt;
    }
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "fingerprint") {
            plan.fingerprint = value;
        } else if (key == "extension") {
            plan.extension = value;
        } else if (key == "output") {
            plan.output = value;
        } else if (key == "sound") {
            plan.sound = value == "yes";
        } else if (key == "part") {
            OutputPart p;
            p.kind = OutputPart::Kind::Pictures;
            if (std::sscanf(value.c_str(), "%d %" SCNd64 " %d %" SCNd64, &p.fromInput, &p.fromMicros, &p.toInput,
                            &p.toMicros) != 4) {
                error = "a part line is damaged: '" + line + "'";
                return std::nullopt;
            }
            plan.parts.push_back(p);
        } else if (!line.empty()) {
            error = "an unknown line: '" + line + "'";
            return std::nullopt;
        }
    }
    if (plan.fingerprint.size() != 16 || plan.output.empty() || plan.parts.empty() ||
        plan.extension.find('/') != std::string::npos) {
        error = "it lacks its fingerprint, output or parts";
        return std::nullopt;
    }
    return plan;
}

std::string PicturesFilePrefix(size_t part) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "pictures-%03zu-", part);
    return prefix;
}

std::string PicturesFileName(const PartPlan& plan, size_t part) {
    return PicturesFilePrefix(part) + plan.fingerprint + PicturesPartExtension(plan.extension);
}

std::string SoundFileName(const PartPlan& plan) {
    return kSoundFilePrefix + plan.fingerprint + plan.extension;
}

}  // namespace ulvane::cli
