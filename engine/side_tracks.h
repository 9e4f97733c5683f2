// The tracks a direct job copies besides the main video and sound: more sound tracks (other
// languages, commentary), subtitles, and Matroska attachments (fonts, cover art). They follow
// the main streams: they begin where the output begins, end where its pictures end, and move
// onto the output timeline by the same amount.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/container_fit.h"
#include "engine/media_input.h"
#include "engine/output_sink.h"
#include "engine/stage.h"

namespace ulvane {

// Whether a container holds more than one sound track (an FLV, MP3 or WAV file holds one).
bool HoldsSeveralSoundTracks(const AVOutputFormat* ofmt);

// Whether a stream is an attachment: a Matroska attachment, or an attached picture (cover
// art, an image attachment), which reads as a picture stream.
bool IsAttachment(const AVStream* st);

// Whether stream `index` of `in` is a side track: a sound track other than the main one, a
// subtitle track or an attachment.
bool IsSideStream(const MediaInput& in, int index);

// Adds to `sink` an output stream for side track `index` of `in` when the container can hold
// it, with its language, title and default/forced flags. A text subtitle the container cannot
// hold is converted to the container's own text format (SubRip becomes MP4 timed text). A track
// left out is named at the end of `dropped` ("subtitle track 2 (hdmv_pgs_subtitle)").
Status SetUpSideTrack(const MediaInput& in, int index, OutputSink& sink, std::string& dropped);

// What an output of format `ofmt` does with the side tracks of `in` it cannot keep as they are,
// a line each in the file's order: "subtitle track 1 (subrip): converted to mov_text",
// "sound track 2 (ac3): left out".
std::vector<TrackChange> SideTrackChanges(const MediaInput& in, const AVOutputFormat* ofmt);
// "subtitle track 1 (subrip): converted to mov_text", "sound track 2 (ac3): left out".
std::string ChangeText(const TrackChange& change);

// Whether a later input of a join brings the same side tracks (kinds and codecs, in order) as
// the first one; fails naming the first track that differs.
Status CheckSideTracks(const MediaInput& in, const OutputSink& sink);

class SubtitleConverter;

// Copies the side tracks of one input, as its main streams are copied.
class SideTracks {
public:
    SideTracks(MediaInput& in, OutputSink& sink);
    ~SideTracks();
    SideTracks(const SideTracks&) = delete;
    SideTracks& operator=(const SideTracks&) = delete;

    bool Owns(int streamIndex) const {
        return streamIndex >= 0 && static_cast<size_t>(streamIndex) < trackOf_.size() && trackOf_[streamIndex] >= 0;
    }
    // Reads the subtitles already on screen at `atMicros` (they start up to a minute before),
    // which a seek to `atMicros` skips; the caller seeks for its own reading afterwards.
    void GatherShownAt(MediaInput& in, int64_t atMicros);
    // Takes a packet of a side track; it waits until Begin and Limit decide on it.
    Status Take(PacketPtr pkt);
    // The output begins: what starts at `fromMicros` (source time) or later is copied, moved by
    // `shiftMicros`. `holdStart`: a sound frame that holds `fromMicros` is copied too. A subtitle
    // shown at `fromMicros` is copied from there on.
    Status Begin(int64_t fromMicros, int64_t shiftMicros, bool holdStart);
    // Sound and subtitles that start at or after `limitMicros` are not copied. `final`: the
    // limit no longer moves (the pictures have ended), so waiting packets are decided now,
    // and the input's chapters between the beginning and the limit go onto the output.
    Status Limit(int64_t limitMicros, bool final);
    // Forgets what waits and what was decided, for a stage that reads its input again.
    void Reset();
    // Every sound track has passed the limit, so no more reading is needed for them.
    bool Done() const;
    // Asked for each packet read once the main streams have ended: whether reading can stop.
    // Tracks are interleaved by time, so the other sound tracks end within a few packets;
    // after a bounded number more (a track that ended early) reading stops anyway.
    bool CanStopReading() { return Done() || ++readAfterMain_ > kMaxReadAfterMain; }

private:
    struct Track;
    Status Release(Track& t);
    Status Emit(Track& t, AVPacket* pkt, int64_t atMicros, int64_t durMicros);
    void AddChapters();

    const MediaInput& in_;
    OutputSink& sink_;
    std::vector<std::unique_ptr<Track>> tracks_;
    std::vector<int> trackOf_;
    bool anySubtitles_ = false;
    bool chaptersAdded_ = false;
    static constexpr int kMaxReadAfterMain = 2000;
    int readAfterMain_ = 0;  // input stream index -> index in tracks_, or -1
    bool begun_ = false;
    bool final_ = false;
    bool holdStart_ = false;
    int64_t from_ = 0, shift_ = 0;
    int64_t limit_ = INT64_MAX;
};

}  // namespace ulvane
