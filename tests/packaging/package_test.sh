#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Packs the built programs into the Debian package, unpacks it into a scratch
# folder and checks what a user would get from it: the programs run from there,
# the demo configuration reads back, every meridan-cli command has its place in
# the manual page, the licence and the changelog are where Debian wants them,
# the .dp1 type has its icon, the desktop files pass their validators, and a
# second packing of the same build gives the same bytes.
# usage: package_test.sh BUILD_DIR VERSION SOURCE_DIR
set -euo pipefail
build=$1
version=$2
src=${3:-}
skip=77

for tool in dpkg-deb cpack file; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit $skip; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The dates a package holds are the commit's, as scripts/package.sh sets them.
head_time=""
[ -n "$src" ] && head_time=$(git -C "$src" log -1 --format=%ct HEAD 2>/dev/null || true)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-${head_time:-1700000000}}
pack() {
  (cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$1" >"$tmp/cpack.log" 2>&1) \
    || { cat "$tmp/cpack.log" >&2; fail "cpack"; }
}
pack "$tmp/out"
deb="$tmp/out/meridan_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb") in $(ls "$tmp/out")"
# Packed again: the same bytes.
pack "$tmp/again"
cmp -s "$deb" "$tmp/again/$(basename "$deb")" || fail "a second packing differs from the first"

# Control fields: dependencies come from the binaries, not from a hand-kept list.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = meridan ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = electronics ] || fail "Section: $(field Section)"
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6network6; do
  field Depends | grep -q "$lib" || fail "Depends lacks $lib: $(field Depends)"
done

dpkg-deb -x "$deb" "$tmp/root"
usr="$tmp/root/usr"
export QT_QPA_PLATFORM=offscreen
# --version: the name and version first; the desktop program's licence after them.
[ "$("$usr/bin/meridan-cli" --version | head -1)" = "meridan-cli $version" ] || fail "meridan-cli --version"
"$usr/bin/meridan-cli" --version | grep -q "^License GPLv3+: GNU GPL version 3 or later" || fail "meridan-cli --version names no licence"
[ "$("$usr/bin/meridan" --version 2>/dev/null | head -1)" = "meridan $version" ] || fail "meridan --version"
"$usr/bin/meridan" --version | grep -q "^License GPLv3+: GNU GPL version 3 or later" || fail "meridan --version names no licence"
[ "$("$usr/bin/meridan-boardsim" --version | head -1)" = "meridan-boardsim $version" ] || fail "meridan-boardsim --version"

# The licence, machine-readable (DEP-5): every file under the GPL, version 3 or later.
copyright="$usr/share/doc/meridan/copyright"
[ -f "$copyright" ] || fail "no $copyright"
[ "$(head -1 "$copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] \
  || fail "copyright is not DEP-5: $(head -1 "$copyright")"
awk -v RS= '/^Files: \*\n/ && /\nLicense: GPL-3.0-or-later(\n|$)/ { files = 1 }
            /^License: GPL-3.0-or-later\n/ && /common-licenses\/GPL-3/ { text = 1 }
            END { exit !(files && text) }' "$copyright" || fail "copyright lacks Files: * under GPL-3.0-or-later with its text"
grep -q "<project_license>GPL-3.0-or-later</project_license>" "$usr"/share/metainfo/*.metainfo.xml \
  || fail "the AppStream data names another licence"

# The changelog: parsable, this version on top, dated by the commit (not by the build).
if command -v dpkg-parsechangelog >/dev/null; then
  zcat "$usr/share/doc/meridan/changelog.gz" >"$tmp/changelog"
  [ "$(dpkg-parsechangelog -l "$tmp/changelog" -S Version)" = "$version" ] || fail "changelog: top entry is not $version"
  if [ -n "$head_time" ]; then
    [ "$(dpkg-parsechangelog -l "$tmp/changelog" -S Timestamp)" = "$head_time" ] || fail "changelog: not dated by the commit"
    since=$(git -C "$src" describe --tags --abbrev=0 --match 'v[0-9]*' --match '[0-9]*' 2>/dev/null || true)
    commits=$(git -C "$src" rev-list --no-merges --count "${since:+$since..}HEAD")
    entries=$(dpkg-parsechangelog -l "$tmp/changelog" -S Changes | grep -c '^  \* ' || true)
    [ "$entries" = "$commits" ] || fail "changelog: $entries entries for $commits commits since ${since:-the start}"
  fi
fi

# The installed demo configuration is the one that matches the simulated bus.
"$usr/bin/meridan-cli" --root "$tmp/zel" dump "$usr/share/meridan/demo.dp1" >"$tmp/demo.json"
stations=$(grep -o '"station": [0-9]*' "$tmp/demo.json" | awk '{printf "%s ", $2}')
[ "$stations" = "12 20 30 40 " ] || fail "demo configuration has the stations $stations"

# Manual pages: present, compressed, free of roff errors, and meridan-cli's
# page names every command its --help lists.
for prog in meridan meridan-cli meridan-boardsim; do
  page="$usr/share/man/man1/$prog.1.gz"
  [ -f "$page" ] || fail "no manual page for $prog"
  if command -v groff >/dev/null; then
    zcat "$page" | groff -man -ww -z 2>"$tmp/groff.log" || true
    [ ! -s "$tmp/groff.log" ] || { cat "$tmp/groff.log" >&2; fail "roff warnings in $prog.1"; }
  fi
done
commands=$("$usr/bin/meridan-cli" --help | sed -n '/^Commands:/,/^$/p' | awk '/^  [a-z]/{print $1}')
[ "$(echo "$commands" | wc -w)" -ge 10 ] || fail "too few commands in --help: $commands"
zcat "$usr/share/man/man1/meridan-cli.1.gz" >"$tmp/cli.1"
for c in $commands; do
  grep -q "^${c//-/\\\\-}\b" "$tmp/cli.1" || fail "meridan-cli.1 lacks the command $c"
done
grep -q '^\.SH "EXIT STATUS"' "$tmp/cli.1" || fail "meridan-cli.1 has no EXIT STATUS section"

# Shell completion for both shells, the bash one loadable.
bash -n "$usr/share/bash-completion/completions/meridan-cli" || fail "the bash completion does not parse"
grep -q "^#compdef meridan-cli" "$usr/share/zsh/vendor-completions/_meridan-cli" || fail "no zsh completion"

# Icons: each PNG has the size its folder names; .dp1 files have their own.
[ -f "$usr/share/icons/hicolor/scalable/mimetypes/application-x-meridan-dp1.svg" ] || fail "no icon for .dp1 files"
for png in "$usr"/share/icons/hicolor/*/apps/meridan.png "$usr"/share/icons/hicolor/*/mimetypes/application-x-meridan-dp1.png; do
  size=$(basename "$(dirname "$(dirname "$png")")")
  file -b "$png" | grep -q "^PNG image data, ${size/x/ x }," || fail "$png: $(file -b "$png")"
done
[ -f "$usr/share/icons/hicolor/scalable/apps/meridan.svg" ] || fail "no scalable icon"

# The .dp1 file type reaches the menu entry.
desktop=$(ls "$usr"/share/applications/*.desktop)
mime=$(grep -o '<mime-type type="[^"]*"' "$usr/share/mime/packages/meridan.xml" | cut -d'"' -f2)
[ "$mime" = application/x-meridan-dp1 ] || fail "mime type $mime"
grep -q "^MimeType=.*$mime;" "$desktop" || fail "$desktop does not open $mime"
if command -v update-mime-database >/dev/null; then
  mkdir -p "$tmp/mime/packages" && cp "$usr/share/mime/packages/meridan.xml" "$tmp/mime/packages/"
  XDG_DATA_DIRS="$tmp" update-mime-database "$tmp/mime" 2>&1 | tee "$tmp/mime.log" >&2
  [ ! -s "$tmp/mime.log" ] || fail "update-mime-database complained"
  grep -qx "50:$mime:\*.dp1" "$tmp/mime/globs2" || fail "*.dp1 is not $mime"
  grep -qx "$mime:application-x-meridan-dp1" "$tmp/mime/icons" || fail "$mime has not its own icon"
fi

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
else
  echo "SKIPPED desktop-file-validate: not installed (desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"
else
  echo "SKIPPED appstreamcli validate: not installed (appstream)"
fi
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" >"$tmp/lintian.log" 2>&1 || { cat "$tmp/lintian.log" >&2; fail "lintian reports errors"; }
else
  echo "SKIPPED lintian: not installed"
fi
echo "package ok: $(basename "$deb")"
