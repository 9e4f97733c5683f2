#!/usr/bin/env bash
# Benchmark (not a test) of the preview's grab and the source list's probe: grab latency at
# 20 positions of a 1080p H.264 source with a 2-second key-frame interval, in one process,
# next to the ffmpeg tool doing one grab per run; and the time to probe 100 files in one
# process. Prints figures and whether the targets are met; fails only if a command fails.
#
# Usage: bench/run_grab_bench.sh [BUILD_DIR]   (default: build under the repo root)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
BENCH="$BUILD/ulvane-grab-bench"
[[ -x "$BENCH" ]] || { echo "build first: $BENCH is missing" >&2; exit 1; }
WORK="$(mktemp -d -t ulvane-grab-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
COUNT=20

echo "generating a 60 s 1080p H.264 source with a key frame every 2 s ..."
ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=60" \
    -c:v libx264 -preset veryfast -g 50 -keyint_min 50 -bf 3 -pix_fmt yuv420p "$WORK/src.mp4"

echo "our grabs (one process):"
"$BENCH" grab "$WORK/src.mp4" "$WORK/image.bmp" "$COUNT" >"$WORK/ours.txt"
ours_median=$(awk '/^median/ {print $2}' "$WORK/ours.txt")
ours_worst=$(awk '/^worst/ {print $2}' "$WORK/ours.txt")

echo "our grabs for a 1280x720 preview (a maximised window), besides the snapshot:"
"$BENCH" grab "$WORK/src.mp4" "$WORK/image.bmp" "$COUNT" 1280 720 >"$WORK/large.txt"
large_median=$(awk '/^median/ {print $2}' "$WORK/large.txt")
large_worst=$(awk '/^worst/ {print $2}' "$WORK/large.txt")

echo "ffmpeg grabs (one run per position):"
duration=60
ff_times=()
for i in $(seq 0 $((COUNT - 1))); do
    at=$(awk -v d="$duration" -v i="$i" -v n="$COUNT" 'BEGIN {printf "%.3f", d * (i + 0.5) / n}')
    start=$(date +%s%N)
    ffmpeg -nostdin -y -v error -ss "$at" -i "$WORK/src.mp4" -frames:v 1 -s 320x240 "$WORK/ff.bmp"
    end=$(date +%s%N)
    ff_times+=("$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.1f", (b - a) / 1e6}')")
done
ff_sorted=$(printf '%s\n' "${ff_times[@]}" | sort -n)
ff_median=$(sed -n "$((COUNT / 2 + 1))p" <<<"$ff_sorted")
ff_worst=$(tail -n 1 <<<"$ff_sorted")

printf "\n%-22s %10s %10s\n" "grab per position" "median_ms" "worst_ms"
printf "%-22s %10s %10s\n" "ours" "$ours_median" "$ours_worst"
printf "%-22s %10s %10s\n" "ours, 1280x720 preview" "$large_median" "$large_worst"
printf "%-22s %10s %10s\n" "ffmpeg" "$ff_median" "$ff_worst"
awk -v o="$ours_median" -v f="$ff_median" 'BEGIN {
    r = o / f
    printf "median ratio ours/ffmpeg %.3f (target <= 0.25): %s\n", r, (r <= 0.25 ? "ok" : "MISSED")
    printf "median under 40 ms: %s\n", (o < 40 ? "ok" : "MISSED")
}'
awk -v l="$large_median" 'BEGIN {
    printf "1280x720 preview median %.1f ms (target <= 40 ms): %s\n", l, (l <= 40 ? "ok" : "MISSED")
}'

echo
echo "probe of 100 files in one process:"
for i in $(seq 1 4); do
    ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=size=640x360:rate=25:duration=2" -f lavfi \
        -i "sine=duration=2" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac "$WORK/p$i.mp4"
done
files=()
for i in $(seq 1 100); do
    cp "$WORK/p$(((i % 4) + 1)).mp4" "$WORK/probe_$i.mp4"
    files+=("$WORK/probe_$i.mp4")
done
"$BENCH" probe "${files[@]}"
