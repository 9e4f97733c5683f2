#!/usr/bin/env bash
# Checks the installed program and the Debian package made from a build folder:
#  - `cmake --install` into a fresh prefix, which is then made read-only; the installed
#    ulvane-cli probes a file, and the installed ulvane, started on a video as a file manager
#    starts it, keeps its settings and snapshot in the XDG folders; nothing in the prefix changes;
#  - the desktop entry is valid;
#  - `cpack -G DEB` makes a package with the expected files, and lintian finds no error in it.
# Usage: scripts/package-check.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
work=$(mktemp -d)
cleanup() { chmod -R u+w "$work" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "package-check: $*" >&2; exit 1; }

prefix="$work/usr"
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/ulvane bin/ulvane-cli share/ulvane/languages/english.ini share/ulvane/help/english.html \
         share/ulvane/images/306.bmp share/ulvane/setting.ini share/applications/ulvane.desktop \
         share/icons/hicolor/48x48/apps/ulvane.png share/icons/hicolor/256x256/apps/ulvane.png \
         share/man/man1/ulvane.1.gz share/man/man1/ulvane-cli.1.gz; do
    [ -e "$prefix/$f" ] || fail "the install lacks $f"
done
chmod -R a-w "$prefix"
listing() { find "$prefix" -printf '%p %s %T@\n' | sort; }
before=$(listing)

clip="$work/clip.mp4"
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=2" -c:v libx264 -preset ultrafast \
    -pix_fmt yuv420p "$clip"
"$prefix/bin/ulvane-cli" probe "$clip" | grep -q '^width=320$' || fail "the installed ulvane-cli cannot probe"

export HOME="$work/home"
unset XDG_CONFIG_HOME XDG_CACHE_HOME
mkdir -p "$HOME"
QT_QPA_PLATFORM=offscreen "$prefix/bin/ulvane" "$clip" >"$work/ulvane.log" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
    [ -s "$HOME/.cache/ulvane/image.bmp" ] && break
    kill -0 "$pid" 2>/dev/null || { cat "$work/ulvane.log"; fail "the installed ulvane ended early"; }
    sleep 0.2
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
[ -s "$HOME/.cache/ulvane/image.bmp" ] || fail "the installed ulvane showed no preview of the file it was given"
cmp -s "$HOME/.config/ulvane/setting.ini" "$prefix/share/ulvane/setting.ini" ||
    fail "the installed ulvane did not start its user settings from the shipped default"
[ "$(listing)" = "$before" ] || fail "the installed ulvane wrote into its install folder"
echo "package-check: the installed programs run and write only into the user's folders"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/ulvane.desktop" || fail "the desktop entry is not valid"
fi

(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack could not make the package"; }
deb=$(ls "$build"/ulvane_*.deb | head -n 1)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/ulvane ./usr/bin/ulvane-cli ./usr/share/ulvane/languages/japanese.ini \
         ./usr/share/applications/ulvane.desktop ./usr/share/icons/hicolor/16x16/apps/ulvane.png \
         ./usr/share/man/man1/ulvane-cli.1.gz ./usr/share/doc/ulvane/copyright; do
    grep -q " $f\$" <<<"$contents" || fail "the package lacks $f"
done
dpkg-deb -f "$deb" Depends | grep -q 'libavformat' || fail "the package does not declare its libraries"
echo "package-check: $(basename "$deb") holds $(grep -vc '/$' <<<"$contents") files"
if command -v lintian >/dev/null; then
    report=$(lintian --allow-root "$deb" 2>&1 || true)
    [ -z "$report" ] || echo "$report"
    if grep -q '^E:' <<<"$report"; then fail "lintian found errors in the package"; fi
    echo "package-check: lintian found no error"
fi
