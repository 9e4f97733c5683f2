// A 10 s film whose silences, black stretches and scene changes are known, for the detection
// tests of every layer. Pictures (160x120, 25 a second, H.264): red, black 2-3 s, red, blue
// 5-7.6 s, black 7.6-8.4 s, green 8.4-10 s. Sound (a 440 Hz tone, AAC 48 kHz): silent 1-2 s,
// 4-4.3 s (too short for 0.5 s), 6-7.5 s and 9-10 s.
#pragma once

#include <string>

#include "tests/support/media_tools.h"

namespace ulvane::test {

inline std::string DetectFixture() {
    return Fixture("detect_10s.mkv",
                   {"-f", "lavfi", "-i",
                    "color=c=red:s=160x120:r=25:d=10,"
                    "drawbox=c=black:t=fill:enable='between(t,2,2.999)',"
                    "drawbox=c=blue:t=fill:enable='between(t,5,7.599)',"
                    "drawbox=c=black:t=fill:enable='between(t,7.6,8.399)',"
                    "drawbox=c=green:t=fill:enable='gte(t,8.4)'",
                    "-f", "lavfi", "-i",
                    "aevalsrc='0.5*sin(440*2*PI*t)*not(between(t,1,1.99999))*not(between(t,4,4.29999))"
                    "*not(between(t,6,7.49999))*lt(t,9)':s=48000:d=10",
                    "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"});
}

}  // namespace ulvane::test
