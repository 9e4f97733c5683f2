// The media probe: what a file holds, for the source list.
#pragma once

#include <string>
#include <vector>

#include "engine/conversion_job.h"

namespace ulvane {

enum ProbeResult : int {
    kProbeOk = 0,
    kProbeCannotOpen = -1,    // not a media container we can open
    kProbeNoStreamInfo = -2,  // its stream information cannot be read
    kProbeNoStreams = -3,     // neither pictures nor sound (a subtitle or data file)
    kProbeNoDecoder = -4,     // no decoder for the video's codec
    kProbeDecoderFails = -5,  // the video decoder cannot be opened
    kProbeNotAFile = -6,      // a FIFO, device, socket or folder, not a regular file
    kProbeUndecodable = -7,   // the video decoder opens but makes no picture of it
};

// How far the probe looks: `Decode` also checks that the video decodes a picture (for the
// source list, which must not take a file it cannot show); `Streams` stops at what the
// container tells (Matroska and MP4 headers, else its stream analysis), which is what a
// direct join compares, and costs no decoding where the header is enough.
enum class ProbeDepth { Decode, Streams };

// Opens job.probePath and leaves its description in job.info: duration (estimated from
// the last packets when the container does not say; where the pictures and sound really end
// for a file cut short, whose header's length is then `statedDurationMicros`), picture size (0 x 0 without video)
// and frame rate (unchanged without video; a whole-number rate above 1000 gets the
// denominator 1001). Returns a ProbeResult. Everything it opens is closed again.
int ProbeMediaFile(ConversionJob& job, ProbeDepth depth = ProbeDepth::Decode);

// Plain words for a probe result, for messages.
const char* ProbeResultText(int result);

// The file-name extensions of the audio and video containers this FFmpeg reads, lower
// case, sorted, without the dot; subtitle, text and still-image formats are left out.
std::vector<std::string> MediaFileExtensions();

}  // namespace ulvane
