#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and runs every test. Ends with ctest's summary line.
#   scripts/test.sh              the Release build in build/ (or $MERIDAN_BUILD_DIR)
#   scripts/test.sh --sanitize   an AddressSanitizer + UBSan build of everything in
#                                build-sanitize/, the whole suite under it; any
#                                report (a leak, an overflow, undefined behaviour,
#                                also inside the simulator the tests start) fails
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --sanitize ]; then
  export MERIDAN_BUILD_DIR="${MERIDAN_SANITIZE_BUILD_DIR:-build-sanitize}"
  if [ ! -f "$MERIDAN_BUILD_DIR/build.ninja" ]; then
    bash scripts/setup.sh
    cc=gcc cxx=g++
    command -v clang++-14 >/dev/null && cc=clang-14 cxx=clang++-14
    CC=$cc CXX=$cxx cmake -S . -B "$MERIDAN_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DMERIDAN_SANITIZE=ON -DMERIDAN_BENCH=OFF >/dev/null
  fi
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
fi
bash scripts/build.sh
build="${MERIDAN_BUILD_DIR:-build}"
export QT_QPA_PLATFORM=offscreen
. scripts/runtime-dir.sh
use_private_runtime_dir "$build"
cd "$build"
ctest --output-on-failure -j"${MERIDAN_JOBS:-2}" --timeout 300
