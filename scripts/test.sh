#!/usr/bin/env bash
# Sets up, builds and runs every test. Ends with ctest's summary line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build="${MERIDAN_BUILD_DIR:-build}"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}"
mkdir -p -m700 "$XDG_RUNTIME_DIR"
cd "$build"
ctest --output-on-failure -j"${MERIDAN_JOBS:-2}" --timeout 300
