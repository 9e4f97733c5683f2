#!/usr/bin/env bash
# Benchmark (not a test) of playback in the preview. It prints figures and whether each
# target is met; it fails only when a command itself fails.
#   1. A 1080p30 H.264 source with B-frames (a key frame every 2 s, a white picture and a beep
#      at each second) played at 1x through the Player for BENCH_SECONDS: pictures dropped, CPU
#      time, and the sync of each flash picture with its beep as the fake device hears it.
#   2. The CPU time of mpv and of ffplay playing the same seconds of the same file. Neither
#      may show nothing: a null video output skips the work a preview does. So both decode
#      the pictures and bring each to the preview's size in RGB, as the Player does:
#        mpv:    --vo=null with a scale filter to 640x360 RGB24 (the scaling runs; nothing
#                is shown), its sound decoded to --ao=null;
#        ffplay: a 640x360 window on SDL's offscreen video driver, whose software renderer
#                converts and scales each picture into the window; its sound decoded for SDL's
#                dummy audio driver.
#      Ours also runs its paint loop (every 5 ms) and its fake device's thread.
#   3. From Play at a paused picture to the first new picture and the first sound, and from a
#      seek while playing to the first picture and sound of the new place (medians of 11).
#   4. Backwards at 1x for 10 s (no target): pictures dropped and CPU time.
#   5. The result of three 2 s clips played as one timeline (5 rounds): from the play to its
#      first picture (median), and the pictures dropped and seams missed at 1x.
#
# Usage: bench/run_player_bench.sh [BUILD_DIR]   (default: build under the repo root)
# Environment: BENCH_SECONDS (the length played, default 60), BENCH_KEEP=1 keeps the media,
# BENCH_ONLY=seek runs only the seeks while playing (3.) on a 22 s source, BENCH_ONLY=result
# only the result's rounds (5.) on one of 22 s.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
BENCH="$BUILD/ulvane-player-bench"
LENGTH="${BENCH_SECONDS:-60}"
[[ "${BENCH_ONLY:-}" == seek || "${BENCH_ONLY:-}" == result ]] && LENGTH=20
BOX_W=640
BOX_H=360
[[ -x "$BENCH" ]] || { echo "build first: $BENCH is missing" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing; apt-get install time" >&2; exit 1; }
WORK="$(mktemp -d -t ulvane-player-bench.XXXXXX)"
cleanup() { if [[ "${BENCH_KEEP:-0}" == 1 ]]; then echo "kept: $WORK"; else rm -rf "$WORK"; fi; }
trap cleanup EXIT

echo "generating a $((LENGTH + 2)) s 1080p30 H.264 source (B-frames, key frame every 2 s) with a flash and a beep each second ..."
ffmpeg -nostdin -y -v error \
    -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=$((LENGTH + 2)),drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='eq(mod(n\,30)\,0)'" \
    -f lavfi -i "aevalsrc='0.03*sin(2*PI*300*t)+if(lt(mod(t\,1)\,0.1)\,0.5*sin(2*PI*1000*t)\,0)':s=48000:d=$((LENGTH + 2))" \
    -c:v libx264 -preset veryfast -g 60 -keyint_min 60 -sc_threshold 0 -bf 3 -pix_fmt yuv420p \
    -c:a aac -b:a 128k "$WORK/src.mp4"

fig() { awk -v k="$2" '$1 == k {print $2}' "$1"; }
# verdict EXPRESSION: ok when the awk expression of numbers holds.
verdict() { if awk "BEGIN {exit !($1)}"; then echo ok; else echo MISSED; fi; }
if [[ "${BENCH_ONLY:-}" == seek ]]; then
    echo "from a seek while playing (11 places) ..."
    "$BENCH" seek "$WORK/src.mp4" 11 "$BOX_W" "$BOX_H" | tee "$WORK/seek.txt"
    kp=$(fig "$WORK/seek.txt" median_picture_ms)
    ks=$(fig "$WORK/seek.txt" median_sound_ms)
    echo "seek while playing: median first picture $kp ms, first sound $ks ms (target <= 300 ms): $(verdict "$kp <= 300 && $ks <= 300")"
    exit 0
fi

result_verdict() {
    local rp dr ms
    rp=$(fig "$WORK/result.txt" median_first_picture_ms)
    dr=$(fig "$WORK/result.txt" dropped_total)
    ms=$(awk '$1 == "seams_missed" {print $2}' "$WORK/result.txt")
    echo "result of three clips: median first picture $rp ms (target <= 150 ms): $(verdict "$rp <= 150")"
    echo "result at 1x: $dr pictures dropped, $ms seams without their first picture (target none): $(verdict "$dr == 0 && $ms == 0")"
}
if [[ "${BENCH_ONLY:-}" == result ]]; then
    echo "the result of three clips (5 rounds) ..."
    "$BENCH" result "$WORK/src.mp4" 5 "$BOX_W" "$BOX_H" | tee "$WORK/result.txt"
    result_verdict
    exit 0
fi

# cpu_of LOGFILE: user + system seconds from /usr/bin/time's "%U %S" line.
cpu_of() { awk '/^cpu / {printf "%.2f", $2 + $3}' "$1"; }

echo "ours: $LENGTH s at 1x in a ${BOX_W}x${BOX_H} preview ..."
"$BENCH" play "$WORK/src.mp4" "$LENGTH" "$BOX_W" "$BOX_H" >"$WORK/ours.txt"
cat "$WORK/ours.txt"
ours_cpu=$(awk '/^cpu_seconds/ {print $2}' "$WORK/ours.txt")
dropped=$(awk '/^dropped_percent/ {print $2}' "$WORK/ours.txt")
sync_worst=$(awk '/^sync_worst_ms/ {print $2}' "$WORK/ours.txt")

mpv_cpu=n/a
if command -v mpv >/dev/null; then
    echo "mpv: the same $LENGTH s, pictures scaled to ${BOX_W}x${BOX_H} RGB, no display ..."
    /usr/bin/time -f "cpu %U %S" -o "$WORK/mpv.time" mpv --no-config --really-quiet --vo=null --ao=null \
        --vf="scale=w=$BOX_W:h=$BOX_H,format=fmt=rgb24" --length="$LENGTH" "$WORK/src.mp4" >/dev/null 2>&1
    mpv_cpu=$(cpu_of "$WORK/mpv.time")
fi
ffplay_cpu=n/a
if command -v ffplay >/dev/null; then
    echo "ffplay: the same $LENGTH s in a ${BOX_W}x${BOX_H} window on SDL's offscreen driver ..."
    SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy /usr/bin/time -f "cpu %U %S" -o "$WORK/ffplay.time" \
        ffplay -v error -nostats -autoexit -t "$LENGTH" -x "$BOX_W" -y "$BOX_H" "$WORK/src.mp4" >/dev/null 2>&1 </dev/null
    ffplay_cpu=$(cpu_of "$WORK/ffplay.time")
fi

echo "from Play at a paused picture (11 places) ..."
"$BENCH" start "$WORK/src.mp4" 11 "$BOX_W" "$BOX_H" >"$WORK/start.txt"
echo "from a seek while playing (11 places) ..."
"$BENCH" seek "$WORK/src.mp4" 11 "$BOX_W" "$BOX_H" >"$WORK/seek.txt"
echo "backwards at 1x for 10 s ..."
"$BENCH" back "$WORK/src.mp4" 10 "$BOX_W" "$BOX_H" >"$WORK/back.txt"
echo "the result of three clips (5 rounds) ..."
"$BENCH" result "$WORK/src.mp4" 5 "$BOX_W" "$BOX_H" >"$WORK/result.txt"
cat "$WORK/start.txt" "$WORK/seek.txt" "$WORK/result.txt"

printf "\n%-28s %10s\n" "CPU seconds for $LENGTH s" "seconds"
printf "%-28s %10s\n" "ours" "$ours_cpu" "mpv (scaled, no display)" "$mpv_cpu" "ffplay (offscreen window)" "$ffplay_cpu"
echo "pictures dropped $dropped % (target <= 1 %): $(verdict "$dropped <= 1")"
for other in mpv ffplay; do
    theirs=$([[ $other == mpv ]] && echo "$mpv_cpu" || echo "$ffplay_cpu")
    [[ "$theirs" == n/a ]] && continue
    echo "CPU ours/$other $(awk -v o="$ours_cpu" -v t="$theirs" 'BEGIN {printf "%.2f", o / t}') (target <= 1): $(verdict "$ours_cpu <= $theirs")"
done
echo "sync worst ${sync_worst} ms (target <= 40 ms): $(verdict "$sync_worst <= 40")"
sp=$(fig "$WORK/start.txt" median_picture_ms)
ss=$(fig "$WORK/start.txt" median_sound_ms)
echo "Play at a paused picture: median first picture $sp ms, first sound $ss ms (target <= 150 ms): $(verdict "$sp <= 150 && $ss <= 150")"
kp=$(fig "$WORK/seek.txt" median_picture_ms)
ks=$(fig "$WORK/seek.txt" median_sound_ms)
echo "backwards: $(fig "$WORK/back.txt" shown) shown, $(fig "$WORK/back.txt" dropped_percent) % dropped, $(fig "$WORK/back.txt" cpu_seconds) CPU seconds for 10 s"
echo "seek while playing: median first picture $kp ms, first sound $ks ms (target <= 300 ms): $(verdict "$kp <= 300 && $ks <= 300")"
result_verdict
