#!/usr/bin/env bash
# Sets up, builds and starts Meridan with the simulated boards as its hardware.
# The root folder is $ZEL_ROOT, else ~/.local/share/zel; extra arguments go to meridan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build="${MERIDAN_BUILD_DIR:-build}"
root="${ZEL_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/zel}"
mkdir -p "$root"
sim_pid=""
if [ -x "$build/sim/meridan-boardsim" ]; then
  "$build/sim/meridan-boardsim" --root "$root" --demo &
  sim_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true' EXIT
  sleep 1
fi
"$build/src/meridan" --root "$root" "$@"
