#!/usr/bin/env bash
# Builds Ulvane AV Converter and runs every test: once in an optimised build, and once
# more built with AddressSanitizer and UndefinedBehaviorSanitizer; runs the engine and window
# tests built with ThreadSanitizer by clang (every target, so that clang compiles all of it
# without a warning); checks the formatting; then the fuzz targets run for a bounded time when clang with
# libFuzzer is there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
# Compiles go through ccache: a run after another of the same sources (in any clone: paths are
# hashed relative to the clone) takes the objects it made instead of compiling them again.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  # Depend mode takes the headers from the compiler's own dependency files instead of running
  # the preprocessor a second time, so a first run costs hardly more than without ccache.
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true CCACHE_DEPEND=true
fi
# Each step says when it starts, in seconds from the start: the whole run must stay within
# CI's half hour.
step() { echo "== $1 (at $SECONDS s)"; }

step "formatting (.clang-format)"
bash scripts/check-format.sh

# The sound device's tests play into a PulseAudio server of their own with a null sink (nothing
# is heard), reached through PULSE_SERVER; a desktop's own server is never touched. Without
# pulseaudio those tests skip. The window tests never reach a server: they play silently.
sound_dir=$(mktemp -d)
sound_pid=""
stop_sound() {
  [ -n "$sound_pid" ] && kill "$sound_pid" 2>/dev/null || true
  rm -rf "$sound_dir"
}
trap stop_sound EXIT
if command -v pulseaudio >/dev/null; then
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    -L "module-native-protocol-unix socket=$sound_dir/native auth-anonymous=1" \
    -L "module-null-sink sink_name=ulvane_null" >"$sound_dir/log" 2>&1 &
  sound_pid=$!
  for _ in $(seq 50); do [ -S "$sound_dir/native" ] && break; sleep 0.1; done
  export PULSE_SERVER="unix:$sound_dir/native"
fi

step "optimised build"
# Debug information is most of the compile and link time and no test reads it: the optimised
# build has none, the sanitizer builds line tables only (what their reports print).
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DULVANE_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure --timeout 900)

step "the installed copy and the Debian package"
bash scripts/package-check.sh build

step "AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 \
  -DULVANE_SANITIZE=ON -DULVANE_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
# Left to the optimised build, where they take a fraction of the time: the thousand-seam export
# repeats what the fifteen-seam one runs here; the merged exact export of many segments, what
# the other exact and segment tests run here; and re-encoding the real samples, FFmpeg's encoders
# on pictures our code has already read here (their direct cuts run here).
(cd build-asan && ctest -j"$jobs" --output-on-failure --timeout 1800 \
  -E 'SoundStaysWithItsPicturesOverAThousandSeams|AMergedExactExportHoldsEachSegmentsPicturesInOrder|RealMedia.*Reencoded')

# Built with clang, and every target of it with warnings as errors: this build is also the
# check that clang compiles all of our code (as Release does: NDEBUG) without a warning.
step "ThreadSanitizer build with clang: every target, warnings as errors; the engine and window tests"
# Debian's FFmpeg and Qt are not built with ThreadSanitizer: scripts/tsan.supp names their
# own threads, and nothing of ours. Any report fails the step.
# The suppressions name glibc's own functions (tzset_internal), which only glibc's detached debug
# symbols name, and a report without llvm-symbolizer has no file or line. Without them a lock the
# tool cannot see is reported as a race some runs in five: refuse to run the step rather than fail
# at random.
libc=$(ldd /bin/true | awk '/libc\.so/ {print $3}')
libc_id=$(readelf -n "$libc" | awk '/Build ID/ {print $3}')
if [ ! -f "/usr/lib/debug/.build-id/${libc_id:0:2}/${libc_id:2}.debug" ]; then
  echo "ThreadSanitizer: no debug symbols for $libc (build id $libc_id); install libc6-dbg of its version" >&2
  exit 1
fi
if ! command -v llvm-symbolizer >/dev/null; then
  echo "ThreadSanitizer: llvm-symbolizer is missing; install llvm" >&2
  exit 1
fi
tsan_began=$SECONDS
CC=clang CXX=clang++ cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DULVANE_TSAN=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -gline-tables-only -DNDEBUG" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -gline-tables-only -DNDEBUG" -DULVANE_WERROR=ON >/dev/null
cmake --build build-tsan -j"$jobs"
tsan_built=$SECONDS
(
  cd build-tsan
  export TSAN_OPTIONS="suppressions=$PWD/../scripts/tsan.supp external_symbolizer_path=$(command -v llvm-symbolizer) halt_on_error=1 second_deadlock_stack=1 history_size=7"
  ./ulvane_engine_tests --gtest_brief=1
  # Tests that start a program as a child process (the installed copy, the queue's ulvane-cli
  # jobs) are left to the other two builds: ThreadSanitizer cannot follow a fork out of a
  # process that already runs threads.
  QT_QPA_PLATFORM=offscreen PULSE_SERVER=unix:/nonexistent/ulvane-tests-play-silently ./ulvane_ui_tests \
    --gtest_brief=1 \
    --gtest_filter=-InstalledCopy.StartsInEnglishWhateverItsSettingsAreAndSaysOnceWhenTheyCannotBeKept:Queue.*
  # The sink's thread pulling from the player's.
  QT_QPA_PLATFORM=offscreen ./ulvane_sound_tests --gtest_brief=1
)
echo "ThreadSanitizer: built in $((tsan_built - tsan_began)) s, tests ran in $((SECONDS - tsan_built)) s"

step "fuzzing (bounded)"
bash scripts/fuzz.sh 10
step "done"
