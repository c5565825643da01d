# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the run and test scripts: sets XDG_RUNTIME_DIR (Qt wants one) to a
# folder only this user can use. Unset: a private folder under the build tree,
# never a fixed name in the shared temporary folder that someone else could
# have made first. Given: it is made when missing, else it must be a folder of
# this user with mode 700.
#   use_private_runtime_dir BUILD_DIR
use_private_runtime_dir() {
  if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    mkdir -p "$1"
    XDG_RUNTIME_DIR="$(cd "$1" && pwd)/runtime"
  fi
  export XDG_RUNTIME_DIR
  [ -e "$XDG_RUNTIME_DIR" ] || [ -L "$XDG_RUNTIME_DIR" ] || mkdir -p -m700 "$XDG_RUNTIME_DIR"
  if [ -L "$XDG_RUNTIME_DIR" ] || [ ! -d "$XDG_RUNTIME_DIR" ] || [ ! -O "$XDG_RUNTIME_DIR" ] \
     || [ "$(stat -c %a "$XDG_RUNTIME_DIR")" != 700 ]; then
    echo "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR is not a folder of yours with mode 700" >&2
    return 1
  fi
}
