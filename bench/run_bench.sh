#!/usr/bin/env bash
# Benchmark of ulvane-cli against the ffmpeg tool on the same machine: a direct cut, a re-encoding cut
# and a direct join. It only prints figures (median wall time of 3 runs, highest peak memory) and
# whether each target is met; it fails only when a command itself fails.
#
# Usage: bench/run_bench.sh [PATH_TO_ulvane-cli]   (default: build/ulvane-cli under the repo root)
# Environment: BENCH_KEEP=1 keeps the temporary folder with the media and outputs.
# shellcheck disable=SC2317  # cleanup and the fresh_* helpers are called through trap and by name
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CLI="${1:-$ROOT/build/ulvane-cli}"
[[ "$CLI" == /* ]] || CLI="$PWD/$CLI"
CHECK="$ROOT/../shared/tools/check_media.py"
RUNS=3

if [[ ! -x /usr/bin/time ]]; then
    echo "/usr/bin/time is missing; install it with: apt-get install time" >&2
    exit 1
fi
if [[ ! -x "$CLI" ]]; then
    echo "ulvane-cli not found or not executable: $CLI" >&2
    exit 1
fi
command -v ffmpeg >/dev/null || { echo "the ffmpeg tool is missing" >&2; exit 1; }

WORK="$(mktemp -d -t ulvane-bench.XXXXXX)"
cleanup() {
    if [[ "${BENCH_KEEP:-0}" == 1 ]]; then echo "kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# Runs a command quietly; on failure prints what it wrote to stderr and stops the benchmark.
run_or_die() {
    if ! "$@" >"$WORK/last.out" 2>"$WORK/last.err"; then
        echo "command failed: $*" >&2
        cat "$WORK/last.err" >&2
        exit 1
    fi
}

# ---- 1. Source media ---------------------------------------------------------------------------
# H.264 with B-frames (the ultrafast preset would turn them off) and stereo AAC at 48 kHz.
ENC=(-c:v libx264 -preset veryfast -bf 3 -g 50 -pix_fmt yuv420p -c:a aac -b:a 128k -ar 48000 -ac 2)
SRC="$WORK/source_1080p.mp4"
echo "generating media in $WORK ..."
gen_start=$SECONDS
run_or_die ffmpeg -y -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=70" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=70" "${ENC[@]}" "$SRC"
PIECES=()
for i in 1 2 3; do
    piece="$WORK/piece_$i.mp4"
    run_or_die ffmpeg -y -v error -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=20" \
        -f lavfi -i "sine=frequency=$((220 * i)):sample_rate=48000:duration=20" "${ENC[@]}" "$piece"
    PIECES+=("$piece")
    echo "file '$piece'" >>"$WORK/list.txt"
done
# Direct joins against mkvmerge: three 20 s 1080p Matroska parts, and 300 one-second files.
MKV_PARTS=()
for i in 1 2 3; do
    part="$WORK/part_$i.mkv"
    run_or_die ffmpeg -y -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=20" \
        -f lavfi -i "sine=frequency=$((220 * i)):sample_rate=48000:duration=20" "${ENC[@]}" "$part"
    MKV_PARTS+=("$part")
done
run_or_die ffmpeg -y -v error -f lavfi -i "testsrc2=size=640x360:rate=25:duration=300" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=300" "${ENC[@]}" -g 25 -f segment \
    -segment_time 1 -reset_timestamps 1 "$WORK/second_%03d.mkv"
SECONDS_FILES=("$WORK"/second_*.mkv)
echo "generated in $((SECONDS - gen_start)) s"

# ---- 2. Measurements ---------------------------------------------------------------------------
declare -A WALL CPU MEM OUTDIR

# measure KEY PREPARE -- COMMAND...: runs COMMAND $RUNS times, calling PREPARE before each run to
# clear the previous output; stores the median wall seconds in WALL[KEY], the median CPU seconds
# (user + system) in CPU[KEY], the max peak KiB in MEM[KEY].
measure() {
    local key=$1 prepare=$2 walls=() cpus=() peak=0 i wall rss user sys
    shift 3
    for ((i = 0; i < RUNS; i++)); do
        "$prepare"
        if ! /usr/bin/time -f '%e %M %U %S' -o "$WORK/time.txt" "$@" >"$WORK/last.out" 2>"$WORK/last.err"; then
            echo "command failed ($key): $*" >&2
            cat "$WORK/last.err" >&2
            exit 1
        fi
        read -r wall rss user sys <"$WORK/time.txt"
        walls+=("$wall")
        cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')")
        if ((rss > peak)); then peak=$rss; fi
    done
    WALL[$key]=$(printf '%s\n' "${walls[@]}" | sort -g | sed -n "$((RUNS / 2 + 1))p")
    CPU[$key]=$(printf '%s\n' "${cpus[@]}" | sort -g | sed -n "$((RUNS / 2 + 1))p")
    MEM[$key]=$peak
}

# Our tool never overwrites, so each of its runs gets a fresh empty folder.
fresh_ours() { rm -rf "$WORK/ours"; mkdir -p "$WORK/ours"; }
fresh_ffmpeg() { rm -f "$WORK/ffmpeg_out.mp4"; }

# Keeps the last output of ours for the check below.
keep_ours() { rm -rf "$WORK/kept_$1"; mv "$WORK/ours" "$WORK/kept_$1"; OUTDIR[$1]="$WORK/kept_$1"; }

FF_REENC=(-c:v libx264 -preset superfast -threads 2 -b:v 3000k -s 1280x720 -r 25 -g 12 -keyint_min 25
    -qmin 10 -qmax 51 -qdiff 4 -qcomp 0.6 -me_range 16 -pix_fmt yuv420p -c:a aac -b:a 128k -ar 48000 -ac 2)

echo "a. direct cut of 60 s ..."
measure a_ours fresh_ours -- "$CLI" cut "$SRC" --start 00:00:05.000 --end 00:01:05.000 \
    --out-dir "$WORK/ours" --name cut_direct
keep_ours a
measure a_ff fresh_ffmpeg -- ffmpeg -y -v error -ss 5 -i "$SRC" -t 60 -c copy "$WORK/ffmpeg_out.mp4"

echo "b. re-encoding cut of 20 s to 1280x720 ..."
measure b_ours fresh_ours -- "$CLI" cut "$SRC" --start 00:00:10.000 --end 00:00:30.000 \
    --out-dir "$WORK/ours" --name cut_reenc --reencode --format 1 --quality 3 --size 6 \
    --framerate 9 --audioquality 3 --samplerate 3
keep_ours b
measure b_ff fresh_ffmpeg -- ffmpeg -y -v error -ss 10 -i "$SRC" -t 20 "${FF_REENC[@]}" "$WORK/ffmpeg_out.mp4"

echo "c. direct join of 3 x 20 s ..."
measure c_ours fresh_ours -- "$CLI" join --out-dir "$WORK/ours" --name join_direct "${PIECES[@]}"
keep_ours c
measure c_ff fresh_ffmpeg -- ffmpeg -y -v error -f concat -safe 0 -i "$WORK/list.txt" -c copy \
    "$WORK/ffmpeg_out.mp4"

echo "d. exact direct cut of the same 60 s, beside our direct and re-encoding cuts of it ..."
measure d_exact fresh_ours -- "$CLI" cut "$SRC" --start 00:00:05.000 --end 00:01:05.000 \
    --out-dir "$WORK/ours" --name cut_exact --exact
keep_ours d
# The re-encoding cut of 60 s of 1080p takes long: one run.
saved_runs=$RUNS
RUNS=1
measure d_reenc fresh_ours -- "$CLI" cut "$SRC" --start 00:00:05.000 --end 00:01:05.000 \
    --out-dir "$WORK/ours" --name cut_reenc60 --reencode --format 1
RUNS=$saved_runs

echo "e. direct joins of Matroska parts beside mkvmerge ..."
fresh_mkvmerge() { rm -f "$WORK/mkvmerge_out.mkv"; }
plus_list() { # FILE... -> FILE + FILE + ...
    local first=1
    for f in "$@"; do
        if ((first)); then first=0; else printf '%s\n' +; fi
        printf '%s\n' "$f"
    done
}
HAVE_MKVMERGE=0
if command -v mkvmerge >/dev/null; then HAVE_MKVMERGE=1; fi
measure e3_ours fresh_ours -- "$CLI" join --out-dir "$WORK/ours" --name join_mkv "${MKV_PARTS[@]}"
keep_ours e3
measure e300_ours fresh_ours -- "$CLI" join --out-dir "$WORK/ours" --name join_300 "${SECONDS_FILES[@]}"
keep_ours e300
measure e50_ours fresh_ours -- "$CLI" join --out-dir "$WORK/ours" --name join_50 "${SECONDS_FILES[@]:0:50}"
if ((HAVE_MKVMERGE)); then
    mapfile -t three < <(plus_list "${MKV_PARTS[@]}")
    measure e3_mm fresh_mkvmerge -- mkvmerge -q -o "$WORK/mkvmerge_out.mkv" "${three[@]}"
    mapfile -t many < <(plus_list "${SECONDS_FILES[@]}")
    measure e300_mm fresh_mkvmerge -- mkvmerge -q -o "$WORK/mkvmerge_out.mkv" "${many[@]}"
fi

# ---- 3. Table ----------------------------------------------------------------------------------
# Wall times have 0.01 s resolution; a zero denominator is counted as 0.01 s.
row() { # key label time_target
    awk -v name="$2" -v ow="${WALL[${1}_ours]}" -v fw="${WALL[${1}_ff]}" \
        -v om="${MEM[${1}_ours]}" -v fm="${MEM[${1}_ff]}" -v tt="$3" 'BEGIN {
        tr = ow / (fw > 0 ? fw : 0.01); mr = om / (fm > 0 ? fm : 1)
        miss = ""
        if (tr > tt + 1e-9) miss = "time"
        if (mr > 1.00 + 1e-9) miss = miss (miss == "" ? "" : ",") "memory"
        printf "%-16s %8.2f %8.2f %8.3f %9.1f %9.1f %8.3f   t<=%.2f m<=1.00  %s\n", name, ow, fw, tr,
            om / 1024, fm / 1024, mr, tt, (miss == "" ? "ok" : "MISSED (" miss ")")
    }'
}
echo
printf "%-16s %8s %8s %8s %9s %9s %8s   %-16s %s\n" workload ours_s ffmpeg_s ratio ours_MiB \
    ffmpeg_MiB mem_ratio target verdict
row a "a. direct cut" 0.65
row b "b. re-encode cut" 1.05
row c "c. direct join" 1.00
echo "(median wall of $RUNS runs, max peak RSS of $RUNS runs)"
echo
awk -v e="${WALL[d_exact]}" -v d="${WALL[a_ours]}" -v r="${WALL[d_reenc]}" \
    -v em="${MEM[d_exact]}" -v rm="${MEM[d_reenc]}" 'BEGIN {
    d = d > 0 ? d : 0.01; r = r > 0 ? r : 0.01
    printf "d. exact cut of 60 s: %.2f s; direct cut %.2f s; re-encoding cut (row 1) %.2f s (one run)\n", e, d, r
    printf "   exact / re-encoding %.3f (target <= 0.15): %s\n", e / r, (e / r <= 0.15 ? "ok" : "MISSED")
    printf "   exact / direct      %.3f (target <= 3): %s\n", e / d, (e / d <= 3 ? "ok" : "MISSED")
    printf "   peak memory exact %.1f MiB, re-encoding %.1f MiB: %s\n", em / 1024, rm / 1024, (em <= rm ? "ok" : "MISSED")
}'

echo
if ((HAVE_MKVMERGE)); then
    awk -v ow="${WALL[e3_ours]}" -v mw="${WALL[e3_mm]}" -v oc="${CPU[e3_ours]}" -v mc="${CPU[e3_mm]}" \
        -v o3="${WALL[e300_ours]}" -v m3="${WALL[e300_mm]}" 'BEGIN {
        mw = mw > 0 ? mw : 0.01; mc = mc > 0 ? mc : 0.01; m3 = m3 > 0 ? m3 : 0.01
        printf "e. 3 x 20 s 1080p Matroska: ours %.2f s, mkvmerge %.2f s: ratio %.2f (target <= 1): %s\n",
            ow, mw, ow / mw, (ow / mw <= 1 ? "ok" : "MISSED")
        printf "   CPU ours %.2f s, mkvmerge %.2f s: ratio %.2f (target <= 2): %s\n", oc, mc, oc / mc,
            (oc / mc <= 2 ? "ok" : "MISSED")
        printf "   300 x 1 s: ours %.2f s, mkvmerge %.2f s: ratio %.2f (target <= 1): %s\n", o3, m3, o3 / m3,
            (o3 / m3 <= 1 ? "ok" : "MISSED")
    }'
else
    echo "e. mkvmerge is not installed (apt-get install -y mkvtoolnix): ours alone, 3 x 20 s ${WALL[e3_ours]} s" \
        "(CPU ${CPU[e3_ours]} s), 300 x 1 s ${WALL[e300_ours]} s"
fi
awk -v a="${MEM[e50_ours]}" -v b="${MEM[e300_ours]}" 'BEGIN {
    printf "   peak memory joining 50 files %.1f MiB, 300 files %.1f MiB: %s\n", a / 1024, b / 1024,
        (b <= a * 1.25 ? "flat" : "GROWS")
}'

# ---- 4. Independent check of our outputs (informational) -------------------------------------
if [[ -f "$CHECK" ]]; then
    echo
    check() { # key length slack
        local file
        file=$(find "${OUTDIR[$1]}" -maxdepth 1 -type f | head -n 1)
        if [[ -z "$file" ]]; then echo "$1: check: no output file found"; return; fi
        if out=$(python3 "$CHECK" "$file" --length "$2" --slack "$3" --kinds audio,video 2>&1); then
            echo "$1 ($(basename "$file")): check: ok"
        else
            echo "$1 ($(basename "$file")): check found problems:"
            sed 's/^/    /' <<<"$out"
        fi
    }
    # A direct cut starts at the key frame at or before the start: up to one group (2 s) more.
    check a 60 2.1
    check b 20 0.1
    check c 60 0.5
    check e3 60 0.5
    check e300 300 1
    # The exact cut lasts the segment to within a frame and starts on the picture at 5 s.
    check d 60 0.04
    exact=$(find "${OUTDIR[d]}" -maxdepth 1 -type f | head -n 1)
    ffmpeg -v error -i "$exact" -frames:v 1 -f image2 -y "$WORK/exact_first.png"
    ffmpeg -v error -ss 5 -i "$SRC" -frames:v 1 -f image2 -y "$WORK/source_at_5.png"
    psnr=$(ffmpeg -i "$WORK/exact_first.png" -i "$WORK/source_at_5.png" -lavfi psnr -f null - 2>&1 |
        grep -o 'average:[0-9.inf]*' | cut -d: -f2)
    echo "d: first picture against the source's at 5 s: PSNR $psnr dB (target >= 40)"
    # Packets after the key frame at 6 s are the source's own: compare the packet hashes.
    ffmpeg -v error -i "$SRC" -map 0:v -c copy -f framemd5 - | grep -v '^#' | awk -F, '{print $NF}' >"$WORK/src.md5"
    ffmpeg -v error -i "$exact" -map 0:v -c copy -f framemd5 - | grep -v '^#' | awk -F, '{print $NF}' >"$WORK/out.md5"
    same=$(grep -cxFf "$WORK/src.md5" "$WORK/out.md5" || true)
    total=$(wc -l <"$WORK/out.md5")
    echo "d: $same of $total output packets are byte-identical to source packets (the rest: the head and K1)"
fi
exit 0
