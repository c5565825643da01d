#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds every libFuzzer target (the program's parsers and the simulator's) with
# clang and runs each for SECONDS (default 60), one after the other.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Findings land in build-fuzz/findings/<target>/, a corpus is kept per target in
# build-fuzz/corpus/<target>/. The GSD reader starts from the real device files
# of ../shared/gsd when they are there. A crash, a sanitizer report (UBSan
# included: the targets stop at its first finding) or a leak ends that target's
# run; the script goes on with the others and exits 1 at the end. The executions
# of each run are summed up in build-fuzz/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
MERIDAN_WITH_FUZZ=1 bash scripts/setup.sh
build=build-fuzz
[ -f "$build/build.ninja" ] || CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERIDAN_FUZZ=ON -DMERIDAN_TESTS=OFF -DMERIDAN_BENCH=OFF >/dev/null
targets="$*"
[ -n "$targets" ] || targets=$(ninja -C "$build" -t targets all \
  | sed -n 's#^\([^:]*/\)\{0,1\}\(fuzz[-_][a-z0-9_-]*\): .*EXECUTABLE.*#\2#p' | sort -u)
[ -n "$targets" ] || { echo "fuzz.sh: no fuzz targets (clang-14 needed)" >&2; exit 1; }
ninja -C "$build" -j"${MERIDAN_JOBS:-2}" $targets
gsd_seeds=../shared/gsd
largest_gsd=8192
if [ -d "$gsd_seeds" ]; then
  for f in "$gsd_seeds"/*; do
    [ -f "$f" ] && [ "$(stat -c %s "$f")" -gt "$largest_gsd" ] && largest_gsd=$(stat -c %s "$f")
  done
fi
summary="$build/summary.txt"
: >"$summary"
failed=0
for t in $targets; do
  exe=$(find "$build" -type f -name "$t" -perm -u+x | head -n1)
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  # The IEC file parsers start from the golden files of their tests.
  case $t in
    fuzz-ioblock) seeds=(tests/iec/golden/*.cnf) ;;
    fuzz-varline) seeds=(tests/iec/golden/*.vb) ;;
    fuzz-configtext) seeds=(tests/config/golden/sample.dp1 tests/config/golden/sample-text.json) ;;
    *) seeds=() ;;
  esac
  if [ ${#seeds[@]} -gt 0 ] && [ -z "$(ls -A "$build/corpus/$t")" ]; then cp "${seeds[@]}" "$build/corpus/$t/"; fi
  extra=()
  if [ "$t" = fuzz-gsd ]; then
    extra+=("-max_len=$largest_gsd")
    [ -d "$gsd_seeds" ] && extra+=("$(cd "$gsd_seeds" && pwd)")
  fi
  echo "== $t for ${seconds}s"
  log="$build/findings/$t/run.log"
  set +e
  (cd "$build/findings/$t" && "$OLDPWD/$exe" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
     "$OLDPWD/$build/corpus/$t" "${extra[@]}" >"$OLDPWD/$log" 2>&1)
  rc=$?
  set -e
  tail -n 12 "$log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  if [ "$rc" -ne 0 ] || grep -q "runtime error:\|ERROR: .*Sanitizer\|==ERROR" "$log"; then
    failed=1
    echo "$t: FINDING (exit $rc), see $log" | tee -a "$summary"
  else
    echo "$t: ${runs:-0} executions in ${seconds} s ($(( ${runs:-0} / seconds )) per second)" | tee -a "$summary"
  fi
done
echo "== summary"
cat "$summary"
exit "$failed"
