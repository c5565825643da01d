#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds every libFuzzer target (the program's parsers and the simulator's) with
# clang and runs each for SECONDS (default 60), one after the other.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# A target that does not build is named and the others still run. Each target
# keeps a corpus in build-fuzz/corpus/<target>/; the first run fills it with a
# minimised set of seeds (the golden files of the tests, the real device files
# of ../shared/gsd when they are there): only inputs that add coverage are kept.
# Findings land in build-fuzz/findings/<target>/. A crash, a sanitizer report
# (UBSan included: the targets stop at its first finding) or a leak ends that
# target's run; the script goes on with the others and exits 1 at the end. The
# executions of each run are summed up in build-fuzz/summary.txt.
# MERIDAN_FUZZ_BUILD_DIR chooses another build folder.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
MERIDAN_WITH_FUZZ=1 bash scripts/setup.sh || exit 1
build="${MERIDAN_FUZZ_BUILD_DIR:-build-fuzz}"
jobs="${MERIDAN_JOBS:-2}"
if [ ! -f "$build/build.ninja" ]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMERIDAN_FUZZ=ON -DMERIDAN_TESTS=OFF -DMERIDAN_BENCH=OFF "${launcher[@]}" >/dev/null || exit 1
fi
targets="$*"
[ -n "$targets" ] || targets=$(ninja -C "$build" -t targets all \
  | sed -n 's#^\([^:]*/\)\{0,1\}\(fuzz[-_][a-z0-9_-]*\): .*EXECUTABLE.*#\2#p' | sort -u)
[ -n "$targets" ] || { echo "fuzz.sh: no fuzz targets (clang-14 needed)" >&2; exit 1; }

# Seeds per target: files, copied into one folder for the merge.
seeds_of() {
  case $1 in
    fuzz-ioblock) ls tests/iec/golden/*.cnf ;;
    fuzz-varline) ls tests/iec/golden/*.vb ;;
    fuzz-dp1) ls tests/config/golden/*.dp1 ;;
    fuzz-gsd) ls fuzz/gsd/seeds/* tests/support/gsd/* ../shared/gsd/* 2>/dev/null ;;
    fuzz-configtext) ls tests/config/golden/sample.dp1 tests/config/golden/sample-text.json ;;
    fuzz_sim_text) ls docs/*.bus sim/tests/golden/*.bus 2>/dev/null ;;
  esac
}
# The longest input each target is given: a parser's paths show in a few
# lines or frames, and short inputs run many times faster.
max_len_of() {
  case $1 in
    fuzz-gsd) echo 8192 ;;
    fuzz-netreply) echo 4096 ;;
    *) echo 1024 ;;
  esac
}
# AddressSanitizer keeps two frames of each allocation's stack instead of 30:
# the stack depot otherwise takes half the time of an allocating parser. A
# finding's input is kept; run the target on it alone for the whole stacks.
export ASAN_OPTIONS="${ASAN_OPTIONS:-malloc_context_size=2}"

summary="$build/summary.txt"
: >"$summary"
failed=0
for t in $targets; do
  if ! ninja -C "$build" -j"$jobs" "$t" >"$build/build-$t.log" 2>&1; then
    tail -n 20 "$build/build-$t.log"
    echo "$t: DOES NOT BUILD, see $build/build-$t.log" | tee -a "$summary"
    failed=1
    continue
  fi
  exe=$(find "$build" -type f -name "$t" -perm -u+x | head -n1)
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  max_len=$(max_len_of "$t")
  if [ -z "$(ls -A "$corpus")" ]; then
    seeds="$build/seeds/$t"
    rm -rf "$seeds" && mkdir -p "$seeds"
    for f in $(seeds_of "$t"); do [ -f "$f" ] && cp "$f" "$seeds/"; done
    if [ -n "$(ls -A "$seeds")" ]; then
      (cd "$findings" && "$OLDPWD/$exe" -merge=1 -max_len="$max_len" "$OLDPWD/$corpus" "$OLDPWD/$seeds" \
        >"$OLDPWD/$findings/merge.log" 2>&1)
      echo "== $t: $(ls "$seeds" | wc -l) seeds minimised to $(ls "$corpus" | wc -l)"
    fi
  fi
  echo "== $t for ${seconds}s"
  log="$findings/run.log"
  (cd "$findings" && "$OLDPWD/$exe" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
     -rss_limit_mb=2048 "$OLDPWD/$corpus" >"$OLDPWD/$log" 2>&1)
  rc=$?
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
