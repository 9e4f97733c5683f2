// The output lists and their value rules.
#include "core/output_presets.h"

#include <array>
#include <cstdlib>

#include "engine/codec_names.h"

namespace ulvane {

namespace {

constexpr std::array<OutputPreset, 10> kFormats{{
    {"MP4 - (MPEG4 AAC) MPEG4 (*.mp4)", "MPEG4", "AAC"},
    {"MP4 - (H264 AAC) AVC(*.mp4)", "H.264", "AAC"},
    {"AVI - Video Format (*.avi)", "MPEG4", "MP3"},
    {"FLV - Flash Video (*.flv)", "FLV", "MP3"},
    {"WMV - Windows Media Video (*.wmv)", "WMV2", "WMA8"},
    {"MOV - QuickTime Video(*.mov)", "MPEG4", "AAC"},
    {"MKV - Matroska Video(*.mkv)", "H.264", "VORBIS"},
    {"MP4 - (H265 AAC) HEVC(*.mp4)", "H.265", "AAC"},
    {"MKV - (H265 AAC) HEVC(*.mkv)", "H.265", "AAC"},
    {"MOV - (H265 AAC) HEVC(*.mov)", "H.265", "AAC"},
}};

// After the bit rates, constant quality: the encoder spends what each picture needs.
constexpr std::array<std::string_view, 14> kVideoRates{
    "1500 kbps", "2000 kbps",  "2500 kbps",  "3000 kbps",  "4000 kbps", "5000 kbps", "6000 kbps",
    "8000 kbps", "12000 kbps", "16000 kbps", "20000 kbps", "CRF 18",    "CRF 23",    "CRF 28"};

// The last row, "", is the source's own size (a join's first file's), shown upright.
constexpr std::array<std::string_view, 10> kSizes{"320*240",  "640*480",  "720*480",   "720*576",   "960*540",
                                                  "1024*768", "1280*720", "1920*1080", "2880*1440", ""};

constexpr std::array<std::string_view, 14> kCutFrameRates{
    "",           "8.0 fps",  "10.0 fps", "12.0 fps",  "14.985 fps", "15.0 fps", "20.0 fps",
    "23.975 fps", "24.0 fps", "25.0 fps", "29.97 fps", "30.0 fps",   "50.0 fps", "60.0 fps"};
// The last row, "" as in the cut's first, is the first file's own rate; it comes last so
// that the rows stored before it mean what they meant.
constexpr std::array<std::string_view, 11> kJoinFrameRates{"10.0 fps", "15.0 fps", "20.0 fps",  "23.975 fps",
                                                           "24.0 fps", "25.0 fps", "29.97 fps", "30.0 fps",
                                                           "50.0 fps", "60.0 fps", ""};

constexpr std::array<std::string_view, 8> kCutAudioRates{"32 kbps",  "64 kbps",  "96 kbps",  "128 kbps",
                                                         "160 kbps", "192 kbps", "256 kbps", "320 kbps"};
constexpr std::array<std::string_view, 7> kJoinAudioRates{"64 kbps",  "96 kbps",  "128 kbps", "160 kbps",
                                                          "192 kbps", "256 kbps", "320 kbps"};

constexpr std::array<std::string_view, 4> kCutSampleRates{"22050 Hz", "32000 Hz", "44100 Hz", "48000 Hz"};
constexpr std::array<std::string_view, 4> kJoinSampleRates{"44100 Hz", "48000 Hz", "22050 Hz", "32000 Hz"};

constexpr std::array<DirectContainer, 9> kContainers{{
    {"", ""},
    {"MP4 (*.mp4)", "mp4"},
    {"MOV (*.mov)", "mov"},
    {"MKV (*.mkv)", "mkv"},
    {"MPEG-TS (*.ts)", "ts"},
    {"M2TS (*.m2ts)", "m2ts"},
    {"WebM (*.webm)", "webm"},
    {"AVI (*.avi)", "avi"},
    {"FLV (*.flv)", "flv"},
}};

constexpr std::array<std::string_view, 2> kChannels{"1 Channel Mono", "2 Channel Stereo"};

struct RateEntry {
    std::string_view label;
    double value;
};
constexpr std::array<RateEntry, 13> kFrameRateValues{{
    {"8.0 fps", 8.0},
    {"10.0 fps", 10.0},
    {"12.0 fps", 12.0},
    {"14.985 fps", 14.985},
    {"15.0 fps", 15.0},
    {"20.0 fps", 20.0},
    {"23.975 fps", 23.975},
    {"24.0 fps", 24.0},
    {"25.0 fps", 25.0},
    {"29.97 fps", 29.97},
    {"30.0 fps", 30.0},
    {"50.0 fps", 50.0},
    {"60.0 fps", 60.0},
}};

// Reads a leading decimal integer the way the C library does (blanks and a sign
// accepted, digits up to the first other character, 0 without digits).
int LeadingInt(std::string_view text) {
    std::string s(text);
    return static_cast<int>(std::strtol(s.c_str(), nullptr, 10));
}

template <typename List>
std::optional<std::string_view> Row(const List& list, int row) {
    if (row < 0 || static_cast<size_t>(row) >= list.size()) return std::nullopt;
    return list[static_cast<size_t>(row)];
}

}  // namespace

std::span<const OutputPreset> FormatPresets() {
    return kFormats;
}
std::span<const std::string_view> VideoBitRateLabels() {
    return kVideoRates;
}
std::span<const std::string_view> SizeLabels() {
    return kSizes;
}
std::span<const std::string_view> FrameRateLabels(Dialog d) {
    return d == Dialog::Cut ? std::span<const std::string_view>(kCutFrameRates) : kJoinFrameRates;
}
std::span<const std::string_view> AudioBitRateLabels(Dialog d) {
    return d == Dialog::Cut ? std::span<const std::string_view>(kCutAudioRates) : kJoinAudioRates;
}
std::span<const std::string_view> SampleRateLabels(Dialog d) {
    return d == Dialog::Cut ? std::span<const std::string_view>(kCutSampleRates) : kJoinSampleRates;
}
std::span<const std::string_view> ChannelLabels() {
    return kChannels;
}
std::span<const DirectContainer> DirectContainers() {
    return kContainers;
}
int DirectContainerRow(std::string_view extension) {
    for (size_t k = 0; k < kContainers.size(); ++k)
        if (kContainers[k].extension == extension) return static_cast<int>(k);
    return -1;
}

std::string PresetExtension(std::string_view label) {
    const size_t dot = label.rfind('.');
    if (dot == std::string_view::npos) return {};
    return std::string(label.substr(dot, 4));
}

int BitRateFromLabel(std::string_view label) {
    if (size_t k = label.find(" kbps"); k != std::string_view::npos) {
        std::string s(label.substr(0, k));
        return static_cast<int>(std::strtod(s.c_str(), nullptr) * 1000);
    }
    if (size_t h = label.find(" Hz"); h != std::string_view::npos) return LeadingInt(label.substr(0, h));
    return 0;
}

PictureSize SizeFromLabel(std::string_view label) {
    const size_t star = label.find('*');
    if (star == std::string_view::npos) return {LeadingInt(label), 0};
    return {LeadingInt(label.substr(0, star)), LeadingInt(label.substr(star + 1))};
}

std::optional<double> FrameRateFromLabel(std::string_view label) {
    for (const RateEntry& e : kFrameRateValues)
        if (e.label == label) return e.value;
    return std::nullopt;
}

std::optional<int> CrfFromLabel(std::string_view label) {
    if (!label.starts_with("CRF ")) return std::nullopt;
    const int crf = LeadingInt(label.substr(4));
    if (crf <= 0) return std::nullopt;
    return crf;
}

std::optional<int> ChannelsFromLabel(std::string_view label) {
    if (label == "1 Channel Mono") return 1;
    if (label == "2 Channel Stereo") return 2;
    if (label == "5.1 Channel") return 6;
    return std::nullopt;
}

std::optional<ResolvedPreset> ResolveRows(Dialog d, const RowChoice& rows) {
    if (rows.format < 0 || static_cast<size_t>(rows.format) >= kFormats.size()) return std::nullopt;
    auto quality = Row(VideoBitRateLabels(), rows.quality);
    auto size = Row(SizeLabels(), rows.size);
    auto rate = Row(FrameRateLabels(d), rows.framerate);
    auto audio = Row(AudioBitRateLabels(d), rows.audioquality);
    auto sample = Row(SampleRateLabels(d), rows.samplerate);
    if (!quality || !size || !rate || !audio || !sample) return std::nullopt;
    const OutputPreset& p = kFormats[static_cast<size_t>(rows.format)];
    ResolvedPreset out;
    OutputParameters& o = out.parameters;
    o.videoCodecId = VideoCodecIdFromName(p.videoCodecName).value_or(0);
    o.audioCodecId = AudioCodecIdFromName(p.audioCodecName).value_or(0);
    out.extension = PresetExtension(p.label);
    o.videoBitRate = BitRateFromLabel(*quality);
    o.videoQuality = CrfFromLabel(*quality).value_or(0);
    const PictureSize wh = SizeFromLabel(*size);
    o.outputWidth = wh.width;
    o.outputHeight = wh.height;
    o.outputFrameRate = FrameRateFromLabel(*rate).value_or(0.0);
    o.audioBitRate = BitRateFromLabel(*audio);
    o.sampleRate = BitRateFromLabel(*sample);
    o.channels = d == Dialog::Cut ? 2 : ChannelsFromLabel(kChannels[kJoinChannelRow]).value_or(2);
    return out;
}

}  // namespace ulvane
