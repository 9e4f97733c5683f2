#!/usr/bin/env bash
# Benchmark of a re-encoding made in parts: a 60 s 720p H.264 source with B-frames (and AAC),
# re-encoded whole by `ulvane-cli cut --reencode`, then with `--chunks 6 --jobs 2`, then planned
# (`--plan DIR`), its jobs run one after another, each timed, and `assemble DIR`. It prints the
# wall times, the ratio parts / whole (target at most 1.05x), assemble's share of the encode
# (target at most 2%), and from the parts' own times the expected time on K machines. It fails
# only when a command itself fails.
#
# Usage: bench/run_chunks_bench.sh [PATH_TO_ulvane-cli]   (default: build/ulvane-cli)
# Environment: BENCH_SECONDS (the source's length, default 60), BENCH_CHUNKS (default 6),
# BENCH_JOBS (default 2), BENCH_KEEP=1 keeps the media.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CLI="${1:-$ROOT/build/ulvane-cli}"
[[ "$CLI" == /* ]] || CLI="$PWD/$CLI"
LENGTH="${BENCH_SECONDS:-60}"
CHUNKS="${BENCH_CHUNKS:-6}"
JOBS="${BENCH_JOBS:-2}"
[[ -x "$CLI" ]] || { echo "ulvane-cli not found: $CLI" >&2; exit 1; }

WORK="$(mktemp -d -t ulvane-chunksbench.XXXXXX)"
cleanup() { if [[ "${BENCH_KEEP:-0}" == 1 ]]; then echo "kept: $WORK"; else rm -rf "$WORK"; fi; }
trap cleanup EXIT

echo "making a $LENGTH s 720p source..."
ffmpeg -v error -f lavfi -i "testsrc2=size=1280x720:rate=25" -f lavfi -i "sine=frequency=440:sample_rate=44100" \
    -t "$LENGTH" -c:v libx264 -preset veryfast -bf 3 -g 50 -pix_fmt yuv420p -c:a aac "$WORK/src.mp4"
mkdir -p "$WORK/whole" "$WORK/parts" "$WORK/planned" "$WORK/plan"
JOB=(cut "$WORK/src.mp4" --start 0 --end "$LENGTH" --name film --reencode --format 1 --quiet)
cat "$WORK/src.mp4" >/dev/null

now() { date +%s.%N; }
seconds() { echo "$2 - $1" | bc -l; }

echo "the whole re-encoding..."
begin=$(now)
"$CLI" "${JOB[@]}" --out-dir "$WORK/whole" >/dev/null
whole=$(seconds "$begin" "$(now)")

echo "--chunks $CHUNKS --jobs $JOBS..."
begin=$(now)
"$CLI" "${JOB[@]}" --out-dir "$WORK/parts" --chunks "$CHUNKS" --jobs "$JOBS" >/dev/null
parts=$(seconds "$begin" "$(now)")

echo "--plan, its jobs one after another, assemble..."
"$CLI" "${JOB[@]}" --out-dir "$WORK/planned" --chunks "$CHUNKS" --plan "$WORK/plan" >"$WORK/jobs.txt"
: >"$WORK/times"
while IFS= read -r line; do
    begin=$(now)
    echo "$line" | "$CLI" batch - --jobs 1 --quiet >/dev/null
    printf '%s %s\n' "$(seconds "$begin" "$(now)")" "$(echo "$line" | grep -o -- '--chunk [a-z0-9]*')" >>"$WORK/times"
done <"$WORK/jobs.txt"
begin=$(now)
"$CLI" assemble "$WORK/plan" >/dev/null
assemble=$(seconds "$begin" "$(now)")

frames() { ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
sound() { ffmpeg -v error -i "$1" -map 0:a -c copy -f framemd5 - | grep -v '^#' | md5sum | cut -c1-12; }
made_whole="$WORK/whole/film.mp4" made_parts="$WORK/parts/film.mp4" made_planned="$WORK/planned/film.mp4"

printf '\n%d s 1280x720 25 fps H.264 (3 B-frames) + AAC, re-encoded to H.264 (%d cores, load before: %s; a shared\n' \
    "$LENGTH" "$(nproc)" "$(cut -d' ' -f1 /proc/loadavg)"
printf 'machine: other work runs beside it, so the figures move from run to run)\n'
printf '  %-40s %8.2f s   %s pictures, sound %s\n' "whole" "$whole" "$(frames "$made_whole")" "$(sound "$made_whole")"
printf '  %-40s %8.2f s   %s pictures, sound %s\n' "--chunks $CHUNKS --jobs $JOBS" "$parts" "$(frames "$made_parts")" \
    "$(sound "$made_parts")"
printf '  %-40s %8.2f s   %s pictures, sound %s\n' "planned parts, assembled" "$assemble" \
    "$(frames "$made_planned")" "$(sound "$made_planned")"
ratio=$(echo "$parts / $whole" | bc -l)
share=$(echo "100 * $assemble / $whole" | bc -l)
printf '  ratio parts / whole: %.3fx (target at most 1.05x): %s\n' "$ratio" \
    "$(echo "$ratio <= 1.05" | bc -l | sed 's/1/met/;s/0/NOT met/')"
printf '  assemble: %.2f%% of the whole encode (target at most 2%%): %s\n' "$share" \
    "$(echo "$share <= 2" | bc -l | sed 's/1/met/;s/0/NOT met/')"
echo "  each job of the plan, alone (2 encoder threads):"
awk '{printf "    %-14s %7.2f s\n", $2 " " $3, $1}' "$WORK/times"
# K machines: the parts dealt out longest first to the machine free first; the sound job is one
# of them, and assemble follows.
sort -rn "$WORK/times" >"$WORK/times.sorted"
for k in 1 2 3 6; do
    awk -v k="$k" -v assemble="$assemble" '
        BEGIN { for (m = 1; m <= k; m++) load[m] = 0 }
        { best = 1; for (m = 2; m <= k; m++) if (load[m] < load[best]) best = m; load[best] += $1 }
        END {
            most = 0; for (m = 1; m <= k; m++) if (load[m] > most) most = load[m]
            printf "  expected on %d machine%s: %7.2f s (the busiest machine %.2f s, then assemble %.2f s)\n",
                k, k == 1 ? " " : "s", most + assemble, most, assemble
        }' "$WORK/times.sorted"
done
