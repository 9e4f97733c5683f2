// The input loop of a job: opens each input, sets the output up from the first one,
// hands the input to the copy or re-encode stage, and records how it ended.
#include "engine/run_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "engine/exact_cut.h"
#include "engine/media_input.h"
#include "engine/output_sink.h"
#include "engine/picture_fit.h"
#include "engine/remuxer.h"
#include "engine/side_tracks.h"
#include "engine/transcoder.h"

namespace ulvane {

namespace {

int64_t SecondsToMicros(double s) {
    if (!std::isfinite(s)) return s > 0 ? INT64_MAX / 2 : 0;
    return static_cast<int64_t>(std::llround(std::clamp(s, -1e12, 1e12) * 1e6));
}

// The source frame rate a re-encode uses when the job asks for the source's rate.
AVRational SourceRate(const AVStream* st) {
    auto ok = [](AVRational r) { return r.num > 0 && r.den > 0 && av_q2d(r) >= 1 && av_q2d(r) <= 240; };
    if (ok(st->r_frame_rate)) return st->r_frame_rate;
    if (ok(st->avg_frame_rate)) return st->avg_frame_rate;
    return {25, 1};
}

class Worker {
public:
    explicit Worker(ConversionJob& job) : job_(job) {}
    ~Worker() { DropAhead(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    void Run();

private:
    void Fail(int i, const std::string& why) {
        if (static_cast<size_t>(i) < job_.inputError.size()) job_.inputError[i] = why;
        job_.inputStatus[i].store(kInputFailed);
    }
    bool RecordIsUsable() const;
    void RefuseRecord();
    void ScanInputs();
    Status TakeInput(int i);
    Status OpenInput(int i, std::unique_ptr<MediaInput>& in,
                     MediaInput::Analysis analysis = MediaInput::Analysis::Full);
    Status ReadyOutputFor(int i, MediaInput& in);
    Status SetUpOutput(int i, MediaInput& in);
    bool LaterInputsChangeParameterSets(const MediaInput& first) const;
    Status PlaceInput(int i, MediaInput& in, StageContext& ctx);
    // Where input i lies in the part of the output the job makes (see OutputPart).
    void PlacePart(int i, MediaInput& in, StageContext& ctx) const;
    void PlaceOnOutput(int i, MediaInput& in, StageContext& ctx);
    // Input i's part on its own timeline; false when it does not end after it starts.
    bool WindowOf(int i, const MediaInput& in, InputWindow& window) const;
    // What is told and kept of input i once its stage is over.
    Status Taken(int i, const MediaInput& in, const StageContext& ctx, std::string& notice, Status taken);
    void NoteEarlyEnd(const MediaInput& in, const StageContext& ctx, std::string& notice);
    void ReportProgress(int i, int64_t outputMicros, int64_t inputDuration);
    Status CloseOutput(bool lastPending, bool cancelled);
    void Settle(int i, bool lastPending, bool cancelled, const Status& closed);
    // Where the file that input `first` starts ends: the first input that starts another.
    int FileEnd(int first) const;
    // The inputs [first, end) into one file: set up, taken, finished (or removed). False when
    // the job was stopped.
    bool TakeFile(int first, int end);

    // The track list of input i, "" for every track.
    const std::string& Kept(int i) const {
        static const std::string all;
        return static_cast<size_t>(i) < job_.keepTracks.size() ? job_.keepTracks[i] : all;
    }
    // Whether input i is cut to its segment: a cut's input always, a join's clips.
    bool Windowed(int i) const { return !job_.joinMode || job_.segmentUsed[i] != 0; }
    void WriteClipChapters();

    // The next clip of a merged exact cut, made ready on a thread of its own while the clip
    // before it is copied: opened, read from its key frame before the start, its head encoded
    // and its seam checked. Its output place (offsetMicros, soundEndMicros) is set when taken.
    struct Ahead {
        int input = -1;
        std::atomic<bool> stop{false};
        std::unique_ptr<MediaInput> in;
        StageContext ctx;  // follows and followed as guessed when started
        std::string notice;
        std::unique_ptr<PreparedExactCut> cut;
        Status prepared;
        std::thread thread;
    };
    void StartAhead(int i);
    void PrepareAhead(Ahead& ahead);
    // Waits for the clip made ready ahead; it is handed over when it is input i's and ready.
    std::unique_ptr<Ahead> ClaimAhead(int i);
    void DropAhead();
    // Input i from the clip made ready ahead; nullopt when the output places it otherwise than
    // guessed, and it must be taken afresh.
    std::optional<Status> TakePrepared(int i, Ahead& ahead);

    ConversionJob& job_;
    std::unique_ptr<OutputSink> sink_ = std::make_unique<OutputSink>();
    std::unique_ptr<Ahead> ahead_;  // read by its thread: sink_'s set-up, the job's inputs
    // The inputs [fileFirst_, fileEnd_) go into the file in work.
    int fileFirst_ = 0, fileEnd_ = 0;
    // Where each input taken begins and ends on the output, for its chapter.
    struct Placed {
        int input;
        int64_t begin, end;
    };
    std::vector<Placed> placed_;
    std::unique_ptr<Transcoder> transcoder_;
    bool outputReady_ = false;
    // Re-encoding: which kinds the output carries (any input having them), and how many
    // sound tracks the input with the most has.
    bool anyVideo_ = false;
    size_t soundTracks_ = 0;
    std::optional<AVRational> firstRate_;
    int64_t inputBegin_ = 0;
    bool setsChange_ = false;  // a direct join's inputs differ in their parameter sets
};

bool Worker::RecordIsUsable() const {
    const int n = job_.inputCount;
    const size_t count = static_cast<size_t>(std::max(n, 0));
    const size_t segments = job_.joinMode ? count : std::min<size_t>(count, 1);
    const bool segmentKnown = job_.segmentStart.size() >= segments && job_.segmentEnd.size() >= segments &&
                              job_.segmentLength.size() >= segments &&
                              (!job_.joinMode || job_.segmentUsed.size() >= count) &&
                              (!job_.clipChapters || job_.clipLabels.size() >= count);
    return n <= kMaxInputs && job_.inputPaths.size() >= count && job_.outputPaths.size() >= count &&
           job_.inputError.size() >= count && segmentKnown;
}

void Worker::RefuseRecord() {
    // A job the record cannot describe is refused instead of reading or writing past it.
    for (auto& s : job_.inputStatus) s.store(kInputFailed);
    job_.progressPercent.store(0);
    job_.currentInput.store(job_.inputCount);
}

void Worker::ScanInputs() {
    std::set<std::pair<std::string, std::string>> seen;  // the clips of one file tell the same
    for (int i = 0; i < job_.inputCount; ++i) {
        std::unique_ptr<MediaInput> in;
        if (job_.cancelRequested.load()) return;
        if (!seen.insert({job_.inputPaths[i], Kept(i)}).second) continue;
        if (!MediaInput::Open(job_.inputPaths[i], in, &job_.cancelRequested).ok() || !in->KeepTracks(Kept(i)).ok())
            continue;
        anyVideo_ |= in->video() != nullptr;
        soundTracks_ = std::max(soundTracks_, in->SoundTracks().size());
        if (in->video() && !firstRate_) firstRate_ = SourceRate(in->video());
        if (!job_.joinMode) break;
    }
}

Status Worker::OpenInput(int i, std::unique_ptr<MediaInput>& in, MediaInput::Analysis analysis) {
    if (Status s = MediaInput::Open(job_.inputPaths[i], in, &job_.cancelRequested, analysis); !s.ok()) return s;
    if (Status s = in->KeepTracks(Kept(i)); !s.ok()) return s;
    if (job_.reencode) return in->OpenDecoders();
    return {};
}

Status Worker::ReadyOutputFor(int i, MediaInput& in) {
    if (!OutputSink::GuessFormat(job_.outputPaths[i]))
        return Status::Failed("no output container for the name " + job_.outputPaths[i]);
    if (i == fileFirst_) return SetUpOutput(i, in);
    // The output's streams and header come from the first file.
    if (!outputReady_) return Status::Failed("no output file could be made, because the first file failed");
    if (!job_.reencode) return CheckCopyCompatible(in, *sink_);
    return {};
}

Status Worker::SetUpOutput(int i, MediaInput& in) {
    if (Status s = sink_->Create(job_.outputPaths[i], &job_.cancelRequested); !s.ok()) return s;
    Status streams;
    if (job_.reencode) {
        transcoder_ = std::make_unique<Transcoder>();
        const bool video = anyVideo_ || in.video();
        // Every sound track where the container holds several; Flash Video and Windows
        // Media files keep the main one.
        const AVOutputFormat* ofmt = sink_->ctx()->oformat;
        const size_t most = std::max(soundTracks_, in.SoundTracks().size());
        const bool several = HoldsSeveralSoundTracks(ofmt) && std::strcmp(ofmt->name, "asf") != 0;
        std::vector<const AVStream*> looks;
        for (int index : in.SoundTracks()) looks.push_back(in.ctx()->streams[index]);
        int tracks = static_cast<int>(several ? most : std::min<size_t>(most, 1));
        // A part of the output carries its pictures or its sound, and times the other.
        const OutputPart::Kind part = job_.part.kind;
        if (part != OutputPart::Kind::Whole) transcoder_->MakePart(job_.part, video, tracks > 0);
        if (part == OutputPart::Kind::Pictures) tracks = 0;
        streams = transcoder_->SetUp(*sink_, job_, video && part != OutputPart::Kind::Sound, tracks, in.video(), looks,
                                     firstRate_.value_or(in.video() ? SourceRate(in.video()) : AVRational{25, 1}));
    } else {
        std::string dropped;
        streams = SetUpCopyStreams(in, *sink_, dropped);
        if (!dropped.empty())
            AddNotice(job_.notice, std::string("left out, as the ") + sink_->ctx()->oformat->name +
                                       " container cannot hold them: " + dropped);
        // A turn asked for (the existing side data of its type is replaced) is the display rotation.
        if (streams.ok() && job_.rotateDegrees % 360 != 0 && sink_->video) {
            int32_t matrix[9];
            TurnedDisplayMatrix(in.video(), job_.rotateDegrees, matrix);
            if (uint8_t* dst = av_stream_new_side_data(sink_->video, AV_PKT_DATA_DISPLAYMATRIX, sizeof(matrix)))
                std::memcpy(dst, matrix, sizeof(matrix));
        }
        // An exact cut's encoded pictures carry their own parameter sets.
        if (streams.ok() && job_.exactCut) AllowInBandParameterSets(in, *sink_);
        if (streams.ok() && job_.joinMode && fileEnd_ - fileFirst_ > 1) {
            setsChange_ = LaterInputsChangeParameterSets(in);
            if (setsChange_) AllowInBandParameterSets(in, *sink_);
        }
    }
    if (!streams.ok()) return streams;
    // With a track list, the main sound track (the starred one, else the first listed), which
    // is the output's first, is the one players pick.
    if (!Kept(i).empty()) {
        bool first = true;
        for (unsigned k = 0; k < sink_->ctx()->nb_streams; ++k) {
            AVStream* st = sink_->ctx()->streams[k];
            if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
            st->disposition =
                first ? st->disposition | AV_DISPOSITION_DEFAULT : st->disposition & ~AV_DISPOSITION_DEFAULT;
            first = false;
        }
    }
    if (Status s = sink_->Open(); !s.ok()) return s;
    outputReady_ = true;
    return {};
}

// Whether a later input of a direct join codes its pictures with other parameter sets than
// `first`, as far as the containers' headers tell (MP4 and Matroska do). An MP4 or MOV
// output must then be written so that it can carry them in band, which is decided with its
// header, and every key frame gets its input's sets.
bool Worker::LaterInputsChangeParameterSets(const MediaInput& first) const {
    if (!first.video()) return false;
    const AVCodecID id = first.video()->codecpar->codec_id;
    if (id != AV_CODEC_ID_H264 && id != AV_CODEC_ID_HEVC) return false;
    const std::span<const uint8_t> mine = Extradata(first.video());
    for (int k = fileFirst_ + 1; k < fileEnd_; ++k) {
        if (job_.cancelRequested.load()) return false;
        const std::vector<uint8_t> theirs = MediaInput::HeaderVideoExtradata(job_.inputPaths[k], &job_.cancelRequested);
        if (!theirs.empty() && !std::equal(theirs.begin(), theirs.end(), mine.begin(), mine.end())) return true;
    }
    return false;
}

// Where input i starts on the output, which part of it to take, and how its progress shows.
Status Worker::PlaceInput(int i, MediaInput& in, StageContext& ctx) {
    PlaceOnOutput(i, in, ctx);
    if (Windowed(i)) {
        if (!WindowOf(i, in, ctx.window)) return Status::Failed("the end of the segment is not after its start");
        if (job_.segmentStart[i] > 0) in.SeekTo(ctx.window.startMicros);
    }
    PlacePart(i, in, ctx);
    return {};
}

bool Worker::WindowOf(int i, const MediaInput& in, InputWindow& window) const {
    window.cut = true;
    window.startMicros = in.startMicros() + SecondsToMicros(job_.segmentStart[i]);
    window.endMicros = in.startMicros() + SecondsToMicros(job_.segmentEnd[i]);
    return window.endMicros > window.startMicros;
}

void Worker::PlaceOnOutput(int i, MediaInput& in, StageContext& ctx) {
    ctx.cancel = &job_.cancelRequested;
    ctx.repeatParameterSets = setsChange_;
    // A copy follows on from the pictures before; its sound is placed by the stage.
    const bool first = i == fileFirst_;
    const int64_t picturesEnd = sink_->EndMicros(sink_->video);
    ctx.offsetMicros = first             ? 0
                       : transcoder_     ? transcoder_->EndMicros()
                       : picturesEnd > 0 ? picturesEnd
                                         : sink_->EndMicros();
    ctx.follows = !first && !transcoder_ && picturesEnd > 0;
    ctx.soundEndMicros = sink_->SoundEndMicros();
    ctx.followed = job_.joinMode && i + 1 < fileEnd_;
    inputBegin_ = ctx.offsetMicros;
    const int64_t inputDuration = in.durationMicros();
    ctx.onProgress = [this, i, inputDuration](int64_t us) { ReportProgress(i, us, inputDuration); };
}

void Worker::PlacePart(int i, MediaInput& in, StageContext& ctx) const {
    const OutputPart& part = job_.part;
    if (part.kind != OutputPart::Kind::Pictures) return;
    ctx.passOver = i < part.fromInput;
    if (i == part.fromInput) {
        // Decoded from the part's first key frame on, as the whole job decodes it.
        ctx.picturesFrom = in.startMicros() + part.fromMicros;
        in.SeekTo(ctx.picturesFrom);
    }
    if (i == part.toInput) ctx.picturesTo = in.startMicros() + part.toMicros;
}

// Opens input i, readies the output for it and runs the copy or re-encode stage. The
// input is released on return, before the next one opens.
Status Worker::TakeInput(int i) {
    if (std::unique_ptr<Ahead> ahead = ClaimAhead(i)) {
        if (std::optional<Status> taken = TakePrepared(i, *ahead)) return *taken;
    }
    std::unique_ptr<MediaInput> in;
    // A later file of a direct join is copied onto streams made from the first one, so
    // what its Matroska or MP4 header tells is enough, unless it differs from the first:
    // then it is analysed before it is judged. This spares decoding for each of many files.
    const bool light = i > fileFirst_ && job_.joinMode && !job_.reencode && !Windowed(i);
    if (Status s = OpenInput(i, in, light ? MediaInput::Analysis::Header : MediaInput::Analysis::Full); !s.ok())
        return s;
    Status ready = ReadyOutputFor(i, *in);
    if (light && !ready.ok() && !ready.cancelled()) {
        if (Status s = OpenInput(i, in); !s.ok()) return s;
        ready = ReadyOutputFor(i, *in);
    }
    if (!ready.ok()) return ready;
    StageContext ctx;
    if (Status s = PlaceInput(i, *in, ctx); !s.ok()) return s;
    StartAhead(i + 1);
    std::string notice;
    Status taken = transcoder_                       ? transcoder_->Process(*in, *sink_, ctx)
                   : job_.exactCut && ctx.window.cut ? ExactCutInput(*in, *sink_, ctx, notice)
                                                     : CopyInput(*in, *sink_, ctx);
    return Taken(i, *in, ctx, notice, taken);
}

Status Worker::Taken(int i, const MediaInput& in, const StageContext& ctx, std::string& notice, Status taken) {
    if (taken.ok()) NoteEarlyEnd(in, ctx, notice);
    // What a job of several clips tells is said of each clip by its number.
    AddNotice(job_.notice, notice.empty() || !job_.joinMode ? notice : "clip " + std::to_string(i + 1) + ": " + notice);
    if (taken.ok()) {
        placed_.push_back({i, inputBegin_, transcoder_ ? transcoder_->EndMicros() : sink_->EndMicros()});
    }
    return taken;
}

// Only the clips of a merged exact cut are made ready ahead, once the output is set up: each
// then costs the copy of its rest, while the next one's head is encoded meanwhile.
void Worker::StartAhead(int i) {
    if (ahead_ || i <= fileFirst_ || i >= fileEnd_ || !job_.joinMode || !job_.exactCut || job_.reencode ||
        job_.separateOutputs || !Windowed(i) || !outputReady_ || !sink_->video || job_.cancelRequested.load())
        return;
    auto ahead = std::make_unique<Ahead>();
    ahead->input = i;
    ahead->ctx.cancel = &ahead->stop;
    ahead->ctx.follows = true;  // the clips before write pictures; checked when it is taken
    ahead->ctx.followed = i + 1 < fileEnd_;
    Ahead* raw = ahead.get();
    ahead->thread = std::thread([this, raw] { PrepareAhead(*raw); });
    ahead_ = std::move(ahead);
}

// On the clip's own thread: it reads the job's inputs and sink_'s set-up, and writes nothing
// but `ahead`.
void Worker::PrepareAhead(Ahead& ahead) {
    const int i = ahead.input;
    if (Status s = MediaInput::Open(job_.inputPaths[i], ahead.in, &ahead.stop); !s.ok()) {
        ahead.prepared = s;
        return;
    }
    std::string why;
    if (!ahead.in->KeepTracks(Kept(i)).ok() || !ahead.in->video() || !CanCutExactly(*ahead.in, why) ||
        !WindowOf(i, *ahead.in, ahead.ctx.window)) {
        ahead.prepared = Status::Failed(why);  // taken afresh, which tells why
        return;
    }
    ahead.cut = std::make_unique<PreparedExactCut>(*ahead.in, *sink_, ahead.ctx, ahead.notice);
    ahead.prepared = ahead.cut->Prepare();
}

std::unique_ptr<Worker::Ahead> Worker::ClaimAhead(int i) {
    if (!ahead_) return nullptr;
    ahead_->thread.join();
    std::unique_ptr<Ahead> ahead = std::move(ahead_);
    if (ahead->input != i || !ahead->prepared.ok() || !ahead->cut) return nullptr;
    return ahead;
}

void Worker::DropAhead() {
    if (!ahead_) return;
    ahead_->stop.store(true);
    ahead_->thread.join();
    ahead_.reset();
}

std::optional<Status> Worker::TakePrepared(int i, Ahead& ahead) {
    const bool follows = ahead.ctx.follows, followed = ahead.ctx.followed;
    if (Status ready = ReadyOutputFor(i, *ahead.in); !ready.ok()) return ready;
    PlaceOnOutput(i, *ahead.in, ahead.ctx);
    if (ahead.ctx.follows != follows || ahead.ctx.followed != followed) return std::nullopt;
    // From here the job's cancel ends its reads, as it does those of an input opened now.
    ahead.in->ctx()->interrupt_callback = InterruptOn(&job_.cancelRequested);
    StartAhead(i + 1);
    const Status taken = ahead.cut->Complete();
    return Taken(i, *ahead.in, ahead.ctx, ahead.notice, taken);
}

// A cut whose source ends before the segment does (a truncated file, or one still being
// written) gives a shorter output; the notice says where the source ended. Every stage
// reads through the input, which tells how far its pictures and sound reached.
void Worker::NoteEarlyEnd(const MediaInput& in, const StageContext& ctx, std::string& notice) {
    // A container's length can run a little past its last packet; a window ending on it is
    // no early end.
    constexpr int64_t kSlackMicros = 500000;
    const int64_t reached = in.readEndMicros();
    if (!ctx.window.cut || reached == INT64_MIN || reached >= ctx.window.endMicros - kSlackMicros) return;
    char text[160];
    std::snprintf(text, sizeof text, "the source ends at %.2f s, before the end of the segment at %.2f s",
                  static_cast<double>(reached - in.startMicros()) / 1e6,
                  static_cast<double>(ctx.window.endMicros - in.startMicros()) / 1e6);
    AddNotice(notice, std::string(text) + "; the output is shorter");
}

void Worker::ReportProgress(int i, int64_t outputMicros, int64_t inputDuration) {
    double pct = 0;
    if (job_.separateOutputs && job_.joinTotalSeconds > 0) {
        // Each file starts its own clock: the files before it count with their lengths.
        double before = 0;
        for (int k = 0; k < fileFirst_; ++k) before += job_.segmentUsed[k] ? job_.segmentLength[k] : 0;
        pct = (before * 1e6 + static_cast<double>(outputMicros)) / (job_.joinTotalSeconds * 1e4);
    } else if (!job_.joinMode) {
        const double len = job_.segmentLength.empty() ? 0 : job_.segmentLength[0];
        pct = len > 0 ? static_cast<double>(outputMicros) / (len * 1e4) : 0;
    } else if (job_.joinTotalSeconds > 0) {
        pct = static_cast<double>(outputMicros) / (job_.joinTotalSeconds * 1e4);
    } else {
        const double within =
            inputDuration > 0
                ? std::min(1.0, static_cast<double>(outputMicros - inputBegin_) / static_cast<double>(inputDuration))
                : 0;
        pct = (i + std::max(0.0, within)) * 100.0 / job_.inputCount;
    }
    // 100 is kept for a finished output: writing the end of the file can still fail.
    job_.progressPercent.store(std::clamp(static_cast<int32_t>(pct), 0, 99), std::memory_order_relaxed);
}

// Whenever the header was written, the file gets its trailer; a job that wrote nothing,
// whose every input failed, that was stopped, or whose writing failed removes the file it
// created. `lastPending`: the last input taken awaits the trailer.
Status Worker::CloseOutput(bool lastPending, bool cancelled) {
    DropAhead();
    bool anyDone = lastPending;
    for (int k = fileFirst_; k < fileEnd_; ++k) anyDone |= job_.inputStatus[k].load() == kInputDone;
    if (cancelled) {
        sink_->Abandon();  // an unfinished output must not pass for the whole segment
        return Status::Cancelled();
    }
    if (!outputReady_ || !anyDone) {
        sink_->Abandon();  // nothing written, or every input failed: what was written is of no use
        return Status::Failed("");
    }
    const Status flushed = transcoder_ ? transcoder_->Flush(*sink_) : Status();
    if (!flushed.ok()) {
        sink_->Abandon();
        return flushed;
    }
    // A file of one clip of a job of several files keeps the source's chapters.
    if (job_.clipChapters && (!job_.separateOutputs || fileEnd_ - fileFirst_ > 1)) WriteClipChapters();
    return sink_->Finish();
}

// Records how the file in work ended; `i` is the input the loop stopped at. Inputs that went
// into an output that was then stopped or could not be written are not done: that output is gone.
void Worker::Settle(int i, bool lastPending, bool cancelled, const Status& closed) {
    const int n = job_.inputCount;
    const bool finished = closed.ok();
    if (lastPending) job_.inputStatus[i].store(kInputDone);
    if (!finished && !closed.reason().empty()) {
        for (int k = fileFirst_; k < fileEnd_; ++k)
            if (job_.inputStatus[k].load() == kInputDone) Fail(k, closed.reason());
    } else if (cancelled) {
        for (int k = fileFirst_; k < fileEnd_; ++k)
            if (job_.inputStatus[k].load() == kInputDone || (job_.separateOutputs && k == i))
                Fail(k, "stopped before the output was finished; the unfinished output was removed");
    }
    if (finished && !job_.separateOutputs) job_.progressPercent.store(100);
    if (cancelled)
        job_.currentInput.store(std::min(i + 1, n));
    else if (fileEnd_ == n)
        job_.currentInput.store(n);
}

int Worker::FileEnd(int first) const {
    if (!job_.separateOutputs) return job_.inputCount;
    int end = first + 1;
    while (end < job_.inputCount && static_cast<size_t>(end) < job_.sharesOutput.size() && job_.sharesOutput[end])
        ++end;
    return end;
}

void Worker::Run() {
    if (!RecordIsUsable()) return RefuseRecord();
    const int n = job_.inputCount;
    for (int i = 0; i < n; ++i) job_.inputStatus[i].store(kInputPending);
    job_.progressPercent.store(0);
    job_.currentInput.store(0);
    if (n <= 0) return;
    if (job_.reencode) ScanInputs();
    // Separate files: those finished before a stop stay, each whole; the one in work is gone.
    for (int first = 0; first < n; first = fileEnd_)
        if (!TakeFile(first, FileEnd(first))) return;
    if (job_.separateOutputs) {
        job_.progressPercent.store(100);
        job_.currentInput.store(n);
    }
}

bool Worker::TakeFile(int first, int end) {
    if (first > 0) {
        sink_ = std::make_unique<OutputSink>();
        transcoder_.reset();
        outputReady_ = false;
        placed_.clear();
        setsChange_ = false;
    }
    fileFirst_ = first;
    fileEnd_ = end;
    int i = first;
    bool cancelled = false;
    // A part of pictures ends in its last input; the inputs after it are the next parts'.
    const bool partEnds = job_.part.kind == OutputPart::Kind::Pictures && job_.part.toInput >= 0;
    const int last = partEnds ? std::clamp(job_.part.toInput + 1, first + 1, end) : end;
    for (; i < last; ++i) {
        job_.currentInput.store(i);
        Status taken = job_.cancelRequested.load() ? Status::Cancelled() : TakeInput(i);
        // A cancel also interrupts FFmpeg's reads, which the stages see as the input's end.
        if (job_.cancelRequested.load()) taken = Status::Cancelled();
        if (taken.cancelled()) {
            cancelled = true;
            break;
        }
        if (taken.failed()) {
            Fail(i, taken.reason());
            // The output cannot take more once a write failed; the other inputs stay out.
            if (!sink_->writeFailure().ok()) {
                for (int k = i + 1; k < end; ++k) Fail(k, "not taken, because the output file could not be written");
                i = end;
                break;
            }
        } else if (i + 1 < last)
            job_.inputStatus[i].store(kInputDone);
        else
            break;  // the last input's status waits for the trailer
    }
    if (!cancelled && i < last)
        for (int k = last; k < end; ++k) job_.inputStatus[k].store(kInputDone);
    const bool lastPending = !cancelled && i < end && job_.inputStatus[i].load() == kInputPending;
    const Status closed = CloseOutput(lastPending, cancelled);
    // The name the file got, which differs from the one asked for when another job took
    // that meanwhile; written before currentInput tells the job is over.
    if (closed.ok())
        for (int k = first; k < (job_.separateOutputs ? end : first + 1); ++k) job_.outputPaths[k] = sink_->path();
    Settle(i, lastPending, cancelled, closed);
    return !cancelled;
}

// A chapter per input taken, where it begins and ends on the output, named by its label; the
// sources' own chapters give way to them.
void Worker::WriteClipChapters() {
    sink_->ClearChapters();
    for (size_t k = 0; k < placed_.size(); ++k) {
        // A chapter ends where the next begins, the last where the output does.
        const int64_t end = k + 1 < placed_.size() ? placed_[k + 1].begin : sink_->EndMicros();
        AVDictionary* meta = nullptr;
        av_dict_set(&meta, "title", job_.clipLabels[placed_[k].input].c_str(), 0);
        const bool added = sink_->AddChapter(placed_[k].begin, end, meta);
        av_dict_free(&meta);
        if (!added) return;
    }
}

}  // namespace

void RunConversion(ConversionJob& job) {
    InitFfmpegLogging();
    Worker worker(job);
    worker.Run();
}

}  // namespace ulvane
