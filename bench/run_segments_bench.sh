#!/usr/bin/env bash
# Benchmark of a merged exact export of many segments. It prints figures and ratios, and
# whether each target is met; it fails only when a command itself fails.
#   1. 20 segments of 10 s, and 20 of 3 s, none starting on a key frame, of a 1080p H.264 source
#      with B-frames: ulvane-cli in one pass, against the way scripts do it with the ffmpeg tool
#      (each segment's head encoded to the next key frame and its rest copied, each to files of its
#      own, then all joined by the concat demuxer); the 10 s ones also against 20 single exact cuts
#      by ulvane-cli.
#   2. Peak memory of 1,000 one-second segments against 10.
#
# Usage: bench/run_segments_bench.sh [PATH_TO_ulvane-cli]   (default: build/ulvane-cli)
# Environment: BENCH_SECONDS (the source's length, default 600), BENCH_KEEP=1 keeps the media,
# BENCH_SOURCE=FILE uses (or makes once, then keeps) the source there.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CLI="${1:-$ROOT/build/ulvane-cli}"
[[ "$CLI" == /* ]] || CLI="$PWD/$CLI"
LENGTH="${BENCH_SECONDS:-600}"
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing; apt-get install time" >&2; exit 1; }
[[ -x "$CLI" ]] || { echo "ulvane-cli not found: $CLI" >&2; exit 1; }

WORK="$(mktemp -d -t ulvane-segbench.XXXXXX)"
cleanup() { if [[ "${BENCH_KEEP:-0}" == 1 ]]; then echo "kept: $WORK"; else rm -rf "$WORK"; fi; }
trap cleanup EXIT

# A sum or product as a decimal the ffmpeg tool reads (bc leaves out the 0 before the point).
calc() { printf '%.3f' "$(echo "$1" | bc -l)"; }

run_or_die() {
    if ! "$@" >"$WORK/last.out" 2>"$WORK/last.err"; then
        echo "command failed: ${*:1:6} ..." >&2
        cat "$WORK/last.err" >&2
        exit 1
    fi
}

# timed KEY COMMAND...: wall seconds into WALL[KEY], peak KiB into MEM[KEY].
declare -A WALL MEM
timed() {
    local key=$1
    shift
    local begin end
    begin=$(date +%s.%N)
    run_or_die /usr/bin/time -f "%M" -o "$WORK/time.$key" "$@"
    end=$(date +%s.%N)
    WALL[$key]=$(echo "$end - $begin" | bc -l)
    MEM[$key]=$(tail -1 "$WORK/time.$key")
}

SRC="${BENCH_SOURCE:-$WORK/source.mp4}"
[[ "$SRC" == /* ]] || SRC="$PWD/$SRC"
if [[ ! -f "$SRC" ]]; then
    echo "generating a ${LENGTH} s 1080p source in $SRC ..."
    run_or_die ffmpeg -y -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$LENGTH" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$LENGTH" -c:v libx264 -preset veryfast -bf 3 \
        -g 50 -pix_fmt yuv420p -c:a aac -b:a 128k "$SRC"
fi

# 20 segments of 10 s (and of 3 s) spread over the source, each starting 1.37 s after a key frame.
step=$(( (LENGTH - 12) / 20 / 2 * 2 ))
SEGMENTS=()
SHORT_SEGMENTS=()
for k in $(seq 0 19); do
    start=$(calc "$k * $step + 1.37")
    SEGMENTS+=("$start-$(calc "$start + 10")")
    SHORT_SEGMENTS+=("$start-$(calc "$start + 3")")
done

# 1. One pass.
one_pass() { # KEY SEGMENT...
    local key=$1 args=()
    shift
    for s in "$@"; do args+=(--segment "$s"); done
    mkdir -p "$WORK/$key"
    timed "$key" "$CLI" cut "$SRC" "${args[@]}" --merge --exact --out-dir "$WORK/$key" --name merged --quiet
}
one_pass one "${SEGMENTS[@]}"
one_pass one_short "${SHORT_SEGMENTS[@]}"

# 2. The script way: head encoded to the next key frame, the rest copied, then joined.
script_way() { # SEGMENT...
    rm -rf "$WORK/script"
    mkdir -p "$WORK/script"
    local list="$WORK/script/list.txt" k=0
    : >"$list"
    for s in "$@"; do
        local start=${s%-*} end=${s#*-}
        local key
        key=$(echo "($start / 2 + 1) / 1 * 2" | bc)
        ffmpeg -y -v error -ss "$start" -i "$SRC" -t "$(calc "$key - $start")" -c:v libx264 -preset veryfast \
            -bf 3 -c:a aac "$WORK/script/head_$k.mp4"
        ffmpeg -y -v error -ss "$key" -i "$SRC" -t "$(calc "$end - $key")" -c copy "$WORK/script/rest_$k.mp4"
        echo "file 'head_$k.mp4'" >>"$list"
        echo "file 'rest_$k.mp4'" >>"$list"
        k=$((k + 1))
    done
    ffmpeg -y -v error -f concat -safe 0 -i "$list" -c copy "$WORK/script/merged.mp4"
}
begin=$(date +%s.%N)
script_way "${SEGMENTS[@]}"
WALL[script]=$(echo "$(date +%s.%N) - $begin" | bc -l)
begin=$(date +%s.%N)
script_way "${SHORT_SEGMENTS[@]}"
WALL[script_short]=$(echo "$(date +%s.%N) - $begin" | bc -l)

# 3. Twenty single exact cuts.
mkdir -p "$WORK/singles"
begin=$(date +%s.%N)
for s in "${SEGMENTS[@]}"; do
    run_or_die "$CLI" cut "$SRC" --start "${s%-*}" --end "${s#*-}" --exact --out-dir "$WORK/singles" --quiet
done
WALL[singles]=$(echo "$(date +%s.%N) - $begin" | bc -l)

# 4. Memory: 10 and 1,000 one-second segments (overlapping where the source is short).
for count in 10 1000; do
    mkdir -p "$WORK/mem$count"
    args=()
    for k in $(seq 0 $((count - 1))); do
        start=$(calc "($k * ($LENGTH - 2) / $count) + 0.17")
        args+=(--segment "$start-$(calc "$start + 1")")
    done
    timed "mem$count" "$CLI" cut "$SRC" "${args[@]}" --merge --exact --out-dir "$WORK/mem$count" --name m --quiet
done

# The 1,000-seam file: clean, and its sound and pictures end together (within check_media's slack).
CHECK="$ROOT/../shared/tools/check_media.py"
if [[ -f "$CHECK" ]]; then
    seams=$(python3 "$CHECK" "$WORK"/mem1000/m.* --length 1 --slack 100000 --kinds audio,video 2>&1 || true)
    echo "1000-seam export, checked by check_media: ${seams:-clean, sound and pictures end together}"
fi

ratio() { echo "scale=2; $1 / $2" | bc -l; }
verdict() { if (( $(echo "$1 <= $2" | bc -l) )); then echo "met"; else echo "NOT met"; fi; }
r_script=$(ratio "${WALL[one]}" "${WALL[script]}")
r_short=$(ratio "${WALL[one_short]}" "${WALL[script_short]}")
r_singles=$(ratio "${WALL[one]}" "${WALL[singles]}")
r_mem=$(ratio "${MEM[mem1000]}" "${MEM[mem10]}")
printf '20 segments, one pass:            %6.1f s, peak %s KiB\n' "${WALL[one]}" "${MEM[one]}"
printf 'the ffmpeg script way:            %6.1f s\n' "${WALL[script]}"
printf '20 single exact cuts:             %6.1f s\n' "${WALL[singles]}"
printf 'one pass / script way:            %6s (target <= 0.5: %s)\n' "$r_script" "$(verdict "$r_script" 0.5)"
printf '20 segments of 3 s, one pass:     %6.1f s, the script way %.1f s\n' "${WALL[one_short]}" "${WALL[script_short]}"
printf 'one pass / script way, 3 s:       %6s (target <= 0.5: %s)\n' "$r_short" "$(verdict "$r_short" 0.5)"
printf 'one pass / single cuts:           %6s (target <= 1.2: %s)\n' "$r_singles" "$(verdict "$r_singles" 1.2)"
printf 'peak memory, 1000 vs 10 segments: %s vs %s KiB = %s (target <= 1.2: %s)\n' "${MEM[mem1000]}" \
    "${MEM[mem10]}" "$r_mem" "$(verdict "$r_mem" 1.2)"
