#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package meridan_<version>_<arch>.deb into the project folder:
#   bash scripts/package.sh && sudo apt install ./meridan_*.deb
# Uses its own build folder without tests and benchmarks (build-package/, or
# $MERIDAN_PACKAGE_BUILD_DIR), so the package holds a clean Release build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build="${MERIDAN_PACKAGE_BUILD_DIR:-build-package}"
# Two builds of one commit give the same package: every date that goes into
# it (file times, the changelog, the AppStream release, the help pages built
# into the program) is the commit's, unless SOURCE_DATE_EPOCH says otherwise.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --verify -q HEAD >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct HEAD)
  export SOURCE_DATE_EPOCH
fi
jobs="${MERIDAN_JOBS:-2}"
if [ ! -f "$build/build.ninja" ]; then
  # Debian's hardening flags (stack protector, fortified libc calls, read-only
  # relocations); no debug information, the package is stripped anyway.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS | sed 's/\(^\| \)-g\( \|$\)/ /')" \
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMERIDAN_TESTS=OFF -DMERIDAN_BENCH=OFF >/dev/null
fi
ninja -C "$build" -j"$jobs"
rm -f "$build"/meridan_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/meridan_*.deb)
mv -f "$deb" .
echo "$(basename "$deb")"
