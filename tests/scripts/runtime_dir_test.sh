#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# use_private_runtime_dir: a private folder under the build tree when none is
# given; a given folder that is open to others, a link, or someone else's is refused.
set -u
. "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
( unset XDG_RUNTIME_DIR; use_private_runtime_dir "$work/build" && [ "$XDG_RUNTIME_DIR" = "$work/build/runtime" ] \
  && [ "$(stat -c %a "$XDG_RUNTIME_DIR")" = 700 ] ) || { echo "FAIL: no private folder in the build tree"; exit 1; }
mkdir -m777 "$work/open" && ln -s "$work/build/runtime" "$work/link" && mkdir -m700 "$work/theirs"
[ "$(id -u)" = 0 ] && chown nobody "$work/theirs" 2>/dev/null || rm -r "$work/theirs"
for d in "$work/open" "$work/link" "$work/theirs"; do
  [ -e "$d" ] || continue
  ( XDG_RUNTIME_DIR=$d; use_private_runtime_dir "$work/build" 2>/dev/null ) && { echo "FAIL: $d was taken"; exit 1; }
done
echo ok
