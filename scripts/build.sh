#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds everything into build/ (or $MERIDAN_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build="${MERIDAN_BUILD_DIR:-build}"
jobs="${MERIDAN_JOBS:-2}"
# A compiler cache, when the machine has one, makes rebuilds in several
# checkouts cheap; nothing needs it.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${MERIDAN_BUILD_TYPE:-Release}" "${launcher[@]}" >/dev/null
ninja -C "$build" -j"$jobs"
