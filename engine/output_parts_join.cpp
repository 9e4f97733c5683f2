// Joining a re-encoding's parts by copying: the pictures' files one after the other, the sound
// beside them.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/media_input.h"
#include "engine/output_parts.h"
#include "engine/output_sink.h"
#include "engine/stream_meta.h"

namespace ulvane {

namespace {

bool SameCoding(const AVCodecParameters* a, const AVCodecParameters* b) {
    return a->codec_id == b->codec_id && a->width == b->width && a->height == b->height &&
           a->extradata_size == b->extradata_size &&
           (a->extradata_size == 0 || std::memcmp(a->extradata, b->extradata, a->extradata_size) == 0);
}

// The pictures of the parts' files in order, each file's times moved on to where the pictures
// before it end.
class PictureRun {
public:
    PictureRun(const std::vector<std::string>& paths, AVStream* out, const std::atomic<bool>* cancel)
        : paths_(paths), out_(out), cancel_(cancel) {}

    // The next packet in the output's time base; false at the end of the last file, or with
    // `failure` set.
    bool Next(AVPacket* pkt, Status& failure) {
        for (;;) {
            if (!in_ && !OpenNext(failure)) return false;
            if (in_->ReadPacket(pkt) < 0) {
                in_.reset();
                offset_ = end_;  // the next file's first picture follows this one's last
                continue;
            }
            if (pkt->stream_index != in_->videoIndex()) {
                av_packet_unref(pkt);
                continue;
            }
            const AVStream* st = in_->video();
            if (start_ == AV_NOPTS_VALUE) start_ = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            int64_t duration = pkt->duration;
            if (duration <= 0 && st->avg_frame_rate.num > 0)
                duration = av_rescale_q(1, av_inv_q(st->avg_frame_rate), st->time_base);
            const auto move = [&](int64_t ts) {
                return ts == AV_NOPTS_VALUE ? ts : av_rescale_q(ts - start_, st->time_base, out_->time_base) + offset_;
            };
            pkt->pts = move(pkt->pts);
            pkt->dts = move(pkt->dts);
            pkt->duration = av_rescale_q(duration, st->time_base, out_->time_base);
            if (pkt->pts != AV_NOPTS_VALUE) end_ = std::max(end_, pkt->pts + pkt->duration);
            pkt->stream_index = out_->index;
            pkt->pos = -1;
            return true;
        }
    }

private:
    bool OpenNext(Status& failure) {
        if (next_ >= paths_.size()) return false;
        const std::string& path = paths_[next_++];
        if (Status s = MediaInput::Open(path, in_, cancel_, MediaInput::Analysis::Header); !s.ok()) {
            failure = Status::Failed(path + ": " + s.reason());
            return false;
        }
        if (!in_->video() || !SameCoding(in_->video()->codecpar, out_->codecpar)) {
            failure = Status::Failed(path + " holds no pictures coded as the first part's are");
            return false;
        }
        start_ = AV_NOPTS_VALUE;
        return true;
    }

    const std::vector<std::string>& paths_;
    AVStream* out_;
    const std::atomic<bool>* cancel_;
    std::unique_ptr<MediaInput> in_;
    size_t next_ = 0;
    int64_t start_ = AV_NOPTS_VALUE;  // the file's first time, its own time base
    int64_t offset_ = 0, end_ = 0;    // the output's time base
};

// A tag of the parts' container the output's does not know is left for its muxer to choose.
void KeepKnownTag(const AVOutputFormat* format, AVCodecParameters* par) {
    if (format->codec_tag && av_codec_get_id(format->codec_tag, par->codec_tag) != par->codec_id) par->codec_tag = 0;
}

int64_t DecodeMicros(const AVPacket* pkt, const AVStream* st) {
    const int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
    return ts == AV_NOPTS_VALUE ? INT64_MIN : ToMicros(ts, st->time_base);
}

}  // namespace

std::string PicturesPartExtension(const std::string& extension) {
    const AVOutputFormat* format = av_guess_format(nullptr, ("part" + extension).c_str(), nullptr);
    const bool displayTimesOnly =
        format && (std::strcmp(format->name, "matroska") == 0 || std::strcmp(format->name, "webm") == 0);
    return displayTimesOnly ? ".mov" : extension;
}

Status JoinParts(const std::vector<std::string>& pictures, const std::string& sound, const std::string& output,
                 std::string& made, const std::atomic<bool>* cancel) {
    if (pictures.empty()) return Status::Failed("no part of pictures to join");
    std::unique_ptr<MediaInput> first, heard;
    if (Status s = MediaInput::Open(pictures.front(), first, cancel, MediaInput::Analysis::Header); !s.ok())
        return Status::Failed(pictures.front() + ": " + s.reason());
    if (!first->video()) return Status::Failed(pictures.front() + " holds no pictures");
    if (!sound.empty()) {
        if (Status s = MediaInput::Open(sound, heard, cancel, MediaInput::Analysis::Header); !s.ok())
            return Status::Failed(sound + ": " + s.reason());
    }
    OutputSink sink;
    if (Status s = sink.Create(output, cancel); !s.ok()) return s;
    AVStream* video = nullptr;
    if (Status s = sink.AddStream(video); !s.ok()) return s;
    if (avcodec_parameters_copy(video->codecpar, first->video()->codecpar) < 0) return Status::Failed("out of memory");
    KeepKnownTag(sink.ctx()->oformat, video->codecpar);
    video->time_base = first->video()->time_base;
    video->avg_frame_rate = first->video()->avg_frame_rate;
    video->r_frame_rate = first->video()->r_frame_rate;
    video->sample_aspect_ratio = first->video()->sample_aspect_ratio;
    CopyStreamLooks(first->video(), video, false);
    sink.video = video;
    // The sound file's tracks by its stream index; the first is the main one.
    std::vector<AVStream*> soundOut(heard ? heard->ctx()->nb_streams : 0, nullptr);
    for (int index : heard ? heard->SoundTracks() : std::vector<int>{}) {
        const AVStream* from = heard->ctx()->streams[index];
        AVStream* to = nullptr;
        if (Status s = sink.AddStream(to); !s.ok()) return s;
        if (avcodec_parameters_copy(to->codecpar, from->codecpar) < 0) return Status::Failed("out of memory");
        KeepKnownTag(sink.ctx()->oformat, to->codecpar);
        to->time_base = from->time_base;
        CopyStreamLooks(from, to, false);
        to->disposition = from->disposition;
        soundOut[static_cast<size_t>(index)] = to;
        if (!sink.audio) sink.audio = to;
    }
    first.reset();
    if (Status s = sink.Open(); !s.ok()) return s;

    // Written in decode order, the picture or the sound that comes first.
    PictureRun run(pictures, video, cancel);
    PacketPtr picture = MakePacket(), heardPkt = MakePacket();
    Status failure;
    bool havePicture = run.Next(picture.get(), failure), haveSound = false;
    const auto nextSound = [&] {
        while (heard && heard->ReadPacket(heardPkt.get()) >= 0) {
            const int index = heardPkt->stream_index;
            if (index >= 0 && static_cast<size_t>(index) < soundOut.size() && soundOut[static_cast<size_t>(index)])
                return true;
            av_packet_unref(heardPkt.get());
        }
        return false;
    };
    haveSound = nextSound();
    while (failure.ok() && (havePicture || haveSound)) {
        if (cancel && cancel->load()) {
            sink.Abandon();
            return Status::Cancelled();
        }
        const AVStream* heardSt = haveSound ? heard->ctx()->streams[heardPkt->stream_index] : nullptr;
        const bool pictureFirst =
            havePicture && (!haveSound || DecodeMicros(picture.get(), video) <= DecodeMicros(heardPkt.get(), heardSt));
        Status written;
        if (pictureFirst) {
            written = sink.Write(picture.get());
            havePicture = run.Next(picture.get(), failure);
        } else {
            AVStream* to = soundOut[static_cast<size_t>(heardPkt->stream_index)];
            av_packet_rescale_ts(heardPkt.get(), heardSt->time_base, to->time_base);
            heardPkt->stream_index = to->index;
            heardPkt->pos = -1;
            written = sink.Write(heardPkt.get());
            haveSound = nextSound();
        }
        if (!written.ok()) failure = written;
    }
    if (!failure.ok()) {
        sink.Abandon();
        return failure;
    }
    if (Status s = sink.Finish(); !s.ok()) return s;
    made = sink.path();
    return {};
}

}  // namespace ulvane
