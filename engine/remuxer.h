// Direct jobs: compressed packets copied from each input into the output streams,
// with their own timestamps moved onto the output's timeline.
#pragma once

#include "engine/media_input.h"
#include "engine/output_sink.h"
#include "engine/stage.h"

namespace ulvane {

// Creates the output streams from the first input's streams (codec parameters,
// rotation, language). Fails when the container cannot hold a stream's codec.
Status SetUpCopyStreams(const MediaInput& in, OutputSink& sink);

// Checks that a later input of a join can be appended to the streams made for the first.
Status CheckCopyCompatible(const MediaInput& in, const OutputSink& sink);

// Copies the window of `in` to `sink`. The output of this input starts with the video
// key frame at or before the window's start (audio from before it is dropped) and ends
// where the source reaches the window's end. Cancelled when ctx.cancel is set.
Status CopyInput(MediaInput& in, OutputSink& sink, const StageContext& ctx);

}  // namespace ulvane
