#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz/<name>/ gives fuzz_<name>) with clang-14
# in build-fuzz/ and runs each for SECONDS seconds (default 60).
#   scripts/fuzz.sh [SECONDS]
# The shared device files seed the GSD target when they are there; new
# inputs go to build-fuzz/corpus/<name>, crashes to build-fuzz/crash/<name>.
set -euo pipefail
secs=${1:-60}
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-fuzz
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$here")}

CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMERIDAN_FUZZ=ON -DMERIDAN_TESTS=OFF -DMERIDAN_BENCH=OFF >/dev/null

targets=()
for dir in "$here"/fuzz/*/; do
  [ -f "$dir/CMakeLists.txt" ] && targets+=("fuzz_$(basename "$dir")")
done
ninja -C "$build" -j2 "${targets[@]}"

status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  corpus=$build/corpus/$name
  crash=$build/crash/$name
  mkdir -p "$corpus" "$crash"
  args=(-max_total_time="$secs" -max_len=8192 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$crash/")
  [ -f "$here/fuzz/$name/$name.dict" ] && args+=(-dict="$here/fuzz/$name/$name.dict")
  seeds=()
  if [ "$name" = gsd ] && [ -d "$here/../shared/gsd" ]; then
    seeds+=("$here/../shared/gsd")   # read only: libFuzzer writes to the first folder
  fi
  echo "== $t for $secs s"
  if ! "$build/fuzz/$name/$t" "${args[@]}" "$corpus" "${seeds[@]}" 2>"$build/$t.log"; then
    status=1
    echo "$t: FAILED, see $build/$t.log and $crash"
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$build/$t.log" || true
done
exit $status
