// Indirect jobs: every input decoded, its pictures scaled and its sound resampled to
// the job's output parameters, and encoded into one video stream and the sound tracks.
//
// The output timeline is built by the transcoder itself: pictures go out at the
// output frame rate (repeated or dropped as the source's timing asks), sound as a
// continuous run of samples, each picture and sound at its source time: a gap between
// pictures holds the last one, a hole in the sound is silence. Pictures are turned
// upright and fitted in the output size keeping their shape, black around them. Each
// input starts at the same output time on both streams; a gap on one side (an input without sound or
// pictures, sound that starts late) is filled with silence or the last picture, so both
// streams end together.
#pragma once

#include <memory>
#include <vector>

#include "engine/conversion_job.h"
#include "engine/media_input.h"
#include "engine/output_sink.h"
#include "engine/stage.h"
#include "engine/status.h"

namespace ulvane {

// The encoder time base for a frame rate from the preset list: one frame period.
// `sourceRate` serves when `frameRate` is 0 (see the .cpp for the rules).
AVRational OutputTimeBase(double frameRate, AVRational sourceRate, int codecId);

class Transcoder {
public:
    Transcoder();
    ~Transcoder();
    Transcoder(const Transcoder&) = delete;
    Transcoder& operator=(const Transcoder&) = delete;

    // Creates the output streams and opens the encoders: a video stream when `withVideo`,
    // and `soundTracks` sound tracks, each encoded with the same settings. The looks (may be
    // null) are the source streams whose language and title the outputs keep (pictures are
    // turned upright and written without a rotation); `sourceRate` the frame rate used when
    // the settings ask for the source's.
    Status SetUp(OutputSink& sink, const OutputParameters& s, bool withVideo, int soundTracks,
                 const AVStream* videoLooks, const std::vector<const AVStream*>& soundLooks, AVRational sourceRate);

    // Makes only `part` of the output (Pictures or Sound, see OutputPart); the whole job has
    // pictures (`wholeVideo`) and sound (`wholeSound`), which the part times where it does not
    // encode them. Call before SetUp.
    void MakePart(const OutputPart& part, bool wholeVideo, bool wholeSound);

    // Decodes the window of `in` and encodes it at ctx.offsetMicros of the output.
    // Cancelled when ctx.cancel is set; the output then ends where it had got to.
    Status Process(MediaInput& in, OutputSink& sink, const StageContext& ctx);

    // Where the output ends so far, in microseconds.
    int64_t EndMicros() const;

    // Encodes what is still queued and drains the encoders. Call once, at the end.
    Status Flush(OutputSink& sink);

    struct Impl;  // the encoders and the output timeline, shared by every input

private:
    std::unique_ptr<Impl> d_;
};

}  // namespace ulvane
