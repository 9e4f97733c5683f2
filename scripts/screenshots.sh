#!/usr/bin/env bash
# Screenshots of the window as a user sees it, under Xvfb with a window manager, in every
# language: docs/screenshots/LANGUAGE/. Needs a build (scripts/run.sh or scripts/test.sh)
# and the packages xvfb, xauth and openbox.
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/screenshots
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=20" -f lavfi -i "sine=duration=20" \
  -c:v libx264 -preset ultrafast -g 50 -pix_fmt yuv420p -c:a aac "$work/holiday.mp4"
# The cut the screenshots start goes through a big picture size so it runs long enough to be seen.
for n in 1 2 3; do
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc=size=640x360:rate=30:duration=$((n * 4))" -f lavfi \
    -i "sine=duration=$((n * 4))" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac "$work/part$n.mp4"
done
# A part with a subtitle track the others lack: a direct join of it asks first.
printf '1\n00:00:00,500 --> 00:00:02,000\nHello\n' >"$work/part.srt"
ffmpeg -nostdin -v error -y -i "$work/part1.mp4" -i "$work/part.srt" -map 0 -map 1 -c copy -c:s mov_text \
  "$work/part_subtitled.mp4"
languages=(english spanish german french italian japanese)  # in the language box's order
for position in "${!languages[@]}"; do
  dir="$out/${languages[$position]}"
  mkdir -p "$dir"
  # Each run marks its own two segments: the ones kept for the same file by the run before go.
  rm -rf build/segments
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" sh -c \
    'openbox >/dev/null 2>&1 & sleep 1; exec "$@"' shots build/ulvane-screenshots "$dir" "$position" \
    "$work/holiday.mp4" "$work/part1.mp4" "$work/part2.mp4" "$work/part3.mp4" "$work/part_subtitled.mp4"
done
ls -lR "$out"
