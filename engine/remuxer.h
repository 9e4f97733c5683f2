// Direct jobs: compressed packets copied from each input into the output streams,
// with their own timestamps moved onto the output's timeline.
#pragma once

#include <string>

#include "engine/media_input.h"
#include "engine/output_sink.h"
#include "engine/stage.h"

namespace ulvane {

// Creates the output streams from the first input's streams, in its order with the main sound
// first among the sound tracks (codec parameters, rotation, language, title, choice flags): the main video and sound,
// and the side tracks the container can hold. Fails when the container cannot hold the main video's or sound's codec;
// side tracks it cannot hold are left out and named in `dropped`.
Status SetUpCopyStreams(const MediaInput& in, OutputSink& sink, std::string& dropped);

// Checks that a later input of a join can be appended to the streams made for the first:
// the same main streams (H.264/HEVC may differ in their parameter sets where the output
// carries them in band), and the same side tracks in the same order.
Status CheckCopyCompatible(const MediaInput& in, const OutputSink& sink);

// Whether the output can carry H.264/HEVC parameter sets in band, before the pictures that
// use them: Matroska and MPEG-TS always, MP4 and MOV with the avc3/hev1 sample entries.
bool CarriesParameterSetsInBand(const OutputSink& sink);

// Copies the window of `in` to `sink`. The output of this input starts with the video
// key frame at or before the window's start (audio from before it is dropped) and ends
// where the source reaches the window's end. Cancelled when ctx.cancel is set.
Status CopyInput(MediaInput& in, OutputSink& sink, const StageContext& ctx);

}  // namespace ulvane
