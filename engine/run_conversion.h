// The conversion worker: carries out the cut or join described by a ConversionJob.
#pragma once

#include "engine/conversion_job.h"

namespace ulvane {

// Runs the job on the calling thread (the launch calls it on a worker thread of its
// own). Reports only through the record: inputStatus and inputError per input,
// progressPercent, and currentInput, which reaches inputCount when the job is over
// (or the input after the one in work when it was cancelled). The output file, when
// any, is complete with its trailer by then.
void RunConversion(ConversionJob& job);

}  // namespace ulvane
