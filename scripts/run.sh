#!/usr/bin/env bash
# Builds Ulvane AV Converter and starts it. Until the desktop window exists this builds
# everything and prints the command line's help.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
exec build/ulvane-cli --help
