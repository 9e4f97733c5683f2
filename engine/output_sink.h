// The output file of a job: container, its streams (the main video and sound, and the
// other tracks a copy keeps), header, packet writing with timestamp repair, trailer. Lives from the first input to the
// end of the job; whatever happens, the file is either finished with a trailer or removed.
// It is written under a part name ("clip.mp4.part") and takes its final name only once
// complete, never replacing a file: a job killed midway leaves no file under that name.
#pragma once

#include <string>
#include <vector>

#include "engine/ffmpeg_util.h"
#include "engine/status.h"

namespace ulvane {

class OutputSink {
public:
    OutputSink() = default;
    ~OutputSink();  // finishes (or removes) the file if Finish was not called
    OutputSink(const OutputSink&) = delete;
    OutputSink& operator=(const OutputSink&) = delete;

    // Creates the muxer context for `path`; the container is chosen from its name. While
    // `cancel` is set, an open of the file that waits ends; later writes go on, so that a
    // cancelled job still finishes its file.
    Status Create(const std::string& path, const std::atomic<bool>* cancel = nullptr);
    // Whether `path`'s name selects a container at all.
    static bool GuessFormat(const std::string& path);

    AVFormatContext* ctx() const { return ctx_.get(); }
    Status AddStream(AVStream*& stream);
    // A chapter from `startMicros` to `endMicros` of the output (kept in milliseconds), with a
    // copy of `metadata`; false when memory ran out. Muxers read chapters as they finish.
    bool AddChapter(int64_t startMicros, int64_t endMicros, const AVDictionary* metadata);
    void ClearChapters();
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
    // The other tracks a direct job copies (more sound tracks, subtitles, attachments), in
    // the first input's order; each later input of a join must bring the same ones.
    struct SideTrack {
        AVStream* stream = nullptr;
        AVMediaType kind = AVMEDIA_TYPE_UNKNOWN;
        AVCodecID sourceCodec = AV_CODEC_ID_NONE;  // differs from the stream's when converted
        PacketPtr picture;                         // cover art, written once after the header
    };
    std::vector<SideTrack> sideTracks;

    // Whether the container keeps each packet's decode and display times. Matroska keeps
    // display times only, and its readers rebuild decode times from the first parameter
    // sets' reorder depth; AVI keeps decode order only, and display times come from
    // reordering by that depth.
    bool StoresBothTimes() const;

    // Creates the part file (never an existing one) and writes the header.
    Status Open();
    bool headerWritten() const { return headerWritten_; }

    // Writes a packet already in the output stream's time base. Missing timestamps are
    // filled from the stream's clock, decode timestamps that do not increase are moved
    // up, so the muxer never refuses a packet for its timing. Takes the packet's data.
    Status Write(AVPacket* pkt);

    // End time in microseconds of everything written to a stream (pts + duration).
    int64_t EndMicros(const AVStream* st) const;
    int64_t EndMicros() const;
    // Where the main sound ends for a player that plays its frames one after the other, in
    // microseconds. The stages tell each sound frame they write: its start on the output, its
    // length as the codec tells it (0 when it does not) and its packet duration. A frame that
    // starts within half a frame of the end before runs on from it, so its length counts
    // whole: the output's own times are only as fine as its time base (1 ms in Matroska), and
    // ends taken from them would drift a join's sound seam after seam.
    void RunSoundOn(int64_t startMicros, int64_t codedMicros, int64_t durationMicros);
    int64_t SoundEndMicros() const;
    int64_t packetsWritten() const { return packets_; }

    // Writes the trailer, closes the file and moves it to its final name, or to the first
    // free "(n)" one when another file took that name meanwhile; removes it when no packet
    // was written. Fails, and removes the file, when a write failed before, when the trailer
    // or the last buffered bytes cannot be written (a full disk), when the file is no longer
    // at its path (its folder was removed or renamed meanwhile), or when it cannot be named.
    Status Finish();
    // The output's name: the one asked for, and after a successful Finish the one it got.
    const std::string& path() const { return path_; }
    // Closes and removes the file (a job that produced nothing usable, or was stopped).
    void Abandon();
    // Why writing failed, once a write did: the file is then of no use.
    const Status& writeFailure() const { return writeFailure_; }

private:
    struct Clock {
        int64_t lastDts = AV_NOPTS_VALUE;
        int64_t endTs = 0;  // largest pts + duration, in the stream's time base
    };
    void CloseFile();
    // The ids of the subtitle tracks that are not the default, in an MP4/MOV output.
    std::vector<uint32_t> HiddenSubtitleTracks() const;
    static int InterruptOpen(void* sink);

    std::vector<Clock> clocks_;          // by stream index
    int64_t soundEnd_ = AV_NOPTS_VALUE;  // see RunSoundOn; none until a stage tells a frame
    OutputFormatPtr ctx_;
    IoContextPtr file_;  // the file behind ctx_->pb
    std::string path_;
    std::string partPath_;  // where the file is written until it is complete
    const std::atomic<bool>* cancel_ = nullptr;
    bool opening_ = false;
    bool fileCreated_ = false;
    bool headerWritten_ = false;
    bool finished_ = false;
    int64_t packets_ = 0;
    Status writeFailure_;
    int64_t lastPresenceCheck_ = 0;  // when the file was last seen at its path, microseconds
};

}  // namespace ulvane
