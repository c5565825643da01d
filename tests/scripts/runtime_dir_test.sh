#!/usr/bin/env bash
# use_private_runtime_dir: a private folder under the build tree when none is
# given; a given folder that others can use, or that is someone else's, is refused.
set -u
. "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

( unset XDG_RUNTIME_DIR; use_private_runtime_dir "$work/build" && [ "$XDG_RUNTIME_DIR" = "$work/build/runtime" ] \
  && [ "$(stat -c %a "$XDG_RUNTIME_DIR")" = 700 ] ) || fail "no private folder under the build tree"

mkdir -m777 "$work/open"
( XDG_RUNTIME_DIR="$work/open"; use_private_runtime_dir "$work/build" 2>/dev/null ) && fail "a world-writable folder was taken"

ln -s "$work/build/runtime" "$work/link"
( XDG_RUNTIME_DIR="$work/link"; use_private_runtime_dir "$work/build" 2>/dev/null ) && fail "a symbolic link was taken"

if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1; then
  mkdir -m700 "$work/theirs" && chown nobody "$work/theirs"
  ( XDG_RUNTIME_DIR="$work/theirs"; use_private_runtime_dir "$work/build" 2>/dev/null ) && fail "another user's folder was taken"
fi
echo "ok"
