#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders every window of the program into PNG files, headless.
#   scripts/screenshots.sh OUTDIR
# BUILD_DIR (default: build) is the CMake build folder; the helper is built there
# if needed.
set -euo pipefail
if [[ $# -ne 1 ]]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
out=$1
if [[ ! -f $build/build.ninja && ! -f $build/Makefile ]]; then
  cmake -S "$here" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target meridan-screenshots -- -j2 >/dev/null
mkdir -p "$out"
. "$here/scripts/runtime-dir.sh"
use_private_runtime_dir "$build"
QT_QPA_PLATFORM=offscreen "$build/tools/screenshots/meridan-screenshots" "$out"
cmake --build "$build" --target meridan-screenshots-slave -- -j2 >/dev/null && QT_QPA_PLATFORM=offscreen "$build/tools/screenshots/meridan-screenshots-slave" "$out"
