#!/usr/bin/env bash
# Builds Ulvane AV Converter and starts the desktop program. Only the programs are built
# (the window, the command line its queued jobs run in, and the files they read beside
# them); the tests are configured but left for `cmake --build build`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target ulvane ulvane-cli
exec build/ulvane
