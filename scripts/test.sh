#!/usr/bin/env bash
# Builds Ulvane AV Converter and runs every test: once in an optimised build, and once
# more built with AddressSanitizer and UndefinedBehaviorSanitizer; checks the formatting and
# that a clang Release build compiles without a warning; then the fuzz targets run for a
# bounded time when clang with libFuzzer is there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

echo "== formatting (.clang-format)"
bash scripts/check-format.sh

echo "== optimised build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DULVANE_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure --timeout 900)

echo "== the installed copy and the Debian package"
bash scripts/package-check.sh build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DULVANE_SANITIZE=ON -DULVANE_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
(cd build-asan && ctest -j"$jobs" --output-on-failure --timeout 1800)

echo "== clang Release build, warnings as errors"
CC=clang CXX=clang++ cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=Release -DULVANE_WERROR=ON >/dev/null
cmake --build build-clang -j"$jobs"

echo "== fuzzing (bounded)"
bash scripts/fuzz.sh 60
