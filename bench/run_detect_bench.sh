#!/usr/bin/env bash
# Benchmark of silence detection over a long sound: `ulvane-cli detect silence` against the
# ffmpeg tool's `-af silencedetect=n=-50dB:d=0.5 -f null -` on the same file. It prints the
# times, the ratio (target 0.7 or less), peak memory (target under 150 MiB), and whether the
# findings agree within 10 ms; it fails only when a command itself fails.
#
# Usage: bench/run_detect_bench.sh [PATH_TO_ulvane-cli]   (default: build/ulvane-cli)
# Environment: BENCH_SECONDS (the sound's length, default 1500 = 25 minutes), BENCH_KEEP=1
# keeps the media, BENCH_SOURCE=FILE uses (or makes once, then keeps) the sound there,
# BENCH_RUNS (default 3) runs each command that many times, turn about, and takes the median
# wall time (a loaded machine's figures vary from run to run). Processor time (user and system,
# all threads) is printed beside the wall time: silence detection reads a long indexed file in
# parts on up to four threads.
# Both commands decode the whole sound once, so their times grow in proportion to its length:
# two hours take 4.8 times the figures of 25 minutes, in the same memory.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CLI="${1:-$ROOT/build/ulvane-cli}"
[[ "$CLI" == /* ]] || CLI="$PWD/$CLI"
LENGTH="${BENCH_SECONDS:-1500}"
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing; apt-get install time" >&2; exit 1; }
[[ -x "$CLI" ]] || { echo "ulvane-cli not found: $CLI" >&2; exit 1; }

WORK="$(mktemp -d -t ulvane-detectbench.XXXXXX)"
cleanup() { if [[ "${BENCH_KEEP:-0}" == 1 ]]; then echo "kept: $WORK"; else rm -rf "$WORK"; fi; }
trap cleanup EXIT

SRC="${BENCH_SOURCE:-$WORK/sound.m4a}"
if [[ ! -s "$SRC" ]]; then
    echo "making $LENGTH s of AAC stereo 48 kHz: a tone silent for 1 s of every 7 (and 0.3 s of every 11)"
    # A cheap encoder setting: 64 kb/s AAC of a generated tone.
    ffmpeg -v error -y -f lavfi -i \
        "aevalsrc='0.3*sin(440*2*PI*t)*gte(mod(t,7),1)*gte(mod(t,11),0.3)|0.3*sin(660*2*PI*t)*gte(mod(t,7),1)*gte(mod(t,11),0.3)':s=48000:d=$LENGTH" \
        -c:a aac -b:a 64k "$SRC"
fi

LENGTH=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$SRC" | cut -d. -f1)

RUNS="${BENCH_RUNS:-3}"

# timed KEY COMMAND...: wall seconds appended to $WORK/KEY.walls, processor seconds to
# $WORK/KEY.cpus, peak KiB into MEM[KEY]; output in $WORK/KEY.out/err.
declare -A MEM
timed() {
    local key=$1
    shift
    local begin end
    begin=$(date +%s.%N)
    if ! /usr/bin/time -f "%M %U %S" -o "$WORK/time.$key" "$@" >"$WORK/$key.out" 2>"$WORK/$key.err"; then
        echo "command failed: ${*:1:6} ..." >&2
        cat "$WORK/$key.err" >&2
        exit 1
    fi
    end=$(date +%s.%N)
    echo "$end - $begin" | bc -l >>"$WORK/$key.walls"
    tail -1 "$WORK/time.$key" | awk '{ print $2 + $3 }' >>"$WORK/$key.cpus"
    MEM[$key]=$(tail -1 "$WORK/time.$key" | cut -d' ' -f1)
}
median() { sort -g "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for ((run = 0; run < RUNS; run++)); do
    timed ulvane "$CLI" detect silence "$SRC"
    timed ffmpeg ffmpeg -nostats -hide_banner -i "$SRC" -af silencedetect=n=-50dB:d=0.5 -f null -
done
declare -A WALL CPU
for key in ulvane ffmpeg; do
    WALL[$key]=$(median "$WORK/$key.walls")
    CPU[$key]=$(median "$WORK/$key.cpus")
done

# The two lists of findings as "start end" in seconds, one a line. The tool prints six significant
# digits, so past 1000 s its times are to the hundredth of a second: differences up to 5 ms there
# are its rounding.
awk '{ split($1, a, ":"); split($2, b, ":"); printf "%.3f %.3f\n", a[1]*3600+a[2]*60+a[3], b[1]*3600+b[2]*60+b[3] }' \
    "$WORK/ulvane.out" >"$WORK/ulvane.txt"
awk '/silence_start:/ { s = $NF } /silence_end:/ { for (i = 1; i <= NF; i++) if ($i == "silence_end:") printf "%.3f %.3f\n", s, $(i+1) }' \
    "$WORK/ffmpeg.err" >"$WORK/ffmpeg.txt"
ours=$(wc -l <"$WORK/ulvane.txt")
theirs=$(wc -l <"$WORK/ffmpeg.txt")
worst=$(paste -d' ' "$WORK/ulvane.txt" "$WORK/ffmpeg.txt" |
    awk '{ d = $1 - $3; if (d < 0) d = -d; e = $2 - $4; if (e < 0) e = -e; if (e > d) d = e; if (d > m) m = d } END { printf "%.4f", m + 0 }')

ratio=$(echo "${WALL[ulvane]} / ${WALL[ffmpeg]}" | bc -l)
printf 'sound: %s s (%s); median of %s runs; load average %s\n' "$LENGTH" "$SRC" "$RUNS" \
    "$(cut -d' ' -f1-3 /proc/loadavg)"
printf 'ulvane-cli detect silence: %6.2f s wall  %6.2f s processor  %6.1f MiB peak\n' "${WALL[ulvane]}" \
    "${CPU[ulvane]}" "$(echo "${MEM[ulvane]} / 1024" | bc -l)"
printf 'ffmpeg silencedetect:      %6.2f s wall  %6.2f s processor  %6.1f MiB peak\n' "${WALL[ffmpeg]}" \
    "${CPU[ffmpeg]}" "$(echo "${MEM[ffmpeg]} / 1024" | bc -l)"
printf 'ratio ulvane/ffmpeg: %.2f (target <= 0.70: %s)\n' "$ratio" "$(echo "$ratio <= 0.7" | bc -l | sed 's/1/met/;s/0/missed/')"
printf 'peak memory under 150 MiB: %s\n' "$( ((MEM[ulvane] < 150 * 1024)) && echo met || echo missed)"
printf 'findings: %s ours, %s ffmpeg, largest difference %s s (within 0.010: %s)\n' "$ours" "$theirs" "$worst" \
    "$( [[ $ours == "$theirs" ]] && (($(echo "$worst <= 0.010" | bc -l))) && echo yes || echo no)"
printf 'two hours at this rate: ulvane %.0f s, ffmpeg %.0f s\n' "$(echo "${WALL[ulvane]} * 7200 / $LENGTH" | bc -l)" \
    "$(echo "${WALL[ffmpeg]} * 7200 / $LENGTH" | bc -l)"
