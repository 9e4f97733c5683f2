#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (and AddressSanitizer) and runs each for a
# bounded time from seeds made here (small media files; the shipped INI files). Skips, saying so, when
# clang or libFuzzer is missing. Usage: scripts/fuzz.sh [SECONDS per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe_dir/t.cpp"
if ! command -v clang++ >/dev/null || ! clang++ -fsanitize=fuzzer "$probe_dir/t.cpp" -o "$probe_dir/t" 2>/dev/null; then
  echo "fuzz: clang with libFuzzer is not available; fuzzing skipped"
  exit 0
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DULVANE_FUZZ=ON \
  -DULVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target ulvane-probe-fuzzer ulvane-ini-fuzzer ulvane-job-words-fuzzer

# Seeds: a fraction of a second in several containers and codecs.
seeds="$probe_dir/seeds"
mkdir -p "$seeds" "$probe_dir/corpus"
src=(-f lavfi -i "testsrc2=size=64x48:rate=10:duration=0.5" -f lavfi -i "sine=duration=0.5:sample_rate=8000")
ffmpeg -nostdin -v error -y "${src[@]}" -c:v libx264 -c:a aac "$seeds/a.mp4"
ffmpeg -nostdin -v error -y "${src[@]}" -c:v libx264 -c:a aac "$seeds/b.ts"
ffmpeg -nostdin -v error -y "${src[@]}" -c:v mpeg4 -c:a libmp3lame "$seeds/c.avi"
ffmpeg -nostdin -v error -y "${src[@]}" -c:v flv -c:a libmp3lame -ar 11025 "$seeds/d.flv"
ffmpeg -nostdin -v error -y "${src[@]}" -c:v libvpx -c:a libvorbis "$seeds/e.webm" 2>/dev/null || true
ffmpeg -nostdin -v error -y "${src[@]}" -c:v wmv2 -c:a wmav2 "$seeds/f.wmv"
ffmpeg -nostdin -v error -y -f lavfi -i "sine=duration=0.3" "$seeds/g.wav"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
echo "fuzz: probe and grab for ${seconds} s"
build-fuzz/ulvane-probe-fuzzer -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 -max_len=65536 \
  -print_final_stats=1 "$probe_dir/corpus" "$seeds" 2>"$probe_dir/fuzz.log" || {
  tail -n 60 "$probe_dir/fuzz.log"
  echo "fuzz: the probe fuzzer found a failure"
  exit 1
}
grep -E 'stat::number_of_executed_runs|stat::average_exec_per_sec|stat::peak_rss_mb' "$probe_dir/fuzz.log" || true

# Seeds for the INI reader: the shipped files and a few written as other programs write them.
ini_seeds="$probe_dir/ini_seeds"
mkdir -p "$ini_seeds" "$probe_dir/ini_corpus"
cp resources/setting.ini resources/languages/*.ini "$ini_seeds/" 2>/dev/null || true
printf '[PATH]\r\nname = "C:\\out"\r\n[JOIN]\r\nformat=3\r\n' >"$ini_seeds/windows.ini"
printf '\xff\xfe[\0J\0O\0I\0N\0]\0\n\0' >"$ini_seeds/utf16.ini"
echo "fuzz: INI reader and writer for ${seconds} s"
build-fuzz/ulvane-ini-fuzzer -max_total_time="$seconds" -timeout=10 -max_len=4096 -print_final_stats=1 \
  "$probe_dir/ini_corpus" "$ini_seeds" 2>"$probe_dir/ini.log" || {
  tail -n 60 "$probe_dir/ini.log"
  echo "fuzz: the INI fuzzer found a failure"
  exit 1
}
grep -E 'stat::number_of_executed_runs|stat::average_exec_per_sec' "$probe_dir/ini.log" || true

# Seeds for job lines: lines as a batch list and the kept queue hold them.
words_seeds="$probe_dir/words_seeds"
mkdir -p "$words_seeds" "$probe_dir/words_corpus"
printf '%s\n' "cut \"a b.mp4\" --start 1 --end 5 --out-dir out  # a comment" >"$words_seeds/cut.txt"
printf '%s\n' "join --out-dir 'o u t' --name \"it's\" a.mp4 --from 0:10 b\\ c.mp4" >"$words_seeds/join.txt"
printf '# Jobs waiting\n# Cut a.mp4\ncut /v/a.mp4 --start 0 --end 1 --out-dir /v\n' >"$words_seeds/queue.txt"
printf 'cut\0/v/#1.mkv\0\0--name\0$HOME `x` \\' >"$words_seeds/words.bin"
echo "fuzz: job lines for ${seconds} s"
build-fuzz/ulvane-job-words-fuzzer -max_total_time="$seconds" -timeout=10 -max_len=4096 -print_final_stats=1 \
  "$probe_dir/words_corpus" "$words_seeds" 2>"$probe_dir/words.log" || {
  tail -n 60 "$probe_dir/words.log"
  echo "fuzz: the job line fuzzer found a failure"
  exit 1
}
grep -E 'stat::number_of_executed_runs|stat::average_exec_per_sec' "$probe_dir/words.log" || true
echo "fuzz: no failure found"
