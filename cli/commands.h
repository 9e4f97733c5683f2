// The commands of ulvane-cli that run a job; each returns the exit status.
#pragma once

#include <string>
#include <vector>

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

// A re-encoding in parts: whether `r` asks for one (--chunks, or a plan's job --chunk), and
// the run of `job` (filled as the whole re-encoding; `launchWords` its words, as job_words
// gives them) so: made here, planned into --plan DIR, or one part of a plan.
bool InParts(const Request& r);
int RunInParts(ConversionJob& job, const Request& r, const std::vector<std::string>& launchWords);
// assemble DIR: the output of a plan, from its parts' files.
int Assemble(const Request& r);

}  // namespace ulvane::cli
