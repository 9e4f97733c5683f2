// Judging what an output shows and sounds like, independently of our code: pictures and
// sound decoded by the ffmpeg tool, compared with the source's own decode.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ulvane::test {

// A picture as the ffmpeg tool shows it at `seconds` (rotation applied, as players do),
// scaled to `width` x `height` grey levels. Empty when nothing could be decoded.
struct GreyPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    bool empty() const { return pixels.empty(); }
};
GreyPicture PictureAt(const std::string& path, double seconds, int width = 64, int height = 48);
// The first picture at or after `seconds`, decoded from the file's start: for streams in
// which the ffmpeg tool's seeks land elsewhere (field pictures in MPEG-TS, say).
GreyPicture PictureDecodedAt(const std::string& path, double seconds, int width = 64, int height = 48);

// Every picture of a file in display order, as the ffmpeg tool decodes it, each scaled to
// `width` x `height` grey levels. Empty when nothing could be decoded.
std::vector<GreyPicture> PicturesOf(const std::string& path, int width = 64, int height = 48);

// The picture's display size (rotation applied) and the stream's frame count, as ffprobe
// reports them; 0 when unknown.
struct PictureShape {
    int width = 0, height = 0;  // shown size: coded size, sample aspect and rotation applied
    double displayAspect = 0;   // width / height as shown
    std::string rotation;       // rotation side data or tag, "" when none
};
PictureShape ShapeOf(const std::string& path);

// An RGB picture (3 bytes a pixel, rows without padding) in grey, averaged down to `w` x `h`.
GreyPicture GreyOf(const uint8_t* rgb, int width, int height, int w, int h);

// Peak signal-to-noise ratio of two pictures of the same size in dB; 100 when identical,
// 0 when the sizes differ.
double Psnr(const GreyPicture& a, const GreyPicture& b);

// PSNR of `output` at `outSeconds` against `source` at `sourceSeconds`.
double PsnrAt(const std::string& output, double outSeconds, const std::string& source, double sourceSeconds);

// The sound of a file (its sound track `track`, counted from 0) mixed to one channel at
// `rate` Hz, as float samples from the file's start, placed by its timestamps as a player
// places it (a late start or a hole is silence).
std::vector<float> SoundOf(const std::string& path, int rate = 8000, int track = 0);
// The main sound as a player that plays its frames one after the other hears it, whatever
// their timestamps say: a frame left out moves everything after it earlier.
std::vector<float> SoundPlayedOn(const std::string& path, int rate = 8000);

// Strength of a tone of `hz` in `sound` between two times in seconds (Goertzel), as an amplitude.
double ToneLevel(const std::vector<float>& sound, double hz, double from, double to, int rate = 8000);

// Loudness (root mean square) of `sound` between two times in seconds.
double Loudness(const std::vector<float>& sound, double from, double to, int rate = 8000);

// The first time in seconds where the loudness over 20 ms exceeds `threshold`; nullopt
// when the sound stays below it.
std::optional<double> SoundStart(const std::vector<float>& sound, double threshold = 0.05, int rate = 8000);

}  // namespace ulvane::test
