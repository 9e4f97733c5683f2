// Detection of silences, black pictures and scene changes in a file: the places a user may
// want to cut at. Each detector decodes only the one stream it needs and reports findings in
// microseconds from the file's start.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/status.h"

namespace ulvane {

// One thing found: a stretch (a silence, black pictures) from `startMicros` to `endMicros`,
// or a scene change at `startMicros` (`endMicros` the same).
struct Finding {
    int64_t startMicros = 0;
    int64_t endMicros = 0;
    // Silences: the loudest sample inside, in dB below full scale. Black: the smallest share
    // of dark pixels of its pictures, 0 to 1. Scene changes: the change's score, 0 to 100.
    double score = 0;
};

// What a detector shares with the thread that asked for it: both only atomics. `cancel`,
// when set, ends the work (the findings so far are kept, the status says cancelled);
// `permille` is moved on as the file is read (0 to 1000).
struct DetectControl {
    const std::atomic<bool>* cancel = nullptr;
    std::atomic<int>* permille = nullptr;
};

// Defaults, shared by the command line and the window.
inline constexpr double kSilenceThresholdDb = -50;
inline constexpr double kBlackPixelThreshold = 0.10;
inline constexpr double kSceneThreshold = 10;
inline constexpr double kMinStretchSeconds = 0.5;

// Stretches of the main sound track at least `minSeconds` long in which no sample of any
// channel reaches `thresholdDb` (dB below full scale). The same rule and times as FFmpeg's
// `silencedetect=n=<dB>dB:d=<s>`: a silence starts at its first quiet sample and ends at the
// first loud one (or at the end of the sound).
Status DetectSilences(const std::string& path, double thresholdDb, double minSeconds, std::vector<Finding>& found,
                      const DetectControl& control = {});

// Stretches of at least `minSeconds` of black pictures in the main video: pictures of which at
// least 98% of the pixels have a brightness at or below `pixelThreshold` (0 to 1 of the
// luma range), as FFmpeg's `blackdetect=pix_th=<t>:pic_th=0.98`. A stretch ends where the
// first picture that is not black starts (or where the last picture ends).
Status DetectBlack(const std::string& path, double pixelThreshold, double minSeconds, std::vector<Finding>& found,
                   const DetectControl& control = {});

// Scene changes of the main video: pictures whose score reaches `threshold`. The score is
// FFmpeg's `scdet=t=<threshold>` score, 0 to 100: the mean absolute difference of the
// picture's luma samples (of every colour byte for an RGB picture) from the one before, in
// percent of the samples' full scale, or its change from that difference one picture
// earlier where that is smaller, so that a steady motion does not count, only a jump.
Status DetectScenes(const std::string& path, double threshold, std::vector<Finding>& found,
                    const DetectControl& control = {});

}  // namespace ulvane
