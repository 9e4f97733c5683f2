// Segment lists on the command line: a list file in any of the formats segment_formats.h
// reads, the source's own chapters as segments, and the `segments convert` command.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "core/segment_formats.h"
#include "engine/conversion_job.h"

namespace ulvane::cli {

// What the lists need of a media file: its length, frame rate and name, and its chapters.
// nullopt when it cannot be probed.
struct SourceFacts {
    SegmentSource source;
    std::vector<MediaChapter> chapters;
};
std::optional<SourceFacts> ProbeSource(const std::string& path);

// The segments of the list at `path`, in the format its extension names, of `source`; notes
// on standard error. nullopt after a usage error of `command` is printed (`flag` names the
// file in it).
std::optional<std::vector<Segment>> ReadSegmentList(const std::string& path, const SegmentSource& source,
                                                    const std::string& flag, const std::string& command);

// segments convert IN OUT [--source FILE]: the list IN written again as OUT, each in the
// format its extension names.
int ConvertSegments(const Request& r);

}  // namespace ulvane::cli
