#!/usr/bin/env bash
# Benchmark (not a test) of the window's responsiveness: seek-bar drags over a 1080p H.264
# source and adding 100 files to the join list, on the offscreen platform.
# Usage: bench/run_preview_bench.sh [BUILD_DIR]   (default: build under the repo root)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
[[ -x "$BUILD/ulvane-preview-bench" ]] || { echo "build first: $BUILD/ulvane-preview-bench is missing" >&2; exit 1; }
WORK="$(mktemp -d -t ulvane-preview-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
echo "generating a 60 s 1080p H.264 source (key frame every 2 s) and a small file ..."
ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=60" \
    -c:v libx264 -preset veryfast -g 50 -bf 3 -pix_fmt yuv420p "$WORK/src.mp4"
ffmpeg -nostdin -y -v error -f lavfi -i "testsrc2=size=320x240:rate=25:duration=2" -f lavfi -i "sine=duration=2" \
    -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac "$WORK/small.mp4"
# A program folder of its own: languages and images as the build places them.
mkdir -p "$WORK/program"
cp -r "$BUILD/languages" "$BUILD/images" "$WORK/program/"
cp "$ROOT/resources/setting.ini" "$WORK/program/"
QT_QPA_PLATFORM=offscreen "$BUILD/ulvane-preview-bench" "$WORK/program" "$WORK/src.mp4" "$WORK/small.mp4"
