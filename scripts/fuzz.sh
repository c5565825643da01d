#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60).
# Findings land in build-fuzz/findings/<target>/; a corpus is kept per target.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
MERIDAN_WITH_FUZZ=1 bash scripts/setup.sh
build=build-fuzz
[ -f "$build/build.ninja" ] || CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERIDAN_FUZZ=ON -DMERIDAN_TESTS=OFF -DMERIDAN_BENCH=OFF >/dev/null
targets=$(ninja -C "$build" -t targets all | sed -n 's/^\(fuzz-[a-z0-9-]*\): .*EXECUTABLES.*/\1/p' | sort -u)
[ -n "$targets" ] || targets=$(ninja -C "$build" -t targets all | grep -o '^fuzz-[a-z0-9-]*' | sort -u)
for t in $targets; do
  ninja -C "$build" -j"${MERIDAN_JOBS:-2}" "$t"
  exe=$(find "$build/fuzz" -type f -name "$t" -perm -u+x | head -n1)
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  # The IEC file parsers start from the golden files of their tests.
  case $t in
    fuzz-ioblock) seeds=(tests/iec/golden/*.cnf) ;;
    fuzz-varline) seeds=(tests/iec/golden/*.vb) ;;
    *) seeds=() ;;
  esac
  if [ ${#seeds[@]} -gt 0 ] && [ -z "$(ls -A "$build/corpus/$t")" ]; then cp "${seeds[@]}" "$build/corpus/$t/"; fi
  echo "== $t for ${seconds}s"
  (cd "$build/findings/$t" && "$OLDPWD/$exe" -max_total_time="$seconds" -print_final_stats=1 \
     -rss_limit_mb=2048 "$OLDPWD/$build/corpus/$t" 2>&1 | tail -n 12)
done
