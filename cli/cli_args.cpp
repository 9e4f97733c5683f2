// ulvane-cli argument parsing.
#include "cli/cli_args.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <span>

#include "cli/usage_texts.h"

namespace ulvane::cli {

namespace {

using namespace usage;

// The rows a re-encoding takes without ROW flags: those of the desktop program's shipped
// setting.ini, read from it when the build is configured.
constexpr RowChoice kShippedCutRows{ULVANE_SHIPPED_CUT_ROWS};
constexpr RowChoice kShippedJoinRows{ULVANE_SHIPPED_JOIN_ROWS};

// One ROW flag: the row it sets and the list it picks from.
struct RowList {
    std::string_view flag;
    int RowChoice::*row;
    std::span<const std::string_view> (*labels)(Dialog);
};

std::span<const std::string_view> FormatLabels(Dialog) {
    static const std::vector<std::string_view> labels = [] {
        std::vector<std::string_view> v;
        for (const OutputPreset& p : FormatPresets()) v.push_back(p.label);
        return v;
    }();
    return labels;
}

constexpr RowList kRowLists[] = {
    {"--format", &RowChoice::format, FormatLabels},
    {"--quality", &RowChoice::quality, [](Dialog) { return VideoBitRateLabels(); }},
    {"--size", &RowChoice::size, [](Dialog) { return SizeLabels(); }},
    {"--framerate", &RowChoice::framerate, FrameRateLabels},
    {"--audioquality", &RowChoice::audioquality, AudioBitRateLabels},
    {"--samplerate", &RowChoice::samplerate, SampleRateLabels},
};

// "  --quality (default 3):" and the rows, "0 1500 kbps", wrapped; the format rows one a line.
std::string RowListText(const RowList& list, Dialog d) {
    const RowChoice shipped = d == Dialog::Cut ? kShippedCutRows : kShippedJoinRows;
    std::string text = "  " + std::string(list.flag) + " (default " + std::to_string(shipped.*list.row) + "):";
    const std::span<const std::string_view> labels = list.labels(d);
    const bool oneALine = list.flag == "--format";
    size_t width = 100;
    for (size_t k = 0; k < labels.size(); ++k) {
        const std::string item =
            std::to_string(k) + " " + (labels[k].empty() ? "as the source" : std::string(labels[k]));
        if (oneALine || width + item.size() + 2 > 100) {
            text += "\n      ";
            width = 6;
        } else {
            text += ", ";
            width += 2;
        }
        text += item;
        width += item.size();
    }
    return text + "\n";
}

std::string RowListsText(Dialog d) {
    std::string text = d == Dialog::Cut ? "Rows of the cut lists:\n" : "Rows of the join lists:\n";
    for (const RowList& list : kRowLists) text += RowListText(list, d);
    return text;
}

}  // namespace

std::string UsageText(Command command) {
    std::string text = "usage:\n";
    switch (command) {
        case Command::Cut:
        case Command::Join: {
            const bool cut = command == Command::Cut;
            return text.append(cut ? kCutUsage : kJoinUsage)
                .append("\n")
                .append(kCutNotes)
                .append("\n")
                .append(RowListsText(cut ? Dialog::Cut : Dialog::Join))
                .append("\n")
                .append(kChunksNotes)
                .append(kExitNotes);
        }
        case Command::Probe:
            return text.append(kProbeUsage).append("\n").append(kProbeNotes).append(kExitNotes);
        case Command::Grab:
            return text.append(kGrabUsage).append("\n").append(kGrabNotes).append(kExitNotes);
        case Command::Detect:
            return text.append(kDetectUsage).append("\n").append(kDetectNotes).append(kExitNotes);
        case Command::Batch:
            return text.append(kBatchUsage).append("\n").append(kBatchNotes);
        case Command::Assemble:
            return text.append(kChunksUsage).append("\n").append(kChunksNotes);
        case Command::Segments:
            return text.append(kSegmentsUsage).append("\n").append(kSegmentsNotes).append(kExitNotes);
        case Command::Help:
        case Command::Version:
            break;
    }
    text.append(kCutUsage).append(kJoinUsage).append(kProbeUsage).append(kGrabUsage).append(kDetectUsage);
    text.append(kBatchUsage).append(kChunksUsage).append(kSegmentsUsage).append(kOtherUsage).append("\n");
    text.append(kCutNotes).append(kProbeNotes).append(kGrabNotes).append(kDetectNotes).append(kBatchNotes);
    text.append(kChunksNotes).append(kSegmentsNotes);
    return text.append(kExitNotes);
}

namespace {

// Which of the options a command needs were given.
struct Given {
    bool start = false, end = false, outDir = false, at = false, out = false;
};

std::optional<Command> ReadCommand(const std::string& word, std::string& error) {
    if (word == "cut") return Command::Cut;
    if (word == "join") return Command::Join;
    if (word == "probe") return Command::Probe;
    if (word == "grab") return Command::Grab;
    if (word == "detect") return Command::Detect;
    if (word == "batch") return Command::Batch;
    if (word == "assemble") return Command::Assemble;
    if (word == "segments") return Command::Segments;
    error = "unknown command '" + word + "'";
    return std::nullopt;
}

bool IsHelpWord(const std::string& word) {
    return word == "--help" || word == "-h" || word == "help";
}

// "help", "help COMMAND", "--help", "--version", and "COMMAND --help".
std::optional<Request> ReadHelp(const std::vector<std::string>& args, std::string& error) {
    Request r;
    if (args.empty()) return r;
    if (args[0] == "--version" && args.size() == 1) {
        r.command = Command::Version;
        return r;
    }
    if (IsHelpWord(args[0])) {
        if (args.size() == 1) return r;
        if (args.size() == 2) {
            const std::optional<Command> c = ReadCommand(args[1], error);
            if (!c) return std::nullopt;
            r.helpFor = *c;
            return r;
        }
        error = "help takes one COMMAND";
        return std::nullopt;
    }
    if (args.size() >= 2 && (args[1] == "--help" || args[1] == "-h")) {
        const std::optional<Command> c = ReadCommand(args[0], error);
        if (!c) return std::nullopt;
        r.helpFor = *c;
        return r;
    }
    return std::nullopt;
}

bool IsMediaCommand(Command c) {
    return c == Command::Cut || c == Command::Join;
}

bool ReadRow(const std::string& flag, const std::string& text, int& row, std::string& error) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < 0 || v > 1000) {
        error = flag + ": not a row number: '" + text + "'";
        return false;
    }
    row = static_cast<int>(v);
    return true;
}

bool ReadSeconds(const std::string& text, double& seconds, std::string& error) {
    errno = 0;
    char* end = nullptr;
    seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(seconds >= 0) || seconds > 1e9) {
        error = "--at: not a number of seconds from 0 on: '" + text + "'";
        return false;
    }
    return true;
}

// The row a ROW flag sets, or null for any other flag.
int* RowOfFlag(RowChoice& rows, const std::string& flag) {
    for (const RowList& list : kRowLists)
        if (list.flag == flag) return &(rows.*list.row);
    return nullptr;
}

// One "--flag value" pair, read into the request if the command takes the flag.
// "1:00-2:30", "-2:30" or "1:00-": the two sides of the one "-".
bool ReadSegment(const std::string& value, Request& r, std::string& error) {
    const size_t dash = value.find('-');
    if (dash == std::string::npos || value.find('-', dash + 1) != std::string::npos || value.size() == 1) {
        error = "--segment: not START-END: '" + value + "'";
        return false;
    }
    r.segments.push_back({value.substr(0, dash), value.substr(dash + 1), {}});
    return true;
}

// A join's --from or --to, which belongs to the FILE before it.
bool ReadClipSide(const std::string& flag, const std::string& value, Request& r, std::string& error) {
    if (r.sources.empty()) {
        error = flag + " comes before any FILE; it belongs after the FILE it cuts";
        return false;
    }
    r.clips.resize(r.sources.size());
    std::string& side = flag == "--from" ? r.clips.back().start : r.clips.back().end;
    if (!side.empty()) {
        error = flag + " given twice for " + r.sources.back();
        return false;
    }
    side = value;
    if (side.empty()) error = flag + ": a time is missing";
    return !side.empty();
}

// A whole number from `least` to `most`, or why not.
bool ReadCount(const std::string& flag, const std::string& value, int least, int most, int& n, std::string& error) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || v < least || v > most) {
        error =
            flag + ": not a number from " + std::to_string(least) + " to " + std::to_string(most) + ": '" + value + "'";
        return false;
    }
    n = static_cast<int>(v);
    return true;
}

// The flags of a re-encoding in parts (cut and join) and of assemble: true when `flag` is one,
// with `error` set when its value is bad.
bool ReadPartsOption(const std::string& flag, const std::string& value, Request& r, std::string& error) {
    const bool media = IsMediaCommand(r.command);
    if (flag == "--chunks" && media) {
        ReadCount(flag, value, 1, 1000, r.chunks, error);
    } else if (flag == "--encoder-threads" && media) {
        ReadCount(flag, value, 1, 64, r.encoderThreads, error);
    } else if (flag == "--plan" && media) {
        r.planDir = value;
        if (value.empty()) error = "--plan: a folder is missing";
    } else if (flag == "--chunk" && media) {
        int index = 0;
        if (value != "sound" && !ReadCount(flag, value, 0, 999, index, error)) {
            error = "--chunk: a part's number from 0, or 'sound', not '" + value + "'";
            return true;
        }
        r.chunk = value;
    } else {
        return false;
    }
    return true;
}

// Whether the flags of a re-encoding in parts go together; why not in `error`.
bool CheckParts(const Request& r, std::string& error) {
    if (r.jobs > 0 && r.chunks == 0)
        error = "--jobs is for --chunks: the parts made at once";
    else if ((r.chunks > 0 || !r.chunk.empty()) && !r.reencode)
        error = "--chunks is for a re-encoding: add --reencode";
    else if (r.chunks > 0 && !r.chunk.empty())
        error = "--chunk is a job of a plan, which --chunks makes: give one of them";
    else if (!r.chunk.empty() && r.planDir.empty())
        error = "--chunk needs the --plan DIR it is a job of";
    else if (!r.planDir.empty() && r.chunks == 0 && r.chunk.empty())
        error = "--plan is for --chunks: the plan of a re-encoding in parts";
    else if ((r.chunks > 0 || !r.chunk.empty()) && (!r.segments.empty() || !r.segmentsFile.empty()))
        error = "--chunks is for one output: a cut from --start to --end, or a join (not --segment lists)";
    else if (r.encoderThreads > 0 && r.chunk.empty())
        error = "--encoder-threads is for a job of a plan (--chunk)";
    return error.empty();
}

bool ReadOption(const std::string& flag, const std::string& value, Request& r, Given& given, std::string& error) {
    const bool media = IsMediaCommand(r.command);
    if (flag == "--segment" && r.command == Command::Cut) {
        return ReadSegment(value, r, error);
    } else if ((flag == "--label" || flag == "--into") && r.command == Command::Cut) {
        // Both belong to the --segment before them: its name, the file it goes into.
        const bool label = flag == "--label";
        if (r.segments.empty()) {
            error = flag + " comes after the --segment it " + (label ? "names" : "sends into a file");
            return false;
        }
        (label ? r.segments.back().label : r.segments.back().output) = value;
    } else if (flag == "--segments" && r.command == Command::Cut) {
        r.segmentsFile = value;
    } else if (flag == "--source" && r.command == Command::Segments) {
        r.sourceFile = value;
    } else if ((flag == "--from" || flag == "--to") && r.command == Command::Join) {
        return ReadClipSide(flag, value, r, error);
    } else if (flag == "--rotate" && media) {
        if (value != "0" && value != "90" && value != "180" && value != "270") {
            error = "--rotate: a clockwise turn of 90, 180 or 270 degrees, not '" + value + "'";
            return false;
        }
        r.rotate = std::stoi(value);
    } else if (flag == "--tracks" && r.command == Command::Cut) {
        r.tracks = value;
    } else if (flag == "--tracks" && r.command == Command::Join) {
        if (r.sources.empty()) {
            error = "--tracks comes before any FILE; it belongs after the FILE whose tracks it chooses";
            return false;
        }
        r.fileTracks.resize(r.sources.size());
        r.fileTracks.back() = value;
    } else if (flag == "--start" && r.command == Command::Cut) {
        r.startText = value;
        given.start = true;
    } else if (flag == "--end" && r.command == Command::Cut) {
        r.endText = value;
        given.end = true;
    } else if (flag == "--at" && r.command == Command::Grab) {
        if (!ReadSeconds(value, r.atSeconds, error)) return false;
        given.at = true;
    } else if ((flag == "--threshold" || flag == "--min-length") && r.command == Command::Detect) {
        errno = 0;
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || errno != 0 || !std::isfinite(v) || (flag == "--min-length" && v < 0)) {
            error = flag + ": not a number: '" + value + "'";
            return false;
        }
        (flag == "--threshold" ? r.threshold : r.minLength) = v;
    } else if (ReadPartsOption(flag, value, r, error)) {
        return error.empty();
    } else if (flag == "--jobs" && (r.command == Command::Batch || media)) {
        errno = 0;
        char* end = nullptr;
        const long n = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || errno != 0 || n < 1 || n > 256) {
            error = "--jobs: not a number of jobs from 1 to 256: '" + value + "'";
            return false;
        }
        r.jobs = static_cast<int>(n);
    } else if (flag == "--out" && r.command == Command::Grab) {
        r.outPath = value;
        given.out = true;
    } else if (flag == "--out-dir" && media) {
        r.outDir = value;
        given.outDir = true;
    } else if (flag == "--name" && media) {
        r.name = value;
    } else if (flag == "--container" && media) {
        // "mp4", ".mp4" or "MP4": the extension FFmpeg knows the container by.
        r.container = value.substr(value.rfind('.') == 0 ? 1 : 0);
        std::transform(r.container.begin(), r.container.end(), r.container.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (r.container.empty() || r.container.find_first_of("./\\") != std::string::npos) {
            error = "--container: not an extension: '" + value + "'";
            return false;
        }
    } else if (int* row = media ? RowOfFlag(r.rows, flag) : nullptr) {
        return ReadRow(flag, value, *row, error);
    } else {
        error = "unknown option '" + flag + "'";
        return false;
    }
    return true;
}

// The words after the command: options, their values, and the files.
bool ReadWords(const std::vector<std::string>& args, Request& r, Given& given, std::string& error) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--reencode") {
            r.reencode = true;
        } else if (a == "--exact") {
            r.exact = true;
        } else if (a == "--chapters") {
            r.chapters = true;
        } else if (a == "--chapters-as-segments" && r.command == Command::Cut) {
            r.chaptersAsSegments = true;
        } else if ((a == "--separate" || a == "--merge" || a == "--merge-outside") && r.command == Command::Cut) {
            const ExportMode mode = a == "--separate" ? ExportMode::Separate
                                    : a == "--merge"  ? ExportMode::Merge
                                                      : ExportMode::MergeOutside;
            if (r.mode && *r.mode != mode) {
                error = "--separate, --merge and --merge-outside exclude each other";
                return false;
            }
            r.mode = mode;
        } else if (a == "--quiet" || a == "-q") {
            r.quiet = true;
        } else if (a == "--skip-done" && (IsMediaCommand(r.command) || r.command == Command::Batch)) {
            r.skipDone = true;
        } else if (a.rfind("--", 0) == 0) {
            if (i + 1 >= args.size()) {
                error = a + ": a value is missing";
                return false;
            }
            if (!ReadOption(a, args[++i], r, given, error)) return false;
        } else {
            r.sources.push_back(a);
        }
    }
    return true;
}

bool CheckDetect(const Request& r, std::string& error) {
    if (r.sources.empty() || (r.sources[0] != "silence" && r.sources[0] != "black" && r.sources[0] != "scenes")) {
        error = r.sources.empty() ? "what to detect is missing: silence, black or scenes"
                                  : "detect silence, black or scenes, not '" + r.sources[0] + "'";
        return false;
    }
    if (r.sources.size() != 2) {
        error = r.sources.size() < 2 ? "FILE is missing" : "one FILE only, got '" + r.sources[2] + "' too";
        return false;
    }
    if (r.sources[0] == "scenes" && r.minLength) {
        error = "--min-length is for silence and black";
        return false;
    }
    return true;
}

bool CheckSegmentsCommand(const Request& r, std::string& error) {
    if (r.sources.empty() || r.sources[0] != "convert") {
        error = r.sources.empty() ? "what to do is missing: convert" : "segments convert, not '" + r.sources[0] + "'";
        return false;
    }
    if (r.sources.size() != 3) {
        error = r.sources.size() < 3 ? (r.sources.size() < 2 ? "IN is missing" : "OUT is missing")
                                     : "one IN and one OUT only, got '" + r.sources[3] + "' too";
        return false;
    }
    return true;
}

bool CheckProbeOrGrab(const Request& r, const Given& given, std::string& error) {
    if (r.command == Command::Detect) return CheckDetect(r, error);
    if (r.command == Command::Assemble && r.sources.size() != 1) {
        error = r.sources.empty() ? "DIR is missing: the folder of the plan"
                                  : "one DIR only, got '" + r.sources[1] + "' too";
        return false;
    }
    if (r.command == Command::Segments) return CheckSegmentsCommand(r, error);
    if (r.command == Command::Batch && r.sources.size() != 1) {
        error = r.sources.empty() ? "JOBS is missing (a file, or - for standard input)"
                                  : "one JOBS list only, got '" + r.sources[1] + "' too";
        return false;
    }
    if (r.sources.size() != 1) {
        error = r.sources.empty() ? "FILE is missing" : "one FILE only, got '" + r.sources[1] + "' too";
        return false;
    }
    if (r.command == Command::Grab && (!given.at || !given.out)) {
        error = given.at ? "--out is missing" : "--at is missing";
        return false;
    }
    return true;
}

bool CheckMethod(const Request& r, std::string& error) {
    if (r.exact && r.reencode) {
        error = "--exact and --reencode exclude each other";
        return false;
    }
    if (!r.container.empty() && r.reencode) {
        error = "--container is for a direct job; a re-encoding's container is its --format row";
        return false;
    }
    return true;
}

bool CheckCut(const Request& r, const Given& given, std::string& error) {
    if (r.sources.size() != 1) {
        error = r.sources.empty() ? "SOURCE is missing" : "cut takes one SOURCE, got '" + r.sources[1] + "' too";
        return false;
    }
    const bool segments = !r.segments.empty() || !r.segmentsFile.empty() || r.chaptersAsSegments;
    if (segments && (given.start || given.end)) {
        error = "--start and --end are for one segment; give it as --segment START-END among the others";
        return false;
    }
    if (!segments && (!given.start || !given.end)) {
        error = given.start ? "--end is missing" : "--start is missing";
        return false;
    }
    if (!segments && (r.mode || r.chapters)) {
        error = std::string(r.mode ? "--separate, --merge and --merge-outside are" : "--chapters is") +
                " for a cut of --segment ones";
        return false;
    }
    return CheckMethod(r, error);
}

bool CheckJoin(const Request& r, std::string& error) {
    if (!CheckMethod(r, error)) return false;
    if (!r.name) {
        error = "--name is missing";
        return false;
    }
    // One clip is a join too: a part of one file, which can be exact.
    const bool clipped = std::any_of(r.clips.begin(), r.clips.end(), [](const PartText& c) { return c.given(); });
    if (r.sources.size() < (clipped ? 1u : 2u)) {
        error = r.sources.empty() ? "FILE is missing" : "join needs at least two FILEs, or a FILE with --from or --to";
        return false;
    }
    return true;
}

bool CheckCutOrJoin(const Request& r, const Given& given, std::string& error) {
    if (!given.outDir) {
        error = "--out-dir is missing";
        return false;
    }
    if (!(r.command == Command::Cut ? CheckCut(r, given, error) : CheckJoin(r, error))) return false;
    if (!CheckParts(r, error)) return false;
    const Dialog d = r.command == Command::Cut ? Dialog::Cut : Dialog::Join;
    for (const RowList& list : kRowLists) {
        const size_t rows = list.labels(d).size();
        if (static_cast<size_t>(r.rows.*list.row) >= rows) {
            error = std::string(list.flag) + " " + std::to_string(r.rows.*list.row) +
                    " is not a row of its list (0 to " + std::to_string(rows - 1) + ")";
            return false;
        }
    }
    return ResolveRows(d, r.rows).has_value();
}

}  // namespace

std::optional<Request> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    if (std::optional<Request> help = ReadHelp(args, error)) return help;
    if (!error.empty()) return std::nullopt;
    Request r;
    const std::optional<Command> command = ReadCommand(args[0], error);
    if (!command) return std::nullopt;
    r.command = *command;
    if (r.command == Command::Cut) r.rows = kShippedCutRows;
    if (r.command == Command::Join) r.rows = kShippedJoinRows;
    Given given;
    if (!ReadWords(args, r, given, error)) return std::nullopt;
    if (r.command == Command::Join) {
        r.clips.resize(r.sources.size());
        r.fileTracks.resize(r.sources.size());
    }
    const bool ok = IsMediaCommand(r.command) ? CheckCutOrJoin(r, given, error) : CheckProbeOrGrab(r, given, error);
    if (!ok) return std::nullopt;
    return r;
}

std::string UsageHint(const std::string& word) {
    std::string ignored;
    return ReadCommand(word, ignored) ? "see 'ulvane-cli help " + word + "'" : "see 'ulvane-cli --help'";
}

}  // namespace ulvane::cli
