#!/usr/bin/env bash
# Benchmark of the queue panel with 1,000 waiting jobs (JOBS=N for another count): the longest
# the panel goes without painting while the jobs are offered again, scrolled, moved, removed and
# renamed by a language switch (target: at most 50 ms). It prints figures; it fails only when
# the program cannot run.
#   bench/run_queue_bench.sh [BUILD_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
[[ -x "$BUILD/ulvane-queue-bench" ]] || { echo "build first: $BUILD/ulvane-queue-bench is missing" >&2; exit 1; }
WORK="$(mktemp -d -t ulvane-queue-bench.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
cp -r "$BUILD/languages" "$BUILD/images" "$WORK/"
cp "$ROOT/resources/setting.ini" "$WORK/"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
# The offscreen platform's note on size hints is left out.
QT_QPA_PLATFORM=offscreen "$BUILD/ulvane-queue-bench" "$WORK" "${JOBS:-1000}" 2> >(grep -v propagateSizeHints >&2)
