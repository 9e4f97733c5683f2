// The fixed output lists of the cut and join settings and the rules that turn a chosen
// row into job parameters. Row positions are stored in setting.ini, so the order of
// every list is part of the stored format: never reorder, only append.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/conversion_job.h"

namespace ulvane {

struct OutputPreset {
    std::string_view label;
    std::string_view videoCodecName;
    std::string_view audioCodecName;
};

enum class Dialog { Cut, Join };

std::span<const OutputPreset> FormatPresets();  // both dialogs
// Both dialogs: the bit rates, then constant-quality rows ("CRF 23", see CrfFromLabel).
std::span<const std::string_view> VideoBitRateLabels();
// Both dialogs; the last row, "", keeps the source's picture size (a join's first file's):
// its shown text comes from the language file.
std::span<const std::string_view> SizeLabels();
// Frame-rate labels; the cut list's row 0 ("as the source") has no fixed text: it is an
// empty view here and its shown text comes from the language file.
std::span<const std::string_view> FrameRateLabels(Dialog d);
std::span<const std::string_view> AudioBitRateLabels(Dialog d);
std::span<const std::string_view> SampleRateLabels(Dialog d);
std::span<const std::string_view> ChannelLabels();  // join only

// The containers a direct job may copy into. Row 0 (label and extension "") keeps the
// source's own; the others name FFmpeg's container by its extension ("mp4", "m2ts").
struct DirectContainer {
    std::string_view label;
    std::string_view extension;
};
std::span<const DirectContainer> DirectContainers();
// The row of an extension in that list (letter case as listed), -1 when it is not there.
int DirectContainerRow(std::string_view extension);

// Default rows when setting.ini stores none.
inline constexpr int kDefaultRow = 0;
// The join dialog's channel list always opens on this row.
inline constexpr int kJoinChannelRow = 1;

// ".mp4" for "MP4 - (MPEG4 AAC) MPEG4 (*.mp4)": from the label's last "." the first four
// characters; empty when the label has no ".".
std::string PresetExtension(std::string_view label);
// "1500 kbps" -> 1500000; "44100 Hz" -> 44100; anything else 0.
int BitRateFromLabel(std::string_view label);
// "1280*720" -> {1280, 720}; each side read as a leading decimal integer.
struct PictureSize {
    int width = 0;
    int height = 0;
};
PictureSize SizeFromLabel(std::string_view label);
// Value of a frame-rate label, compared exactly; nullopt for any other text.
std::optional<double> FrameRateFromLabel(std::string_view label);
// "CRF 23" -> 23, a constant quality; nullopt for a bit rate or any other text.
std::optional<int> CrfFromLabel(std::string_view label);
// "1 Channel Mono" -> 1, "2 Channel Stereo" -> 2, "5.1 Channel" -> 6; else nullopt.
std::optional<int> ChannelsFromLabel(std::string_view label);

// The output parameters a row choice stands for, and the extension of its container.
struct ResolvedPreset {
    OutputParameters parameters;
    std::string extension;
};
struct RowChoice {
    int format = 0, quality = 0, size = 0, framerate = 0, audioquality = 0, samplerate = 0;
};
// Looks every row up in the lists of `d`. Returns nullopt when a row is outside its list.
std::optional<ResolvedPreset> ResolveRows(Dialog d, const RowChoice& rows);

}  // namespace ulvane
