// Parsing of ulvane-cli's arguments into a request; no file-system access here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/launch.h"
#include "core/output_presets.h"

namespace ulvane::cli {

enum class Command { Help, Version, Cut, Join, Probe, Grab, Detect, Batch, Assemble, Segments };

// A part of a file as typed: "--segment 1:00-2:30", or a join FILE's "--from 1:00 --to 2:30";
// an empty text is the file's start or end.
struct PartText {
    std::string start, end;
    std::string label;        // a --segment's --label: its separate file's name, its chapter
    std::string output = {};  // a --segment's --into: the file it goes into, with the others of that name
    bool given() const { return !start.empty() || !end.empty(); }
};

struct Request {
    Command command = Command::Help;
    // cut, probe, grab: one; join: two or more; detect: KIND FILE; batch: JOBS; segments: convert IN OUT
    std::vector<std::string> sources;
    std::string startText, endText;       // cut
    std::vector<PartText> segments;       // cut: --segment, in order
    std::string segmentsFile;             // cut: --segments FILE (any list format), after the --segment ones
    bool chaptersAsSegments = false;      // cut: the source's chapters are segments too, after those
    std::string sourceFile;               // segments convert: --source, the media file the list is of
    std::optional<ExportMode> mode;       // cut: --separate, --merge or --merge-outside
    bool chapters = false;                // a chapter per segment or clip in one output
    std::vector<PartText> clips;          // join: entry i is sources[i]'s --from/--to
    std::string tracks;                   // cut: --tracks, the tracks of SOURCE kept ("" all)
    std::vector<std::string> fileTracks;  // join: entry i is sources[i]'s --tracks
    int rotate = 0;                       // cut and join: --rotate, clockwise degrees
    std::string outDir;
    double atSeconds = 0;             // grab
    std::optional<double> threshold;  // detect: --threshold, else the detector's default
    std::optional<double> minLength;  // detect: --min-length in seconds, else 0.5
    std::string outPath;              // grab
    std::optional<std::string> name;
    bool reencode = false;
    bool exact = false;     // cut: a direct cut that starts on the very picture at --start
    std::string container;  // cut and join: a direct job's container, by extension ("mp4"); "" the source's
    bool quiet = false;     // no progress on standard error
    bool skipDone = false;  // cut, join and batch: a job whose outputs are all there is not run again
    int jobs = 0;           // batch: --jobs, the jobs run at once; 0 the number of cores
    RowChoice rows;         // cut and join: the shipped setting.ini's rows, changed by ROW flags
    // A re-encoding in parts (cut and join with --reencode): --chunks N parts of pictures, made
    // --jobs at once (jobs), or with --plan DIR written out as jobs for batch and assembled by
    // `assemble DIR` (sources: DIR). A plan's job is --chunk I (from 0) or --chunk sound with
    // --plan; --encoder-threads sets its video encoder's threads.
    int chunks = 0;
    std::string planDir;
    std::string chunk;
    int encoderThreads = 0;
    // Help: the command whose usage is asked for; Help itself for every command's.
    Command helpFor = Command::Help;
};

// Returns the request, or nullopt with `error` naming the bad argument.
std::optional<Request> ParseArguments(const std::vector<std::string>& args, std::string& error);

// The usage of one command, or of every command for Command::Help.
std::string UsageText(Command command = Command::Help);

// Where a usage error's reader finds the usage: "see 'ulvane-cli help cut'" for the word of
// a command, else the pointer to --help.
std::string UsageHint(const std::string& word);

}  // namespace ulvane::cli
