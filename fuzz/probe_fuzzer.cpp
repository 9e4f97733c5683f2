// libFuzzer target: the media probe and the frame grabber on arbitrary bytes. Each input is
// written to a file (the engine opens files by path, as the window does) and probed; a
// usable one is grabbed at its start and a second into it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/frame_grabber.h"
#include "engine/media_probe.h"

namespace {

const std::string& WorkDir() {
    static const std::string dir = [] {
        char templ[] = "/tmp/ulvane-fuzz-XXXXXX";
        if (!mkdtemp(templ)) std::abort();
        return std::string(templ);
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input = WorkDir() + "/input";
    const std::string snapshot = WorkDir() + "/image.bmp";
    if (FILE* f = std::fopen(input.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    ulvane::ConversionJob job;
    job.probePath = input;
    if (ulvane::ProbeMediaFile(job) == ulvane::kProbeOk && job.info.videoWidth > 0) {
        ulvane::FrameGrabber grabber;
        std::string error;
        grabber.Grab(input, 0, snapshot, error);
        grabber.Grab(input, 1.0, snapshot, error);
    }
    return 0;
}
