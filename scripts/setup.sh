#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages Meridan needs to build, test and run.
# Idempotent and non-interactive: only missing packages are installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-serialport-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  socat xvfb xauth x11-utils poppler-utils
  # the Debian package (scripts/package.sh) and its test: manual pages, icons,
  # dependencies and hardening flags, and the checkers of what it installs
  help2man librsvg2-bin dpkg-dev file groff-base shared-mime-info
  lintian desktop-file-utils appstream
  python3 python3-lark
)
[ "${MERIDAN_WITH_FUZZ:-0}" = 1 ] && packages+=(clang-14 libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root or install sudo" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
