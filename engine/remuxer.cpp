// Direct copy of packets from an input to the output, with timestamps kept.
//
// Each packet keeps its own timing: its timestamps are taken to microseconds, moved so
// that this input's first key frame lands on ctx.offsetMicros, and put into the output
// stream's time base. Example: a key frame at pts 900000 in 1/90000 (10 s) in a cut whose
// input starts at offset 0 becomes pts 0; a packet 40 ms later becomes 40 ms.
#include "engine/remuxer.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>

extern "C" {
#include <libavutil/display.h>
}

#include "engine/nal_units.h"
#include "engine/side_tracks.h"
#include "engine/stream_meta.h"

namespace ulvane {

void CopyStreamLooks(const AVStream* from, AVStream* to, bool rotation) {
    size_t size = 0;
    if (const uint8_t* m = rotation ? av_stream_get_side_data(from, AV_PKT_DATA_DISPLAYMATRIX, &size) : nullptr;
        m && size >= 9 * sizeof(int32_t)) {
        if (uint8_t* dst = av_stream_new_side_data(to, AV_PKT_DATA_DISPLAYMATRIX, size)) std::copy(m, m + size, dst);
    }
    for (const char* key : {"language", "title"})
        if (const AVDictionaryEntry* e = av_dict_get(from->metadata, key, nullptr, 0))
            av_dict_set(&to->metadata, key, e->value, 0);
    // Which track a player picks, and which subtitles it shows unasked.
    constexpr int kChoice = AV_DISPOSITION_DEFAULT | AV_DISPOSITION_FORCED | AV_DISPOSITION_DUB |
                            AV_DISPOSITION_ORIGINAL | AV_DISPOSITION_COMMENT | AV_DISPOSITION_HEARING_IMPAIRED |
                            AV_DISPOSITION_VISUAL_IMPAIRED;
    to->disposition = (to->disposition & ~kChoice) | (from->disposition & kChoice);
}

static Status AddCopyStream(const AVStream* in, OutputSink& sink, AVStream*& out) {
    const AVOutputFormat* ofmt = sink.ctx()->oformat;
    const AVCodecID id = in->codecpar->codec_id;
    if (avformat_query_codec(ofmt, id, FF_COMPLIANCE_NORMAL) == 0)
        return Status::Failed(std::string("the ") + ofmt->name + " container cannot hold " + avcodec_get_name(id) +
                              " without re-encoding");
    if (Status s = sink.AddStream(out); !s.ok()) return s;
    if (avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
        return Status::Failed("cannot copy the stream parameters");
    // Keep the source's codec tag only where the output container knows it for this codec.
    const uint32_t tag = in->codecpar->codec_tag;
    unsigned int known = 0;
    if (!ofmt->codec_tag || av_codec_get_id(ofmt->codec_tag, tag) != id ||
        !av_codec_get_tag2(ofmt->codec_tag, id, &known))
        out->codecpar->codec_tag = 0;
    if (id == AV_CODEC_ID_MP3 && out->codecpar->block_align == 1) out->codecpar->block_align = 0;
    if (id == AV_CODEC_ID_AMR_NB) out->codecpar->frame_size = 160;
    if (id == AV_CODEC_ID_AMR_WB) out->codecpar->frame_size = 320;
    out->time_base = in->time_base;
    out->avg_frame_rate = in->avg_frame_rate;
    out->r_frame_rate = in->r_frame_rate;
    out->sample_aspect_ratio = in->sample_aspect_ratio;
    CopyStreamLooks(in, out, true);
    return {};
}

Status SetUpCopyStreams(const MediaInput& in, OutputSink& sink, std::string& dropped) {
    // Streams keep the source's order, except that the main sound (the default track) comes
    // first among the sound tracks, where players that take the first one find it.
    for (unsigned i = 0; i < in.ctx()->nb_streams; ++i) {
        const int index = static_cast<int>(i);
        Status s;
        if (index == in.videoIndex())
            s = AddCopyStream(in.video(), sink, sink.video);
        else if (in.audio() && !sink.audio && IsAudioStream(in.ctx()->streams[i]))
            s = AddCopyStream(in.audio(), sink, sink.audio);
        if (s.ok() && IsSideStream(in, index)) s = SetUpSideTrack(in, index, sink, dropped);
        if (!s.ok()) return s;
    }
    return {};
}

bool CarriesParameterSetsInBand(const OutputSink& sink) {
    if (!sink.video) return false;
    const char* name = sink.ctx()->oformat->name;
    const uint32_t tag = sink.video->codecpar->codec_tag;
    return std::strcmp(name, "matroska") == 0 || std::strcmp(name, "webm") == 0 || std::strcmp(name, "mpegts") == 0 ||
           tag == MKTAG('a', 'v', 'c', '3') || tag == MKTAG('h', 'e', 'v', '1');
}

// Whether a later input's H.264/HEVC pictures, coded with other parameter sets than the
// first input's, can follow them: its sets then travel in band before its first picture.
static bool ParameterSetsCanChange(const AVStream* in, const OutputSink& sink) {
    const AVCodecParameters* a = in->codecpar;
    const AVCodecParameters* o = sink.video->codecpar;
    if (a->codec_id != AV_CODEC_ID_H264 && a->codec_id != AV_CODEC_ID_HEVC) return false;
    const NalCodec codec = a->codec_id == AV_CODEC_ID_HEVC ? NalCodec::Hevc : NalCodec::H264;
    // Where readers derive one of the times from the first file's reorder depth, a file
    // with another depth would contradict it.
    return CarriesParameterSetsInBand(sink) && a->format == o->format &&
           (sink.StoresBothTimes() || a->video_delay == o->video_delay) &&
           NalFormatOf(codec, Extradata(in)).lengthSize == NalFormatOf(codec, Extradata(sink.video)).lengthSize &&
           !ParameterSetsOf(codec, Extradata(in)).empty();
}

Status CheckCopyCompatible(const MediaInput& in, const OutputSink& sink) {
    // Only the start of a file can hide pictures (an edit list); after another file they would show.
    if (in.HidesLeadingPictures())
        return Status::Failed(
            "its first pictures are hidden by its container (an edit list, as phones write when they trim), "
            "which a later part of a direct join cannot keep; join these files with re-encoding");
    auto same = [&sink](const AVStream* a, const AVStream* out, const char* kind) -> Status {
        if (!a) return {};
        if (!out)
            return Status::Failed(std::string("the first file has no ") + kind + " stream to append this file's " +
                                  kind + " to; join these files with re-encoding");
        const AVCodecParameters* in = a->codecpar;
        const AVCodecParameters* o = out->codecpar;
        if (in->codec_id != o->codec_id)
            return Status::Failed(std::string("its ") + kind + " codec (" + avcodec_get_name(in->codec_id) +
                                  ") differs from the first file's (" + avcodec_get_name(o->codec_id) +
                                  "); join these files with re-encoding");
        // Packets are only meaningful with the decoder set-up of the stream they came
        // from; the output carries the first file's, so the others must match it.
        const bool sameShape =
            kind[0] == 'v' ? in->width == o->width && in->height == o->height
                           : in->sample_rate == o->sample_rate && in->ch_layout.nb_channels == o->ch_layout.nb_channels;
        const bool sameSetup = (in->extradata_size == o->extradata_size &&
                                (in->extradata_size == 0 ||
                                 std::equal(in->extradata, in->extradata + in->extradata_size, o->extradata))) ||
                               (kind[0] == 'v' && ParameterSetsCanChange(a, sink));
        if (!sameShape || !sameSetup)
            return Status::Failed(std::string("its ") + kind +
                                  " is coded with other parameters than the first file's (" +
                                  (sameShape        ? "decoder set-up"
                                   : kind[0] == 'v' ? "picture size"
                                                    : "sample rate or channels") +
                                  "), so its packets cannot be copied after them; join these files with re-encoding");
        return {};
    };
    if (Status s = same(in.video(), sink.video, "video"); !s.ok()) return s;
    if (Status s = same(in.audio(), sink.audio, "audio"); !s.ok()) return s;
    return CheckSideTracks(in, sink);
}

namespace {

// State of copying one input.
class Copier {
public:
    Copier(MediaInput& in, OutputSink& sink, const StageContext& ctx)
        : in_(in), sink_(sink), ctx_(ctx), side_(in, sink) {
        haveVideo_ = in.video() && sink.video;
        haveAudio_ = in.audio() && sink.audio;
        videoDone_ = !haveVideo_;
        audioDone_ = !haveAudio_;
        audioLimit_ = ctx.window.endMicros;
        Note(side_.Limit(audioLimit_, !haveVideo_));
        // After another input, this one's parameter sets go before its first picture, where
        // the output can carry them: a decoder then switches to them (repeating the same sets
        // is harmless). In a join whose inputs differ in them, before each key frame too.
        const AVCodecID id = haveVideo_ ? in.video()->codecpar->codec_id : AV_CODEC_ID_NONE;
        if ((sink.packetsWritten() > 0 || ctx.repeatParameterSets) &&
            (id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC) && CarriesParameterSetsInBand(sink)) {
            nalFormat_ = NalFormatOf(id == AV_CODEC_ID_HEVC ? NalCodec::Hevc : NalCodec::H264, Extradata(in.video()));
            inputSets_ = ParameterSetsOf(nalFormat_.codec, Extradata(in.video()));
        }
    }

    Status Run();

private:
    static int64_t PtsMicros(const AVPacket* p, const AVStream* st) {
        return ToMicros(p->pts != AV_NOPTS_VALUE ? p->pts : p->dts, st->time_base);
    }
    void OnVideo(PacketPtr pkt);
    void ProcessVideo(PacketPtr pkt);
    void Commit();
    void EmitVideo(AVPacket* pkt);
    bool EmitAudio(PacketPtr pkt);
    void OnAudio(PacketPtr pkt);
    void EndVideo();
    void ReleaseHeldAudio();
    bool Emit(AVPacket* pkt, const AVStream* in, AVStream* out);
    bool failed() const { return failure_.failed(); }
    void Note(Status s) {
        if (s.failed() && !failed()) failure_ = std::move(s);
    }
    // Where the output begins is known: the side tracks begin there too.
    void Anchor(int64_t at) {
        anchor_ = at;
        Note(side_.Begin(anchor_, ctx_.offsetMicros - anchor_, false));
    }
    // How the copy ended, once the input has been read.
    Status Outcome() const;

    MediaInput& in_;
    OutputSink& sink_;
    const StageContext& ctx_;
    SideTracks side_;
    bool haveVideo_ = false, haveAudio_ = false;
    bool videoDone_ = false, audioDone_ = false;
    int64_t zero_ = AV_NOPTS_VALUE;  // the key frame the output begins with
    // The source time that lands on ctx.offsetMicros: the key frame, or where the source
    // starts to show pictures when its container hides the first ones (an edit list); the
    // pictures before it are copied with earlier times, which MP4 and MOV keep hidden.
    int64_t anchor_ = AV_NOPTS_VALUE;
    std::optional<int64_t> soundShift_;   // set with the first sound frame written
    PacketPtr beforeAnchor_;              // the last sound frame before the anchor, left out
    int64_t videoEnd_ = AV_NOPTS_VALUE;   // source end (pts + duration) of the video copied
    int64_t audioLimit_;                  // audio packets starting at or after this are not copied
    std::deque<PacketPtr> held_;          // audio waiting for the first key frame or the video's end
    int64_t candidate_ = AV_NOPTS_VALUE;  // key frame the output would begin with
    std::deque<PacketPtr> preVideo_;      // pictures from that key frame on, not yet committed
    std::deque<PacketPtr> heldVideo_;     // pictures shown after the end, kept if still referenced
    NalFormat nalFormat_;
    std::vector<NalUnit> inputSets_;  // parameter sets put before the first (or each) key frame
    bool setsSent_ = false;
    static constexpr size_t kMaxHeldPictures = 16;
    Status failure_;  // the first write that failed
    bool reachedStart_ = false;
    int64_t packetsRead_ = 0;  // something from the window's start on was copied
};

bool Copier::Emit(AVPacket* pkt, const AVStream* in, AVStream* out) {
    int64_t shift = ctx_.offsetMicros - anchor_;
    // A following input's sound runs on from the sound before (see StageContext::SoundShift).
    if (out == sink_.audio) {
        const int64_t t = PtsMicros(pkt, in);
        if (!soundShift_) soundShift_ = ctx_.SoundShift(shift, t, SoundPacketMicros(in, pkt));
        shift = *soundShift_;
        if (t != AV_NOPTS_VALUE)
            sink_.RunSoundOn(t + shift, CodedSoundMicros(in, pkt), ToMicros(pkt->duration, in->time_base));
    }
    auto move = [&](int64_t ts) {
        if (ts == AV_NOPTS_VALUE) return ts;
        return av_rescale_q(ToMicros(ts, in->time_base) + shift, AV_TIME_BASE_Q, out->time_base);
    };
    pkt->pts = move(pkt->pts);
    pkt->dts = move(pkt->dts);
    pkt->duration = av_rescale_q(pkt->duration, in->time_base, out->time_base);
    if (pkt->duration <= 0 && out == sink_.video && in->avg_frame_rate.num > 0)
        pkt->duration = av_rescale_q(1, av_inv_q(in->avg_frame_rate), out->time_base);
    pkt->stream_index = out->index;
    if (Status s = sink_.Write(pkt); !s.ok()) {
        failure_ = std::move(s);
        return false;
    }
    if (ctx_.onProgress) ctx_.onProgress(sink_.EndMicros());
    return true;
}

void Copier::ReleaseHeldAudio() {
    const AVStream* a = in_.audio();
    while (!held_.empty() && !failed()) {
        PacketPtr p = std::move(held_.front());
        held_.pop_front();
        const int64_t t = PtsMicros(p.get(), a);
        if (t == AV_NOPTS_VALUE) continue;
        if (t < anchor_) {
            beforeAnchor_ = std::move(p);
            continue;
        }
        if (videoDone_ && t >= audioLimit_) {
            audioDone_ = true;
            continue;
        }
        if (!videoDone_ && t >= ctx_.window.endMicros) {
            held_.push_front(std::move(p));  // still waiting for the video to end
            return;
        }
        EmitAudio(std::move(p));
    }
}

void Copier::EndVideo() {
    videoDone_ = true;
    heldVideo_.clear();
    // Audio runs to where the copied pictures end, so both streams end together.
    if (ctx_.window.cut && videoEnd_ != AV_NOPTS_VALUE) audioLimit_ = std::max(ctx_.window.endMicros, videoEnd_);
    Note(side_.Limit(audioLimit_, true));
    if (zero_ != AV_NOPTS_VALUE) ReleaseHeldAudio();
}

void Copier::OnVideo(PacketPtr pkt) {
    const AVStream* v = in_.video();
    const int64_t pts = PtsMicros(pkt.get(), v);
    if (zero_ != AV_NOPTS_VALUE) return ProcessVideo(std::move(pkt));
    // The output begins with the last key frame at or before the window's start: a seek
    // may land a group or more too early, so each key frame that is still not past the
    // start replaces the one before, until a picture past the start shows the choice.
    const bool key = (pkt->flags & AV_PKT_FLAG_KEY) && pts != AV_NOPTS_VALUE;
    if (key && (pts <= ctx_.window.startMicros || !ctx_.window.cut)) {
        preVideo_.clear();
        candidate_ = pts;
        preVideo_.push_back(std::move(pkt));
        if (!ctx_.window.cut) Commit();
        return;
    }
    if (candidate_ == AV_NOPTS_VALUE) {
        if (!key) return;  // nothing before a key frame can be decoded
        candidate_ = pts;  // no key frame before the start: begin with the first one
        preVideo_.push_back(std::move(pkt));
        Commit();
        return;
    }
    const bool past = pts != AV_NOPTS_VALUE && pts > ctx_.window.startMicros;
    preVideo_.push_back(std::move(pkt));
    if (past) Commit();
}

void Copier::Commit() {
    zero_ = candidate_;
    Anchor(in_.HidesLeadingPictures() ? std::max(zero_, in_.startMicros()) : zero_);
    ReleaseHeldAudio();
    std::deque<PacketPtr> pictures;
    pictures.swap(preVideo_);
    for (PacketPtr& p : pictures) {
        if (failed() || videoDone_) break;
        ProcessVideo(std::move(p));
    }
}

void Copier::ProcessVideo(PacketPtr pkt) {
    const AVStream* v = in_.video();
    const int64_t pts = PtsMicros(pkt.get(), v);
    const int64_t dts = ToMicros(pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts, v->time_base);
    // Past this decode time no picture can be shown before the end any more.
    if (dts != AV_NOPTS_VALUE && dts >= ctx_.window.endMicros) {
        EndVideo();
        return;
    }
    if (pts != AV_NOPTS_VALUE && pts < zero_) return;  // leading pictures of an open group
    if (pts != AV_NOPTS_VALUE && pts >= ctx_.window.endMicros) {
        // A picture shown after the end is kept only if a picture shown before the end
        // follows it in decode order (it is then a reference of that one). Streams with
        // a large composition delay would otherwise run on for seconds past the end.
        heldVideo_.push_back(std::move(pkt));
        if (heldVideo_.size() >= kMaxHeldPictures) EndVideo();
        return;
    }
    while (!heldVideo_.empty() && !failed()) {
        EmitVideo(heldVideo_.front().get());
        heldVideo_.pop_front();
    }
    EmitVideo(pkt.get());
}

void Copier::EmitVideo(AVPacket* pkt) {
    const AVStream* v = in_.video();
    const int64_t pts = PtsMicros(pkt, v);
    int64_t dur = ToMicros(pkt->duration, v->time_base);
    if (dur <= 0 && v->avg_frame_rate.num > 0) dur = av_rescale_q(1, av_inv_q(v->avg_frame_rate), AV_TIME_BASE_Q);
    if (pts != AV_NOPTS_VALUE) videoEnd_ = std::max(videoEnd_ == AV_NOPTS_VALUE ? pts : videoEnd_, pts + dur);
    if (pts == AV_NOPTS_VALUE || pts + dur > ctx_.window.startMicros) reachedStart_ = true;
    const bool key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
    if (inputSets_.empty() || (setsSent_ && !(key && ctx_.repeatParameterSets))) {
        Emit(pkt, v, sink_.video);
        return;
    }
    setsSent_ = true;
    std::vector<NalUnit> units = SplitNalUnits({pkt->data, static_cast<size_t>(pkt->size)}, nalFormat_.lengthSize);
    if (std::any_of(units.begin(), units.end(),
                    [&](const NalUnit& u) { return IsParameterSet(nalFormat_.codec, NalType(nalFormat_.codec, u)); })) {
        Emit(pkt, v, sink_.video);  // the picture brings its sets itself
        return;
    }
    const std::vector<uint8_t> bytes =
        JoinNalUnits(WithParameterSets(nalFormat_.codec, std::move(units), inputSets_), nalFormat_.lengthSize);
    PacketPtr withSets = PacketWith(bytes, pkt);
    if (!withSets) {
        Note(Status::Failed("out of memory"));
        return;
    }
    Emit(withSets.get(), v, sink_.video);
}

void Copier::OnAudio(PacketPtr pkt) {
    const AVStream* a = in_.audio();
    const int64_t t = PtsMicros(pkt.get(), a);
    if (zero_ == AV_NOPTS_VALUE) {
        if (haveVideo_ && !videoDone_) {
            // Wait for the first key frame; keep a bounded backlog.
            held_.push_back(std::move(pkt));
            if (held_.size() > 4096) held_.pop_front();
            return;
        }
        if (t == AV_NOPTS_VALUE) return;
        const int64_t end = t + ToMicros(pkt->duration, a->time_base);
        if (ctx_.window.cut && end <= ctx_.window.startMicros) return;
        zero_ = t;
        Anchor(t);
    }
    if (t != AV_NOPTS_VALUE && t < anchor_) {
        beforeAnchor_ = std::move(pkt);
        return;
    }
    if (haveVideo_ && !videoDone_) {
        if (t != AV_NOPTS_VALUE && t >= ctx_.window.endMicros) {
            held_.push_back(std::move(pkt));  // decided when the video ends
            if (held_.size() > 4096) held_.pop_front();
            return;
        }
    } else if (t != AV_NOPTS_VALUE && t >= audioLimit_) {
        audioDone_ = true;
        return;
    }
    EmitAudio(std::move(pkt));
}

// AMR frame sizes in bytes (with the one-byte header) by frame type, as stored in 3GP.
static int AmrFrameBytes(AVCodecID id, uint8_t header) {
    static const int kNb[16] = {13, 14, 16, 18, 20, 21, 27, 32, 6, 0, 0, 0, 0, 0, 0, 1};
    static const int kWb[16] = {18, 24, 33, 37, 41, 47, 51, 59, 61, 6, 0, 0, 0, 0, 1, 1};
    const int type = (header >> 3) & 0x0F;
    return id == AV_CODEC_ID_AMR_NB ? kNb[type] : kWb[type];
}

bool Copier::EmitAudio(PacketPtr owned) {
    AVPacket* pkt = owned.get();
    const AVStream* a = in_.audio();
    const AVCodecID id = a->codecpar->codec_id;
    const bool amr = id == AV_CODEC_ID_AMR_NB || id == AV_CODEC_ID_AMR_WB;
    if (!soundShift_ && !amr && haveVideo_) {
        const int choice =
            ctx_.SoundSeamChoice(ctx_.offsetMicros - anchor_, PtsMicros(pkt, a), SoundPacketMicros(a, pkt));
        if (choice > 0) {  // the next frame starts the sound; this one is the frame before it now
            beforeAnchor_ = std::move(owned);
            return true;
        }
        if (choice < 0 && beforeAnchor_) {
            const PacketPtr early = std::move(beforeAnchor_);
            if (!Emit(early.get(), a, sink_.audio)) return false;
        }
    }
    if (PtsMicros(pkt, a) == AV_NOPTS_VALUE ||
        PtsMicros(pkt, a) + ToMicros(pkt->duration, a->time_base) > ctx_.window.startMicros)
        reachedStart_ = true;
    if (!amr) return Emit(pkt, a, sink_.audio);
    // 3GP readers hand several AMR frames in one packet; muxers take one frame a packet.
    const int samplesPerFrame = id == AV_CODEC_ID_AMR_NB ? 160 : 320;
    const int64_t step = av_rescale_q(samplesPerFrame, {1, a->codecpar->sample_rate}, a->time_base);
    int64_t pts = pkt->pts, dts = pkt->dts;
    for (int at = 0; at < pkt->size;) {
        const int bytes = AmrFrameBytes(id, pkt->data[at]);
        if (bytes <= 0 || at + bytes > pkt->size) break;  // damaged: drop the rest
        PacketPtr frame = MakePacket();
        if (av_new_packet(frame.get(), bytes) < 0) return false;
        std::copy(pkt->data + at, pkt->data + at + bytes, frame->data);
        frame->pts = pts;
        frame->dts = dts;
        frame->duration = step;
        frame->flags = AV_PKT_FLAG_KEY;
        if (!Emit(frame.get(), a, sink_.audio)) return false;
        if (pts != AV_NOPTS_VALUE) pts += step;
        if (dts != AV_NOPTS_VALUE) dts += step;
        at += bytes;
    }
    return true;
}

Status Copier::Run() {
    const int vi = haveVideo_ ? in_.videoIndex() : -1;
    const int ai = haveAudio_ ? in_.audioIndex() : -1;
    if (ctx_.window.cut && ctx_.window.startMicros > in_.startMicros()) {
        side_.GatherShownAt(in_, ctx_.window.startMicros);
        // A following input's sound may start with the frame before the key frame.
        if (ctx_.follows && haveAudio_)
            in_.SeekToWithSoundBefore(ctx_.window.startMicros);
        else
            in_.SeekTo(ctx_.window.startMicros);
    }
    for (;;) {
        if (ctx_.cancelled()) return Status::Cancelled();
        PacketPtr pkt = MakePacket();
        // A read error past the start is taken as the end of a truncated file.
        if (in_.ReadPacket(pkt.get()) < 0) break;
        ++packetsRead_;
        if (pkt->flags & AV_PKT_FLAG_CORRUPT) continue;  // the demuxer knows it is damaged
        if (pkt->stream_index == vi && !videoDone_)
            OnVideo(std::move(pkt));
        else if (pkt->stream_index == ai && !audioDone_)
            OnAudio(std::move(pkt));
        else if (side_.Owns(pkt->stream_index))
            Note(side_.Take(std::move(pkt)));
        if (failed()) break;
        if (videoDone_ && audioDone_ && side_.CanStopReading()) break;
    }
    if (!failed()) {
        if (zero_ == AV_NOPTS_VALUE && candidate_ != AV_NOPTS_VALUE) Commit();
        if (!videoDone_) EndVideo();
        if (zero_ != AV_NOPTS_VALUE) ReleaseHeldAudio();
        Note(side_.Limit(audioLimit_, true));
    }
    return Outcome();
}

Status Copier::Outcome() const {
    if (failed()) return failure_;
    if (zero_ != AV_NOPTS_VALUE && reachedStart_) return {};
    if (zero_ != AV_NOPTS_VALUE) return Status::Failed("the marked segment lies beyond the end of the file");
    if (packetsRead_ == 0)
        return Status::Failed(ctx_.window.cut ? "the marked segment lies beyond the end of the readable file"
                                              : "the file holds no readable packet");
    return Status::Failed(ctx_.window.cut ? "nothing in the marked segment could be copied (no key frame found)"
                                          : "nothing in the file could be copied (no key frame found)");
}

}  // namespace

Status CopyInput(MediaInput& in, OutputSink& sink, const StageContext& ctx) {
    Copier copier(in, sink, ctx);
    return copier.Run();
}

}  // namespace ulvane
