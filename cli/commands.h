// The commands of ulvane-cli that run a job; each returns the exit status.
#pragma once

#include "cli/cli_args.h"

namespace ulvane::cli {

// cut: one segment (--start, --end), or several (--segment, --segments) exported as asked.
int Cut(const Request& r);
// join: whole files and clips (a FILE's --from and --to) into one file.
int Join(const Request& r);
// detect: silences, black pictures or scene changes of one file, a line each on stdout.
int Detect(const Request& r);
// batch: the cut and join jobs of a list, up to --jobs at once, a result line each.
int Batch(const Request& r);

}  // namespace ulvane::cli
