// Pictures and sound decoded by the ffmpeg tool for content checks.
#include "tests/support/content.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "tests/support/media_tools.h"

namespace ulvane::test {

namespace {

std::string Fixed(double v) {
    std::ostringstream s;
    s.setf(std::ios::fixed);
    s.precision(6);
    s << v;
    return s.str();
}

GreyPicture Grey(const std::string& path, double seconds, int width, int height, bool seek) {
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-v", "error"};
    const std::vector<std::string> at{"-ss", Fixed(seconds)};
    if (seek) argv.insert(argv.end(), at.begin(), at.end());
    argv.insert(argv.end(), {"-i", path});
    if (!seek) argv.insert(argv.end(), at.begin(), at.end());
    argv.insert(argv.end(), {"-map", "0:v:0", "-frames:v", "1", "-fps_mode", "passthrough", "-vf",
                             "scale=" + std::to_string(width) + ":" + std::to_string(height) + ":flags=area",
                             "-pix_fmt", "gray", "-f", "rawvideo", "-"});
    const CommandResult r = Run(argv);
    GreyPicture p;
    if (r.exitCode != 0 || r.out.size() != static_cast<size_t>(width * height)) return p;
    p.width = width;
    p.height = height;
    p.pixels.assign(r.out.begin(), r.out.end());
    return p;
}

}  // namespace

GreyPicture PictureAt(const std::string& path, double seconds, int width, int height) {
    // Input seeking decodes from the key frame before and drops the pictures before the
    // time, so the picture is the one on screen at that moment.
    return Grey(path, seconds, width, height, true);
}

GreyPicture PictureDecodedAt(const std::string& path, double seconds, int width, int height) {
    return Grey(path, seconds, width, height, false);
}

std::vector<GreyPicture> PicturesOf(const std::string& path, int width, int height) {
    const CommandResult r =
        Run({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v:0", "-fps_mode", "passthrough", "-vf",
             "scale=" + std::to_string(width) + ":" + std::to_string(height) + ":flags=area", "-pix_fmt", "gray", "-f",
             "rawvideo", "-"});
    const size_t size = static_cast<size_t>(width * height);
    std::vector<GreyPicture> pictures;
    if (r.exitCode != 0) return pictures;
    for (size_t at = 0; at + size <= r.out.size(); at += size) {
        GreyPicture& p = pictures.emplace_back();
        p.width = width;
        p.height = height;
        p.pixels.assign(r.out.begin() + static_cast<ptrdiff_t>(at), r.out.begin() + static_cast<ptrdiff_t>(at + size));
    }
    return pictures;
}

PictureShape ShapeOf(const std::string& path) {
    const CommandResult r = Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                 "stream=width,height,sample_aspect_ratio:stream_tags=rotate:stream_side_data=rotation",
                                 "-of", "default=noprint_wrappers=1", path});
    PictureShape s;
    int w = 0, h = 0, sarNum = 1, sarDen = 1;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "width") w = std::atoi(value.c_str());
        if (key == "height") h = std::atoi(value.c_str());
        if (key == "sample_aspect_ratio" && value.find(':') != std::string::npos) {
            sarNum = std::atoi(value.c_str());
            sarDen = std::atoi(value.c_str() + value.find(':') + 1);
            if (sarNum <= 0 || sarDen <= 0) sarNum = sarDen = 1;
        }
        if ((key == "rotation" || key == "TAG:rotate") && value != "0") s.rotation = value;
    }
    if (w <= 0 || h <= 0) return s;
    double shownW = static_cast<double>(w) * sarNum / sarDen, shownH = h;
    const int quarter = s.rotation.empty() ? 0 : (std::abs(std::atoi(s.rotation.c_str())) / 90) % 2;
    if (quarter) std::swap(shownW, shownH);
    s.width = static_cast<int>(std::lround(shownW));
    s.height = static_cast<int>(std::lround(shownH));
    s.displayAspect = shownW / shownH;
    return s;
}

double Psnr(const GreyPicture& a, const GreyPicture& b) {
    if (a.empty() || a.width != b.width || a.height != b.height) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const double d = static_cast<double>(a.pixels[i]) - b.pixels[i];
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(a.pixels.size());
    return mse <= 1e-10 ? 100.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

double PsnrAt(const std::string& output, double outSeconds, const std::string& source, double sourceSeconds) {
    return Psnr(PictureAt(output, outSeconds), PictureAt(source, sourceSeconds));
}

namespace {

std::vector<float> DecodedSound(const std::string& path, int rate, int track, bool byTimestamps) {
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v",   "error",
                                     "-i",     path,       "-map", "0:a:" + std::to_string(track)};
    if (byTimestamps) args.insert(args.end(), {"-af", "aresample=async=1:first_pts=0"});
    args.insert(args.end(), {"-ac", "1", "-ar", std::to_string(rate), "-f", "f32le", "-"});
    const CommandResult r = Run(args);
    std::vector<float> samples(r.exitCode == 0 ? r.out.size() / sizeof(float) : 0);
    if (!samples.empty()) std::memcpy(samples.data(), r.out.data(), samples.size() * sizeof(float));
    return samples;
}

}  // namespace

std::vector<float> SoundOf(const std::string& path, int rate, int track) {
    // Placed by its timestamps, as a player places it: a late start and holes become
    // silence, overlaps are dropped.
    return DecodedSound(path, rate, track, true);
}

std::vector<float> SoundPlayedOn(const std::string& path, int rate) {
    // A player starts the sound at its first frame's time, and from there plays on.
    const CommandResult first = Run({"ffprobe", "-v", "error", "-select_streams", "a:0", "-read_intervals", "%+#1",
                                     "-show_entries", "packet=pts_time", "-of", "csv=p=0", path});
    const double start = std::max(0.0, std::atof(first.out.c_str()));
    std::vector<float> sound(static_cast<size_t>(std::lround(start * rate)), 0.0f);
    const std::vector<float> played = DecodedSound(path, rate, 0, false);
    sound.insert(sound.end(), played.begin(), played.end());
    return sound;
}

double ToneLevel(const std::vector<float>& sound, double hz, double from, double to, int rate) {
    const size_t a = static_cast<size_t>(from * rate), b = std::min(sound.size(), static_cast<size_t>(to * rate));
    if (b <= a) return 0;
    const double w = 2 * M_PI * hz / rate, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = a; i < b; ++i) {
        const double s0 = sound[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(b - a);
}

double Loudness(const std::vector<float>& sound, double from, double to, int rate) {
    const size_t a = static_cast<size_t>(std::max(0.0, from * rate));
    const size_t b = std::min(sound.size(), static_cast<size_t>(std::max(0.0, to * rate)));
    if (b <= a) return 0;
    double sum = 0;
    for (size_t i = a; i < b; ++i) sum += static_cast<double>(sound[i]) * sound[i];
    return std::sqrt(sum / static_cast<double>(b - a));
}

std::optional<double> SoundStart(const std::vector<float>& sound, double threshold, int rate) {
    const size_t window = static_cast<size_t>(rate / 50);
    for (size_t i = 0; i + window <= sound.size(); i += window / 4) {
        const double from = static_cast<double>(i) / rate;
        if (Loudness(sound, from, from + 0.02, rate) > threshold) return from;
    }
    return std::nullopt;
}

GreyPicture GreyOf(const uint8_t* rgb, int width, int height, int w, int h) {
    GreyPicture g;
    g.width = w;
    g.height = h;
    g.pixels.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double sum = 0;
            int n = 0;
            for (int sy = y * height / h; sy < (y + 1) * height / h; ++sy)
                for (int sx = x * width / w; sx < (x + 1) * width / w; ++sx, ++n) {
                    const uint8_t* px = &rgb[(static_cast<size_t>(sy) * width + sx) * 3];
                    sum += 0.299 * px[0] + 0.587 * px[1] + 0.114 * px[2];
                }
            g.pixels[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(n ? sum / n + 0.5 : 0);
        }
    return g;
}

}  // namespace ulvane::test
