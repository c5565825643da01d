#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The files of a release that come from the project's history: the Debian
# changelog (one entry per release, listing the commits since the release
# before) and the AppStream data with the release's date.
#   release-files.sh SOURCE_DIR VERSION MAINTAINER METAINFO_IN OUT_DIR
# Releases are the tags vX.Y[.Z] (or X.Y[.Z]) reachable from HEAD; the top
# entry is VERSION with the commits since the last tag. An entry is dated by
# its last commit; the top one by SOURCE_DATE_EPOCH when that is set, so two
# builds of one commit write the same bytes. Without git history: one entry.
# A file is rewritten only when its content changes.
set -euo pipefail
src=$1 version=$2 maintainer=$3 metainfo_in=$4 out=$5
export LC_ALL=C TZ=UTC
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

rfc_date() { date -u -R -d "@$1"; }
entry() { # entry VERSION EPOCH SUBJECTS_FILE
  printf 'meridan (%s) unstable; urgency=medium\n\n' "$1"
  if [ -s "$3" ]; then
    # One bullet per commit, wrapped at 78 columns.
    while IFS= read -r subject; do
      printf '%s\n' "$subject" | fold -s -w 74 | sed -e '1s/^/  * /' -e '2,$s/^/    /' -e 's/ *$//'
    done <"$3"
  else
    printf '  * Meridan %s.\n' "$1"
  fi
  printf '\n -- %s  %s\n' "$maintainer" "$(rfc_date "$2")"
}

git=(git -C "$src")
if "${git[@]}" rev-parse --verify -q HEAD >/dev/null 2>&1; then
  head_time=$("${git[@]}" log -1 --format=%ct HEAD)
  top_time=${SOURCE_DATE_EPOCH:-$head_time}
  # Newest release first, by version number whether or not the tag has its "v".
  mapfile -t tags < <("${git[@]}" tag --merged HEAD | grep -E '^v?[0-9]+(\.[0-9]+)+$' \
    | awk '{ v = $0; sub(/^v/, "", v); print v "\t" $0 }' | sort -t "$(printf '\t')" -k1,1Vr | cut -f2 || true)
  : >"$tmp/changelog"
  # The top entry: VERSION, unless HEAD is that very release's tag.
  if [ ${#tags[@]} -eq 0 ] || [ "$("${git[@]}" rev-parse "${tags[0]}^{commit}")" != "$("${git[@]}" rev-parse HEAD)" ]; then
    range=HEAD; [ ${#tags[@]} -gt 0 ] && range="${tags[0]}..HEAD"
    "${git[@]}" log --no-merges --format=%s "$range" >"$tmp/subjects"
    entry "$version" "$top_time" "$tmp/subjects" >>"$tmp/changelog"
  fi
  for i in "${!tags[@]}"; do
    tag=${tags[$i]}
    range=$tag; [ $((i + 1)) -lt ${#tags[@]} ] && range="${tags[$((i + 1))]}..$tag"
    "${git[@]}" log --no-merges --format=%s "$range" >"$tmp/subjects"
    when=$("${git[@]}" log -1 --format=%ct "$tag")
    [ ! -s "$tmp/changelog" ] && when=$top_time # HEAD is this release
    [ -s "$tmp/changelog" ] && printf '\n' >>"$tmp/changelog"
    entry "${tag#v}" "$when" "$tmp/subjects" >>"$tmp/changelog"
  done
else
  top_time=${SOURCE_DATE_EPOCH:-$(date +%s)}
  : >"$tmp/subjects"
  entry "$version" "$top_time" "$tmp/subjects" >"$tmp/changelog"
fi

sed "s/@MERIDAN_RELEASE_DATE@/$(date -u -d "@$top_time" +%Y-%m-%d)/" "$metainfo_in" >"$tmp/metainfo"
cmp -s "$tmp/changelog" "$out/changelog" || cp "$tmp/changelog" "$out/changelog"
name=$(basename "$metainfo_in" .in)
cmp -s "$tmp/metainfo" "$out/$name" || cp "$tmp/metainfo" "$out/$name"
