// A long re-encoding made in parts: the pictures cut at the sources' key frames into parts
// of about equal length, each encoded by a job of its own (OutputPart), the sound encoded
// whole by another, and the parts then joined by copying into the one output.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "engine/conversion_job.h"
#include "engine/status.h"

namespace ulvane {

// How a re-encoding is made in parts: its pictures' parts, and whether it has sound, which a
// part of its own carries.
struct PartsPlan {
    std::vector<OutputPart> pictures;
    bool sound = false;
};

// The parts of the re-encoding `job` describes (a cut, or a join of files and clips), at most
// `count` of pictures: each begins on a key frame inside an input's window, the one nearest to
// an equal share of the output's length, and the first with the job. A job too short or
// without key frames in between has fewer parts (one at least). No parts, with `error`, when
// an input cannot be read or the job has no pictures.
PartsPlan PlanParts(const ConversionJob& job, int count, const std::atomic<bool>& cancel, std::string& error);

// The extension of the files a pictures' part is written in, for an output with `extension`
// (".mkv"): the output's own, but MOV's where the output's container keeps display times only
// (Matroska, WebM), as joining the parts needs their decode times.
std::string PicturesPartExtension(const std::string& extension);

// Makes `output` (written as a part file, named as OutputSink names it; `made` is the name it
// got) from the parts' files: the pictures of each file of `pictures` one after the other,
// their times running on, and the sound tracks of `sound` beside them, every packet copied.
// Fails, making nothing, when a file cannot be read or the pictures' files were encoded
// differently (codec, size or parameter sets).
Status JoinParts(const std::vector<std::string>& pictures, const std::string& sound, const std::string& output,
                 std::string& made, const std::atomic<bool>* cancel = nullptr);

}  // namespace ulvane
