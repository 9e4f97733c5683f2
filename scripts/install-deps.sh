#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Ulvane AV Converter
# needs. Runs apt-get as root, or through sudo when not root. Skips apt when all is there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git ccache
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libgtest-dev googletest
  qt6-base-dev qt6-multimedia-dev qt6-translations-l10n libgl-dev fonts-dejavu-core fonts-ipafont-gothic
  ffmpeg python3 time pulseaudio parallel
  clang libclang-rt-14-dev clang-format
  # ThreadSanitizer's reports and suppressions: glibc's own function names (libc6-dbg) and files
  # and lines (llvm-symbolizer, in llvm).
  libc6-dbg llvm
  dpkg-dev file lintian desktop-file-utils
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-libav
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
