#!/usr/bin/env bash
# Benchmark (not a test) of a direct job into another container: a 60 s 1080p Matroska file
# with two sound tracks and subtitles copied whole into MP4 by ulvane-cli (--container mp4),
# against `ffmpeg -i SRC -map 0 -c copy OUT`, side by side, the median of three runs each.
# Prints figures and whether the target (at most 1.0x) is met; fails only when a command fails.
#
# Usage: bench/run_remux_bench.sh [PATH_TO_ulvane-cli]   (default: build/ulvane-cli)
# Environment: BENCH_SECONDS (the source's length, default 60).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CLI="${1:-$ROOT/build/ulvane-cli}"
[[ "$CLI" == /* ]] || CLI="$PWD/$CLI"
[[ -x "$CLI" ]] || { echo "ulvane-cli not found: $CLI" >&2; exit 1; }
LENGTH="${BENCH_SECONDS:-60}"
WORK="$(mktemp -d -t ulvane-remux-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT

echo "generating a ${LENGTH} s 1080p Matroska source ..."
printf '1\n00:00:01,000 --> 00:00:03,000\nA line\n' >"$WORK/s.srt"
ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$LENGTH" \
    -f lavfi -i "sine=f=440:duration=$LENGTH" -f lavfi -i "sine=f=880:duration=$LENGTH" -i "$WORK/s.srt" \
    -map 0 -map 1 -map 2 -map 3 -c:v libx264 -preset veryfast -g 50 -bf 3 -pix_fmt yuv420p -c:a aac -c:s srt \
    "$WORK/src.mkv"

# seconds COMMAND...: the wall time of one run.
seconds() {
    local begin end
    begin=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "command failed: $*" >&2; exit 1; }
    end=$(date +%s%N)
    awk -v a="$begin" -v b="$end" 'BEGIN {printf "%.3f\n", (b - a) / 1e9}'
}
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }

ours=() theirs=()
for run in 1 2 3; do
    rm -f "$WORK"/out*.mp4
    ours+=("$(seconds "$CLI" cut "$WORK/src.mkv" --start 0 --end "$LENGTH" --container mp4 --out-dir "$WORK" \
        --name "out$run" --quiet)")
    theirs+=("$(seconds ffmpeg -nostdin -y -v error -i "$WORK/src.mkv" -map 0 -c copy -c:s mov_text "$WORK/ff.mp4")")
done
o=$(median "${ours[@]}")
t=$(median "${theirs[@]}")
awk -v o="$o" -v t="$t" 'BEGIN {
    printf "remux of %s s of 1080p MKV to MP4: ulvane-cli %.2f s, ffmpeg %.2f s: ratio %.2f (target <= 1.0): %s\n",
        "'"$LENGTH"'", o, t, o / t, (o / t <= 1.0 ? "met" : "NOT met")
}'
