// The exact direct cut: lossless where it can be, frame-accurate everywhere.
//
// For a segment [S, E] of an H.264, HEVC or MPEG-4 Part 2 video, the pictures from the
// first random-access picture K1 after S (an IDR picture; in HEVC any IRAP picture; in
// MPEG-4 Part 2 an I picture) up to E are copied as a direct cut copies them. The pictures
// shown from S up to K1 are decoded, from the key frame K0 at or before S, and encoded again
// with the source's codec, profile, level, picture format, size, sample aspect and colour
// description, in closed groups that start with an IDR picture, at a quality that cannot be
// told from the source; interlaced H.264 in fields, in the stream's field order. When S is a
// random-access picture nothing is encoded.
//
// The splice: the encoded head brings its own parameter sets in band; the first copied
// picture gets the source's parameter sets in band again, after the head or after another
// clip of the output (in HEVC a CRA picture there becomes a broken-link picture, which starts
// afresh: an end-of-sequence unit would too, but a CRA after one makes decoders drop the
// pictures before it that they still hold back for display), which MP4 and MOV allow with the
// avc3 and hev1 sample entries, Matroska and MPEG-TS as they are. In MPEG-4 Part 2 the source's stream
// headers go before K1 in the same way, and the head has B-frames where the source has. The copied pictures' leading
// pictures (shown before K1) are left out: the head shows those times. Decode times of the head run below the copied
// part's by the source's reorder delay, so they rise across the seam.
//
// Before anything of the copy is written the seam is checked: the head and the first
// copied pictures are decoded as a player would, and the pictures after K1 must come out
// as many and the same as the source's own decode of them. If not, the whole segment is
// encoded again with the same encoder, and the job says so.
//
// The output shows exactly the pictures of [S, E): a start less than half a picture's time
// before a picture (a time given to the millisecond) starts on that picture, an end less than
// half a picture's time after a picture starts ends before that picture (but at a seam with
// another input, where the pictures show whole), and the copy ends
// with the pictures shown before E. Where B-frames need a picture shown from E on to decode one
// shown before it, the copy stops after the last picture it can keep, and the pictures from
// there up to E are decoded from their random-access picture and encoded again as the head is
// (the tail). MP4's edit list cannot hide them: FFmpeg's muxer ends it after the last picture.
//
// Sound is copied once across [S, E], from the audio frame that holds S (where the
// container keeps negative times, as MP4 and MOV do with an edit list; elsewhere from the
// first frame that starts at or after S).
#pragma once

#include <memory>
#include <string>

#include "engine/media_input.h"
#include "engine/output_sink.h"
#include "engine/stage.h"

namespace ulvane {

// Whether the exact cut can splice this input's video; `why` says what stands in the way.
bool CanCutExactly(const MediaInput& in, std::string& why);

// Output set-up for an exact cut, after the copy streams are added and before the header:
// in MP4 and MOV the sample entries that let parameter sets change in band.
void AllowInBandParameterSets(const MediaInput& in, OutputSink& sink);

// The exact cut of ctx.window into `sink`. `notice` tells what was done other than the
// exact splice (a source it cannot splice is cut directly from the key frame before S;
// a seam that failed its check had the segment encoded whole); empty otherwise.
Status ExactCutInput(MediaInput& in, OutputSink& sink, const StageContext& ctx, std::string& notice);

namespace exact {
class ExactCutter;
}

// An exact cut in two steps, for a join of clips that readies the next clip while the one
// before is copied. Prepare reads the input from the key frame before S, encodes the head and
// checks the seam; it writes nothing, and reads of the output only its set-up (its streams and
// container), and of `ctx` only the window, follows, followed and cancel: another thread may run
// it while the output takes other inputs. Complete writes the head and the copy (or the segment
// encoded whole) where `ctx` places them then; on the output's thread, after Prepare returned
// done. The input must be one CanCutExactly accepts, into an output with pictures.
class PreparedExactCut {
public:
    PreparedExactCut(MediaInput& in, OutputSink& sink, const StageContext& ctx, std::string& notice);
    ~PreparedExactCut();
    PreparedExactCut(const PreparedExactCut&) = delete;
    PreparedExactCut& operator=(const PreparedExactCut&) = delete;
    Status Prepare();
    Status Complete();

private:
    std::unique_ptr<exact::ExactCutter> cutter_;
};

}  // namespace ulvane
