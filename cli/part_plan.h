// The plan of a re-encoding made in parts: what `--chunks N --plan DIR` writes into DIR, what
// each job of the plan reads back, and what `assemble DIR` joins. No file-system access here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/conversion_job.h"

namespace ulvane::cli {

struct PartPlan {
    // A hash of the job's words, its sources (path, size, modification time) and the parts:
    // a part's file is named by it, so a file made for another plan is never taken for this one's.
    std::string fingerprint;
    std::string output;  // the file asked for
    // The output's, with its dot: the parts are files of its container (the pictures' parts of
    // some in MOV files, see PicturesPartExtension).
    std::string extension;
    std::vector<OutputPart> parts;  // the pictures' parts, in order
    bool sound = false;             // a part of its own carries the whole sound
};

// The fingerprint of a job of `words` over sources described by `sources` (a text each: path,
// size and time) made in the parts of `plan`: 16 hexadecimal digits.
std::string PartFingerprint(const std::vector<std::string>& words, const std::vector<std::string>& sources,
                            const PartPlan& plan);

std::string PlanText(const PartPlan& plan);
// The plan of `text`, or nullopt with `error` saying what is wrong in it.
std::optional<PartPlan> ReadPlan(const std::string& text, std::string& error);

// The names of the parts' files in the plan's folder: "pictures-003-FINGERPRINT.mp4", and
// "sound-FINGERPRINT.mp4" for the sound.
std::string PicturesFileName(const PartPlan& plan, size_t part);
std::string SoundFileName(const PartPlan& plan);
// What a part's file of any plan begins with: "pictures-003-", "sound-".
std::string PicturesFilePrefix(size_t part);
inline constexpr const char* kSoundFilePrefix = "sound-";
inline constexpr const char* kPlanFileName = "plan.txt";

}  // namespace ulvane::cli
