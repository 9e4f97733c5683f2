#!/usr/bin/env bash
# Benchmark (not a test) of the timeline strip's background work on a long 1080p H.264 file
# with AAC sound. It prints figures, ratios and whether each target is met; it fails only
# when a command itself fails.
#   1. The whole waveform (10 ms bins) against the ffmpeg tool decoding the same sound
#      (`ffmpeg -i FILE -map 0:a -f null -`).
#   2. A row of 100 key-frame thumbnails spread over the file, against the ffmpeg tool giving
#      the same key frames' pictures, the faster of two ways: 100 runs that each seek and
#      decode one key frame (`-noaccurate_seek -ss T -skip_frame nokey ... -frames:v 1`), or
#      one run that decodes every key frame and keeps about 100 of them, spread alike
#      (`-skip_frame nokey -vf select`).
#   3. The peak memory of both (/usr/bin/time -v).
#   4. Zooming the waveform into 11 windows of 10 s of a 2-hour file (a small low-rate video with
#      a tone, made fast): from a fresh summary (the overview came from the cache, so only the
#      window is read, then a page either side) and reduced from the whole summary (read once).
#      Target: at most 100 ms, with nothing read from the file's start.
#
# The source made by default lasts 20 minutes (a 60 s clip, looped by copying): a 2-hour
# file is slow to make here. The waveform's time grows with the length (x6 for 2 hours); a
# thumbnail costs one seek and one key frame whatever the length, so the row's time stays.
#
# Usage: bench/run_timeline_bench.sh [BUILD_DIR]   (default: build under the repo root)
# Environment: BENCH_SOURCE=FILE uses that file (made there once when missing, then kept);
# BENCH_MINUTES (default 20) the length of the one made; BENCH_LONG_SOURCE=FILE likewise for the
# 2-hour file of step 4; BENCH_ONLY=zoom runs step 4 alone.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
BENCH="$BUILD/ulvane-timeline-bench"
[[ -x "$BENCH" ]] || { echo "build first: $BENCH is missing" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing; apt-get install time" >&2; exit 1; }
WORK="$(mktemp -d -t ulvane-timeline-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
MINUTES="${BENCH_MINUTES:-20}"
COUNT=100
HEIGHT=54

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", b - a}'; }
# Peak resident memory in MiB from a /usr/bin/time -v report.
peak_mib() { awk -F: '/Maximum resident set size/ {printf "%.1f", $2 / 1024}' "$1"; }
# Processor seconds (user + system) from a /usr/bin/time -v report: on a machine shared with
# other work the wall time says how much of the processors this run got, this what it needed.
cpu_s() { awk -F: '/User time|System time/ {s += $2} END {printf "%.3f", s}' "$1"; }

zoom_bench() {
    local long="${BENCH_LONG_SOURCE:-$WORK/long.mp4}"
    if [[ ! -s "$long" ]]; then
        echo "making a 2-hour 160x90 2 fps H.264 + AAC stereo source ..."
        ffmpeg -nostdin -y -v error -f lavfi -i "testsrc=size=160x90:rate=2:duration=7200" \
            -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=7200" -ac 2 \
            -c:v libx264 -preset ultrafast -g 20 -c:a aac -b:a 96k "$long"
    fi
    echo "zooming the waveform into 11 windows of 10 s ..."
    /usr/bin/time -v -o "$WORK/zoom.time" "$BENCH" zoom "$long" 11 >"$WORK/zoom.txt"
    cat "$WORK/zoom.txt"
    awk -v mem="$(peak_mib "$WORK/zoom.time")" '
        $1 == "cold_median_ms" {cm = $2} $1 == "cold_worst_ms" {cw = $2}
        $1 == "pages_median_ms" {pm = $2} $1 == "warm_median_ms" {wm = $2} $1 == "warm_worst_ms" {ww = $2} $1 == "summary_seconds" {s = $2}
        END {
            printf "zoom, the window read alone: median %.1f ms, worst %.1f ms (target <= 100 ms): %s\n", cm, cw, (cm <= 100 ? "ok" : "MISSED")
            printf "  then a page either side: median %.1f ms from the zoom\n", pm
            printf "zoom, reduced from the summary: median %.3f ms, worst %.3f ms (target <= 100 ms): %s\n", wm, ww, (wm <= 100 ? "ok" : "MISSED")
            printf "the whole summary, read once: %.1f s; peak memory %.1f MiB\n", s, mem
        }' "$WORK/zoom.txt"
}
if [[ "${BENCH_ONLY:-}" == zoom ]]; then
    zoom_bench
    exit 0
fi

SRC="${BENCH_SOURCE:-$WORK/src.mp4}"
if [[ ! -s "$SRC" ]]; then
    echo "making a ${MINUTES}-minute 1080p H.264 + AAC source (a key frame every 2 s) ..."
    ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=60" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=60" -ac 2 \
        -c:v libx264 -preset ultrafast -b:v 2M -g 50 -keyint_min 50 -bf 3 -pix_fmt yuv420p \
        -c:a aac -b:a 128k "$WORK/clip.mp4"
    ffmpeg -nostdin -y -v error -stream_loop $((MINUTES - 1)) -i "$WORK/clip.mp4" -c copy "$SRC"
fi
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$SRC")
echo "source: $SRC, $(awk -v d="$duration" 'BEGIN {printf "%.0f", d}') s"

echo "our waveform ..."
/usr/bin/time -v -o "$WORK/wave.time" "$BENCH" waveform "$SRC" 10 >"$WORK/wave.txt"
ours_wave=$(awk '/^seconds/ {print $2}' "$WORK/wave.txt")
ours_wave_mem=$(peak_mib "$WORK/wave.time")
ours_wave_cpu=$(cpu_s "$WORK/wave.time")
echo "ffmpeg decoding the sound ..."
t0=$(now)
/usr/bin/time -v -o "$WORK/ffwave.time" ffmpeg -nostdin -v error -i "$SRC" -map 0:a -f null -
ff_wave=$(elapsed "$t0" "$(now)")
ff_wave_mem=$(peak_mib "$WORK/ffwave.time")
ff_wave_cpu=$(cpu_s "$WORK/ffwave.time")

echo "our thumbnail row ..."
/usr/bin/time -v -o "$WORK/thumbs.time" "$BENCH" thumbs "$SRC" "$COUNT" "$HEIGHT" >"$WORK/thumbs.txt"
ours_thumbs=$(awk '/^seconds/ {print $2}' "$WORK/thumbs.txt")
ours_thumbs_mem=$(peak_mib "$WORK/thumbs.time")
read -r -a keys <<<"$(awk '/^keys/ {$1 = ""; print}' "$WORK/thumbs.txt")"
unique_keys=$(printf '%s\n' "${keys[@]}" | sort -u | wc -l)

echo "ffmpeg: $COUNT runs, each a seek and one key frame ..."
t0=$(now)
for i in $(seq 0 $((COUNT - 1))); do
    at=$(awk -v d="$duration" -v i="$i" -v n="$COUNT" 'BEGIN {printf "%.3f", d * i / n}')
    ffmpeg -nostdin -y -v error -noaccurate_seek -ss "$at" -skip_frame nokey -i "$SRC" -map 0:v -frames:v 1 \
        -vf "scale=-2:$HEIGHT" "$WORK/ff_$i.bmp"
done
ff_seek=$(elapsed "$t0" "$(now)")
/usr/bin/time -v -o "$WORK/ffseek.time" ffmpeg -nostdin -y -v error -noaccurate_seek -ss "$(awk -v d="$duration" \
    'BEGIN {printf "%.3f", d / 2}')" -skip_frame nokey -i "$SRC" -map 0:v -frames:v 1 -vf "scale=-2:$HEIGHT" \
    "$WORK/ff_mem.bmp"
ff_seek_mem=$(peak_mib "$WORK/ffseek.time")

echo "ffmpeg: one run over every key frame, keeping one every $COUNT-th of the file ..."
interval=$(awk -v d="$duration" -v n="$COUNT" 'BEGIN {printf "%.3f", d / n - 0.5}')
t0=$(now)
/usr/bin/time -v -o "$WORK/ffselect.time" ffmpeg -nostdin -y -v error -skip_frame nokey -i "$SRC" -map 0:v \
    -vf "select='isnan(prev_selected_t)+gte(t-prev_selected_t,$interval)',scale=-2:$HEIGHT" -vsync passthrough \
    "$WORK/sel_%03d.bmp"
ff_select=$(elapsed "$t0" "$(now)")
ff_select_mem=$(peak_mib "$WORK/ffselect.time")
selected=$(find "$WORK" -name 'sel_*.bmp' | wc -l)

ff_thumbs=$(awk -v a="$ff_seek" -v b="$ff_select" 'BEGIN {print (a < b ? a : b)}')
echo
echo "(load average: $(cut -d" " -f1-3 /proc/loadavg) on $(nproc) processors)"
printf "%-44s %10s %10s\n" "" "seconds" "peak_MiB"
printf "%-44s %10s %10s %10s\n" "waveform, ours" "$ours_wave" "$ours_wave_mem" "$ours_wave_cpu cpu_s"
printf "%-44s %10s %10s %10s\n" "sound decode, ffmpeg" "$ff_wave" "$ff_wave_mem" "$ff_wave_cpu cpu_s"
printf "%-44s %10s %10s\n" "$COUNT thumbnails ($unique_keys key frames), ours" "$ours_thumbs" "$ours_thumbs_mem"
printf "%-44s %10s %10s\n" "ffmpeg, $COUNT seeking runs" "$ff_seek" "$ff_seek_mem (one run)"
printf "%-44s %10s %10s\n" "ffmpeg, one run over the key frames ($selected kept)" "$ff_select" "$ff_select_mem"
echo
awk -v o="$ours_wave" -v f="$ff_wave" -v oc="$ours_wave_cpu" -v fc="$ff_wave_cpu" -v t="$(nproc)" -v m="$MINUTES" 'BEGIN {
    r = o / f
    printf "waveform ours/ffmpeg %.3f (target <= 0.5): %s\n", r, (r <= 0.5 ? "ok" : "MISSED")
    printf "waveform processor time ours/ffmpeg %.3f (ours on %d threads)\n", oc / fc, (t < 4 ? t : 4)
    printf "waveform for 2 hours, scaled from %d min: about %.1f s\n", m, o * 120 / m
}'
awk -v o="$ours_thumbs" -v f="$ff_thumbs" 'BEGIN {
    r = o / f
    printf "thumbnail row ours/ffmpeg (the faster way) %.3f (target <= 0.5): %s\n", r, (r <= 0.5 ? "ok" : "MISSED")
    printf "thumbnail row %.2f s (target <= 3 s for 2 hours; a row costs the same at any length): %s\n", o, (o <= 3 ? "ok" : "MISSED")
}'
awk -v a="$ours_wave_mem" -v b="$ours_thumbs_mem" 'BEGIN {
    printf "peak memory %.1f / %.1f MiB (target < 150 MiB): %s\n", a, b, (a < 150 && b < 150 ? "ok" : "MISSED")
}'
echo
zoom_bench
