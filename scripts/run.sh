#!/usr/bin/env bash
# Builds Ulvane AV Converter and starts the desktop program (the command line, ulvane-cli,
# is built beside it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
exec build/ulvane
