// ulvane-cli argument parsing.
#include "cli/cli_args.h"

#include <cerrno>
#include <cstdlib>

namespace ulvane::cli {

const char* UsageText() {
    return "usage:\n"
           "  ulvane-cli cut SOURCE --start TIME --end TIME --out-dir DIR [--name NAME] [--reencode]\n"
           "             [--format ROW] [--quality ROW] [--size ROW] [--framerate ROW]\n"
           "             [--audioquality ROW] [--samplerate ROW]\n"
           "  ulvane-cli join --out-dir DIR --name NAME [--reencode] [the same ROW flags] FILE FILE [FILE ...]\n"
           "  ulvane-cli probe FILE\n"
           "  ulvane-cli grab FILE --at SECONDS --out PATH\n"
           "\n"
           "TIME is HH:MM:SS.mmm. ROW is a zero-based row of the cut (for cut) or join (for join) lists;\n"
           "a missing ROW flag takes the list's first row. Without --reencode packets are copied.\n"
           "The last line on standard output is the output file; progress goes to standard error.\n"
           "probe prints duration_us, width, height and frame_rate; grab writes the 320x240 snapshot\n"
           "bitmap of the picture at SECONDS.\n"
           "Exit status: 0 done, 1 an input failed, 2 usage error.\n";
}

namespace {

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

}  // namespace

std::optional<Request> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    Request r;
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") return r;
    if (args[0] == "cut")
        r.command = Command::Cut;
    else if (args[0] == "join")
        r.command = Command::Join;
    else if (args[0] == "probe")
        r.command = Command::Probe;
    else if (args[0] == "grab")
        r.command = Command::Grab;
    else {
        error = "unknown command '" + args[0] + "'";
        return std::nullopt;
    }
    bool haveStart = false, haveEnd = false, haveDir = false, haveAt = false, haveOut = false;
    const bool media = r.command == Command::Cut || r.command == Command::Join;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--reencode") {
            r.reencode = true;
            continue;
        }
        if (a.rfind("--", 0) == 0) {
            if (i + 1 >= args.size()) {
                error = a + ": a value is missing";
                return std::nullopt;
            }
            const std::string& v = args[++i];
            if (a == "--start" && r.command == Command::Cut) r.startText = v, haveStart = true;
            else if (a == "--end" && r.command == Command::Cut) r.endText = v, haveEnd = true;
            else if (a == "--at" && r.command == Command::Grab) {
                errno = 0;
                char* end = nullptr;
                r.atSeconds = std::strtod(v.c_str(), &end);
                if (v.empty() || *end != '\0' || errno != 0 || !(r.atSeconds >= 0) || r.atSeconds > 1e9) {
                    error = "--at: not a number of seconds from 0 on: '" + v + "'";
                    return std::nullopt;
                }
                haveAt = true;
            }
            else if (a == "--out" && r.command == Command::Grab) r.outPath = v, haveOut = true;
            else if (a == "--out-dir" && media) r.outDir = v, haveDir = true;
            else if (a == "--name" && media) r.name = v;
            else if (!media) {
                error = "unknown option '" + a + "'";
                return std::nullopt;
            }
            else if (a == "--format") { if (!ReadRow(a, v, r.rows.format, error)) return std::nullopt; }
            else if (a == "--quality") { if (!ReadRow(a, v, r.rows.quality, error)) return std::nullopt; }
            else if (a == "--size") { if (!ReadRow(a, v, r.rows.size, error)) return std::nullopt; }
            else if (a == "--framerate") { if (!ReadRow(a, v, r.rows.framerate, error)) return std::nullopt; }
            else if (a == "--audioquality") { if (!ReadRow(a, v, r.rows.audioquality, error)) return std::nullopt; }
            else if (a == "--samplerate") { if (!ReadRow(a, v, r.rows.samplerate, error)) return std::nullopt; }
            else {
                error = "unknown option '" + a + "'";
                return std::nullopt;
            }
            continue;
        }
        r.sources.push_back(a);
    }
    if (r.command == Command::Probe || r.command == Command::Grab) {
        if (r.sources.size() != 1) {
            error = r.sources.empty() ? "FILE is missing" : "one FILE only, got '" + r.sources[1] + "' too";
            return std::nullopt;
        }
        if (r.command == Command::Grab && (!haveAt || !haveOut)) {
            error = haveAt ? "--out is missing" : "--at is missing";
            return std::nullopt;
        }
        return r;
    }
    if (!haveDir) {
        error = "--out-dir is missing";
        return std::nullopt;
    }
    if (r.command == Command::Cut) {
        if (r.sources.size() != 1) {
            error = r.sources.empty() ? "SOURCE is missing" : "cut takes one SOURCE, got '" + r.sources[1] + "' too";
            return std::nullopt;
        }
        if (!haveStart || !haveEnd) {
            error = haveStart ? "--end is missing" : "--start is missing";
            return std::nullopt;
        }
    } else {
        if (!r.name) {
            error = "--name is missing";
            return std::nullopt;
        }
        if (r.sources.size() < 2) {
            error = "join needs at least two FILEs";
            return std::nullopt;
        }
    }
    const Dialog d = r.command == Command::Cut ? Dialog::Cut : Dialog::Join;
    if (!ResolveRows(d, r.rows)) {
        error = "a row flag is outside its list (--format 0-6, --quality 0-10, --size 0-8, --framerate, "
                "--audioquality, --samplerate: see the lists of this command)";
        return std::nullopt;
    }
    return r;
}

}  // namespace ulvane::cli
