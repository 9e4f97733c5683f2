#!/usr/bin/env bash
# Benchmark of a batch: 100 direct cuts of 100 different files, by `ulvane-cli batch --jobs 2`
# against 100 `ulvane-cli cut` runs one after another. It prints both wall times, the processor
# time and the ratio, and whether the target (at most 0.6x) is met; it fails only when a command
# itself fails.
#
# Usage: bench/run_batch_bench.sh [PATH_TO_ulvane-cli]   (default: build/ulvane-cli)
# Environment: BENCH_FILES (default 100), BENCH_SECONDS (each file's length, default 20),
# BENCH_JOBS (default 2), BENCH_KEEP=1 keeps the media.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CLI="${1:-$ROOT/build/ulvane-cli}"
[[ "$CLI" == /* ]] || CLI="$PWD/$CLI"
FILES="${BENCH_FILES:-100}"
LENGTH="${BENCH_SECONDS:-20}"
JOBS="${BENCH_JOBS:-2}"
[[ -x "$CLI" ]] || { echo "ulvane-cli not found: $CLI" >&2; exit 1; }

WORK="$(mktemp -d -t ulvane-batchbench.XXXXXX)"
cleanup() { if [[ "${BENCH_KEEP:-0}" == 1 ]]; then echo "kept: $WORK"; else rm -rf "$WORK"; fi; }
trap cleanup EXIT

# One 720p H.264 + AAC file, copied under 100 names with a byte of its own each (a tag), so no
# two sources are the same file and none is in the page cache by another's name.
echo "making $FILES sources of $LENGTH s..."
ffmpeg -v error -f lavfi -i "testsrc2=size=1280x720:rate=30" -f lavfi -i "sine=frequency=440" -t "$LENGTH" \
    -c:v libx264 -preset ultrafast -g 60 -pix_fmt yuv420p -c:a aac "$WORK/base.mp4"
mkdir -p "$WORK/src" "$WORK/one" "$WORK/batch"
for i in $(seq 1 "$FILES"); do
    ffmpeg -v error -i "$WORK/base.mp4" -c copy -metadata title="source $i" "$WORK/src/s$i.mp4"
done
: >"$WORK/jobs.txt"
for i in $(seq 1 "$FILES"); do
    start=$((i % (LENGTH / 2)))
    echo "cut \"$WORK/src/s$i.mp4\" --start $start --end $((start + LENGTH / 2)) --out-dir \"$WORK/OUT\"" >>"$WORK/jobs.txt"
done
cat "$WORK"/src/*.mp4 >/dev/null  # both runs read from the page cache

seconds() { echo "$2 - $1" | bc -l; }
cpu_of() { awk '{print $1 + $2}' "$1"; }

echo "one after another..."
begin=$(date +%s.%N)
/usr/bin/time -f "%U %S" -o "$WORK/time.one" bash -c '
  while IFS= read -r line; do
    eval "set -- ${line//OUT/one}"
    "$0" "$@" --quiet >/dev/null || exit 1
  done <"$1"' "$CLI" "$WORK/jobs.txt"
one=$(seconds "$begin" "$(date +%s.%N)")

echo "batch --jobs $JOBS..."
sed 's/OUT/batch/' "$WORK/jobs.txt" >"$WORK/jobs_batch.txt"
begin=$(date +%s.%N)
/usr/bin/time -f "%U %S" -o "$WORK/time.batch" "$CLI" batch "$WORK/jobs_batch.txt" --jobs "$JOBS" --quiet >"$WORK/batch.out"
batch=$(seconds "$begin" "$(date +%s.%N)")
made=$(grep -c '^ok ' "$WORK/batch.out" || true)
[[ "$made" == "$FILES" ]] || { echo "the batch made $made of $FILES files" >&2; exit 1; }

ratio=$(echo "$batch / $one" | bc -l)
printf '\n%d direct cuts of %d s from %d different %d s files (%d cores, load before: %s)\n' \
    "$FILES" "$((LENGTH / 2))" "$FILES" "$LENGTH" "$(nproc)" "$(cut -d' ' -f1 /proc/loadavg)"
printf '  %-34s %8.2f s wall  %8.2f s processor\n' "ulvane-cli cut, one after another" "$one" "$(cpu_of "$WORK/time.one")"
printf '  %-34s %8.2f s wall  %8.2f s processor\n' "ulvane-cli batch --jobs $JOBS" "$batch" "$(cpu_of "$WORK/time.batch")"
printf '  ratio batch / one after another: %.2fx (target at most 0.60x): %s\n' "$ratio" \
    "$(echo "$ratio <= 0.6" | bc -l | sed 's/1/met/;s/0/NOT met/')"
