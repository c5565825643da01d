#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and starts Meridan with the simulated boards as its hardware.
# The root folder is $ZEL_ROOT, else ~/.local/share/zel; extra arguments go to meridan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build="${MERIDAN_BUILD_DIR:-build}"
. scripts/runtime-dir.sh
use_private_runtime_dir "$build"
root="${ZEL_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/zel}"
mkdir -p "$root"
sim_pid=""
if [ -x "$build/sim/meridan-boardsim" ]; then
  log="$root/boardsim.log"
  "$build/sim/meridan-boardsim" --root "$root" --demo >"$log" 2>&1 &
  sim_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true' EXIT
  # The boards are reachable once the simulator says "ready".
  for _ in $(seq 100); do
    grep -qx ready "$log" 2>/dev/null && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "meridan-boardsim did not start:" >&2; cat "$log" >&2; exit 1; }
    sleep 0.1
  done
  echo "Simulated boards ready (see $log)."
fi
# A start-up configuration that matches the demo bus, unless one exists.
"$build/src/meridan-cli" --root "$root" demo-config >/dev/null
"$build/src/meridan" --root "$root" "$@"
