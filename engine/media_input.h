// One opened input file: its container, the chosen video and audio streams and,
// when asked for, their decoders. Used by the worker for each input of a job.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "engine/ffmpeg_util.h"
#include "engine/status.h"

namespace ulvane {

// True for a stream that carries the real pictures of a file: a video stream that
// is not an attached picture (cover art, an image attachment).
bool IsRealVideoStream(const AVStream* st);
bool IsAudioStream(const AVStream* st);
// True for a second view of an earlier stream's data: a stream of the same kind with the
// same transport id, as the AC-3 core FFmpeg shows beside a Blu-ray TrueHD track (both
// read from one PID). It is no track of its own.
bool RepeatsAnEarlierStream(const AVFormatContext* ctx, unsigned index);

// Opens a decoder for `st` on its own (as many threads as the machine has; `frameThreads`
// false: slice threads only), for stages that decode besides the input's own decoders.
Status OpenStreamDecoder(const AVStream* st, bool frameThreads, CodecContextPtr& dec);

class MediaInput {
public:
    // Codes of the failures of Open and OpenDecoders.
    enum Failure : int { kCannotOpen = 1, kNoStreamInfo, kNoStreams, kNoDecoder, kDecoderFails, kNotAFile };

    // Opens `path` into `input` and reads its stream information; fails (and leaves
    // `input` empty) when the file cannot be used. A local path must name a regular file
    // (a FIFO or a device could block for ever). While `cancel` is set every wait inside
    // FFmpeg ends, and Open reports a cancel.
    // `Analysis::Header`: for Matroska and MP4/MOV files whose header gives every picture
    // size and sound shape, the streams are not analysed (no decoding); the start time,
    // reorder depth, pixel format, sound frame size and Matroska's decode times are then
    // unknown. For describing a file, and for copying it onto streams set up from another.
    enum class Analysis { Full, Header };
    static Status Open(const std::string& path, std::unique_ptr<MediaInput>& input,
                       const std::atomic<bool>* cancel = nullptr, Analysis analysis = Analysis::Full);

    // The decoder set-up bytes of the first video stream as the container's header gives
    // them, without analysing the streams (cheap for MP4 and Matroska, whose headers hold
    // them); empty when the file cannot be opened or has none.
    static std::vector<uint8_t> HeaderVideoExtradata(const std::string& path,
                                                     const std::atomic<bool>* cancel = nullptr);

    // Keeps only the tracks `list` names ("v:0,a:1*,s:0"; see track_choice.h): the first
    // picture track listed and the sound track marked with a star (else the first listed)
    // become the chosen streams (none when the list has none of that kind), and only the
    // listed ones are side tracks; a listed subtitle track keeps its default flag only when
    // starred. "" keeps every track as it is.
    Status KeepTracks(const std::string& list);
    // Whether stream `index` is kept (every stream is, without a list).
    bool Kept(int index) const {
        return kept_.empty() || (index >= 0 && static_cast<size_t>(index) < kept_.size() && kept_[index]);
    }

    // Opens decoders for the chosen streams. A video decoder that cannot be opened is
    // a failure; an audio stream whose decoder cannot be opened is dropped. `withAudio`
    // false leaves the audio stream alone. `frameThreads` false decodes with slice
    // threads only, which returns the first picture without the delay of frame threads.
    Status OpenDecoders(bool withAudio = true, bool frameThreads = true);

    AVFormatContext* ctx() const { return ctx_.get(); }
    // Whether the streams were analysed (always with Analysis::Full; with Analysis::Header
    // when the header did not tell enough).
    bool analysed() const { return analysed_; }
    AVStream* video() const { return videoIndex_ >= 0 ? ctx_->streams[videoIndex_] : nullptr; }
    AVStream* audio() const { return audioIndex_ >= 0 ? ctx_->streams[audioIndex_] : nullptr; }
    // Its sound tracks: the main one first, then the others in the file's order.
    std::vector<int> SoundTracks() const;
    int videoIndex() const { return videoIndex_; }
    int audioIndex() const { return audioIndex_; }
    AVCodecContext* videoDecoder() const { return videoDec_.get(); }
    AVCodecContext* audioDecoder() const { return audioDec_.get(); }
    void DropAudio() {
        audioIndex_ = -1;
        audioDec_.reset();
    }

    // Whether the container hides the first pictures of the video: an MP4 or MOV edit list
    // that starts after them, as phones write when they trim a clip. Those pictures carry
    // times before startMicros() and are needed to decode the ones shown.
    bool HidesLeadingPictures() const;

    // The container's start time in microseconds, 0 when it has none.
    int64_t startMicros() const;
    // The duration in microseconds along the continuous timeline (see ReadPacket), 0
    // when unknown.
    int64_t durationMicros() const { return duration_; }

    // Reads the next packet like av_read_frame, with its times on one continuous
    // timeline: a transport stream whose clock starts again (recordings joined byte by
    // byte) continues where the part before it ended, and the pictures of a raw video
    // stream, which carry no times, are timed from the frame rate.
    int ReadPacket(AVPacket* pkt);
    // How far reading has reached since the last seek: the largest end (time + duration) of
    // a picture or sound packet read, in microseconds on the same timeline; INT64_MIN before
    // any. Where it stays short of the part asked for, the file ended there.
    int64_t readEndMicros() const { return readEnd_; }

    // Moves the read position to the key frame at or before `targetMicros` (an absolute
    // time of the file's own timeline). Formats with timestamp discontinuities (MPEG-TS)
    // are positioned by bytes, stepping back until the first key frame found lies at or
    // before the target. Video with B-frames is checked the same way, as some demuxers (FLV)
    // seek by decode time and can land on a key frame shown after the target. Returns false
    // when no seek was possible (reading goes on from wherever the input is). Reads work again
    // after it whatever ended the ones before (the end, an error, the interrupt callback).
    bool SeekTo(int64_t targetMicros);
    // As SeekTo, and the sound frame that holds the key frame's time is read too: Matroska's
    // seek drops every packet before the key frame it lands on, sound included, and the sound
    // frame that starts before it is the one a join's seam may need first. There the read
    // position moves on to any packet from a little before the key frame (pictures before
    // it come too, and cannot be decoded: a reader waits for the key frame).
    bool SeekToWithSoundBefore(int64_t targetMicros);

private:
    std::vector<bool> kept_;  // by stream index; empty: every stream
    bool Reposition(int64_t targetMicros);
    // From this byte on, times are moved on by `offsetMicros`.
    struct Part {
        int64_t pos;
        int64_t offsetMicros;
    };

    MediaInput() = default;
    // Opens the container of a local regular file (or a URL) and reads its header only.
    static Status OpenContainer(const std::string& path, const std::atomic<bool>* cancel, InputFormatPtr& ctx);
    void ChooseStreams();
    bool ByteSeekTo(int64_t targetMicros);
    bool SeekFrame(int64_t targetMicros);  // the demuxer's own seek, to any frame if not to a key frame
    // Reads until the first key frame of the main stream; its time in microseconds, or
    // AV_NOPTS_VALUE when none was found.
    int64_t PeekFirstKeyMicros();
    int64_t OffsetAt(int64_t pos) const;
    // The first time (decode time where there is one) of the main stream read from byte
    // `pos` on, raw as the demuxer gives it; AV_NOPTS_VALUE when none.
    int64_t RawTimeAt(int64_t pos);
    // Finds where the clock of a seekable stream starts again and measures the parts.
    void FindClockResets();
    void FindResetBetween(int64_t lo, int64_t loTime, int64_t hi);
    // Counts (or, for a long stream, estimates) the pictures of a raw video stream.
    void MeasureRawStream();
    bool Rewind();
    bool RawSeekTo(int64_t targetMicros);

    InputFormatPtr ctx_;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    int64_t duration_ = 0;
    std::vector<Part> parts_;       // clock resets by byte position, in file order
    int64_t lastOffset_ = 0;        // offset of the last packet read
    bool rawVideo_ = false;         // video packets carry no times: counted instead
    int64_t rawPictures_ = 0;       // video packets read since the start
    AVRational rawRate_ = {25, 1};  // pictures a second of a raw stream
    int64_t readEnd_ = INT64_MIN;   // see readEndMicros
    bool analysed_ = false;
    CodecContextPtr videoDec_;
    CodecContextPtr audioDec_;
};

}  // namespace ulvane
