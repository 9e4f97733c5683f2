// The job record shared by the conversion worker and whoever launched it.
//
// The launcher fills the job parameters, then starts RunConversion on a worker thread.
// While the worker runs, the two threads share only the atomic fields below: the worker
// writes progressPercent, inputStatus and currentInput; the launcher writes
// cancelRequested. Everything else the worker needs lives in objects owned by the
// worker itself, so a probe or a grab can never trip over a job's working state.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace ulvane {

// A job takes at most this many inputs (clips: a segments export has one per segment);
// inputStatus has one spare entry. A join list holds at most kMaxJoinFiles files.
inline constexpr int kMaxInputs = 9999;
inline constexpr int kMaxJoinFiles = 999;

enum InputState : uint8_t {
    kInputPending = 0xFF,
    kInputDone = 1,
    kInputFailed = 2,
};

// A chapter of a media file, on the file's own timeline (0 = its start).
struct MediaChapter {
    int64_t startMicros = 0, endMicros = 0;
    std::string title;  // "" when it has none
};

// What ProbeMediaFile leaves behind: the description of one media file.
struct MediaInfo {
    // How long the file lasts: where its pictures and sound really end. A file cut short (a
    // download stopped) keeps in its header the length it was meant to have, which is
    // `statedDurationMicros`; it is more than `durationMicros` only for such a file.
    int64_t durationMicros = 0;
    int64_t statedDurationMicros = 0;
    int64_t rangeStartMicros = 0;
    int64_t rangeEndMicros = 0;
    int32_t videoWidth = 0;
    int32_t videoHeight = 0;
    int32_t frameRateNum = 0;
    int32_t frameRateDen = 0;
    // The clockwise turn (0, 90, 180 or 270 degrees) the display matrix asks for to show the
    // picture upright; 0 without one.
    int32_t rotationDegrees = 0;
    // The container hides the first pictures (an edit list): such a file can only start
    // a direct join, never follow another file in it.
    bool hidesLeadingPictures = false;
    // What a direct join compares besides type and picture size: the codecs by FFmpeg's
    // name ("" without such a stream) and the sound's shape.
    std::string videoCodec;
    std::string audioCodec;
    // How many pictures the video's decoder holds back to put them in display order (B-frames);
    // -1 when unknown or without video.
    int32_t videoReorderDepth = -1;
    int32_t sampleRate = 0;
    int32_t channels = 0;
    // How many sound and subtitle tracks the file holds.
    int32_t audioTracks = 0;
    int32_t subtitleTracks = 0;
    // The codecs of the tracks a direct job copies besides the main video and sound (more
    // sound tracks, subtitles), in the file's order: "ac3, subrip"; "" when none.
    std::string otherTracks;
    // The file's chapters, in its order.
    std::vector<MediaChapter> chapters;
};

// The output of a re-encoding job: codecs, rates and picture size. The launch fills them
// from the chosen preset rows; the transcoder reads them straight from the job.
struct OutputParameters {
    int32_t videoCodecId = 0;  // FFmpeg AVCodecID
    int32_t audioCodecId = 0;
    int32_t videoBitRate = 0;  // bit/s
    // Constant quality on the x264 scale (CRF, 0-51, lower is better) in place of the bit
    // rate; 0 encodes at `videoBitRate`. Other encoders take their own equivalent.
    int32_t videoQuality = 0;
    // The output picture size; 0 x 0 keeps the source's (the first input's), upright.
    int32_t outputWidth = 0;
    int32_t outputHeight = 0;
    double outputFrameRate = 0;  // 0: the source's rate
    int32_t audioBitRate = 0;    // bit/s
    int32_t sampleRate = 0;      // Hz
    int32_t channels = 2;
    // The pictures turned this much more clockwise than the source shows them (0, 90, 180 or
    // 270): a re-encoding turns them, a direct job writes the turn as the display rotation.
    int32_t rotateDegrees = 0;
};

// One part of a re-encoding's output, made by a job of its own so that the parts can be made
// at once (on several machines) and joined by copying: the pictures between two key frames of
// the sources, or the whole sound. A part places its pictures and sound exactly where the
// whole job would, so that the parts joined are the whole job's pictures and sound.
struct OutputPart {
    enum class Kind : uint8_t { Whole, Pictures, Sound };
    Kind kind = Kind::Whole;
    // Pictures: from the key frame shown at `fromMicros` of input `fromInput` (source time from
    // the file's start; fromInput -1: the job's first picture) up to, not including, the key
    // frame shown at `toMicros` of input `toInput` (toInput -1: the job's last picture). The
    // output's first picture is then that key frame, encoded as one.
    int32_t fromInput = -1;
    int64_t fromMicros = 0;
    int32_t toInput = -1;
    int64_t toMicros = 0;
    // Threads of the video encoder; 0 its usual number. Parts made at once share the cores.
    int32_t encoderThreads = 0;
};

// The job record. Its output parameters (read only when `reencode` is set) are the
// OutputParameters it derives from, so they keep their names on the record.
struct ConversionJob : OutputParameters {
    ConversionJob();
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    // --- job parameters: written by the launch before the worker starts --------
    bool joinMode = false;  // false: cut of inputPaths[0]; true: join of every input
    bool reencode = false;  // false: packets copied; true: decoded and encoded again
    // A direct cut that starts on the very picture at its start: the pictures before the
    // first key frame after it are encoded again to match the source (see exact_cut.h).
    bool exactCut = false;
    int32_t inputCount = 0;
    int32_t displayCount = 0;
    std::vector<std::string> inputPaths;  // UTF-8, join order
    // UTF-8; entry 0 is the file created: the free name the launch chose, and once the job
    // is done the name the file got (the next "(n)" one when another job took it meanwhile).
    std::vector<std::string> outputPaths;
    // The segment taken of each input, in seconds of the source's own timeline (0 = file
    // start): a cut's input 0 always; an input of a join (a clip) when segmentUsed[i] is set,
    // else the whole file.
    std::vector<double> segmentStart;
    std::vector<double> segmentEnd;
    std::vector<double> segmentLength;
    std::vector<uint8_t> segmentUsed;
    // The output plan: one file for the whole job (entry 0 of outputPaths), or, when set, one
    // file per input, entry i its own (and after the job the name it got).
    bool separateOutputs = false;
    // With separateOutputs: input i goes on into the file of input i - 1 (a group of clips
    // merged into one file), its entry of outputPaths the same; 0 or no entry starts a file.
    std::vector<uint8_t> sharesOutput;
    // A chapter per input, named by clipLabels[i], replacing the sources' chapters: in the one
    // file, or with separateOutputs in each file of several inputs.
    bool clipChapters = false;
    std::vector<std::string> clipLabels;
    // The tracks kept of input i, as a list "v:0,a:1,s:0" (see track_choice.h; the first sound
    // listed is the output's main and default one); "" keeps every track.
    std::vector<std::string> keepTracks;
    int32_t joinTotalSeconds = 0;  // join: the progress scale
    OutputPart part;               // a re-encoding's part; Whole for every other job

    // --- shared while a job runs ------------------------------------------------
    std::atomic<int32_t> progressPercent{0};  // 0..100 while running
    std::atomic<int32_t> currentInput{-1};    // -1 idle; index in work; inputCount finished
    std::array<std::atomic<uint8_t>, kMaxInputs + 1> inputStatus{};
    std::atomic<bool> cancelRequested{false};

    // Why input i failed, in plain words. Written by the worker before it advances
    // currentInput past i, so a reader that saw currentInput > i may read entry i.
    std::vector<std::string> inputError;
    // What the job did other than asked (an exact cut that fell back, tracks left out), in
    // plain words, "; " between two; "" when nothing. Written by the worker before currentInput reaches inputCount.
    std::string notice;

    // --- probe results and the file the probe or grabber opens -----------------
    MediaInfo info;
    std::string probePath;
    // The tracks of probePath the probe describes, as keepTracks names them; "" every track.
    // A direct join compares its files by the tracks it keeps of each.
    std::string probeTracks;
    std::string snapshotPath;

    // Sets the per-job fields the launch must reset before a new job.
    void PrepareForJob(int32_t inputs);
};

}  // namespace ulvane
