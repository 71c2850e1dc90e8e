#!/usr/bin/env bash
# What `cmake --install` leaves behind, checked as desktops, man and the
# software catalogue read it: every file carries the build's version, the
# menu entry and the catalogue entry validate, the menu entry's program and
# icon are where it says, each icon has the size of its folder, and the
# man pages format without a warning.
#   install_tree_test.sh BUILD-FOLDER VERSION APPLICATION-ID
set -euo pipefail
build=$1 version=$2 app_id=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share

[ "$("$prefix/bin/czelbo32" --version)" = "CZELBO32 $version" ] ||
  fail "czelbo32 --version does not print $version"

for page in czelbo32 zelbo32; do
  file=$share/man/man1/$page.1.gz
  [ -f "$file" ] || fail "no man page $file"
  zcat "$file" | grep -q "^\.TH ${page^^} 1 \"[0-9-]*\" \"Zelbo $version\"" ||
    fail "$page(1) does not name version $version in its title line"
  warnings=$(zcat "$file" | groff -t -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$page(1): $warnings"
  lexgrog "$file" | grep -q "\"$page - " || fail "$page(1) has no NAME line for whatis"
done

entry=$share/applications/$app_id.desktop
desktop-file-validate "$entry" || fail "$entry is not valid"
key() { sed -n "s/^$1=//p" "$entry"; }
[ -x "$prefix/bin/$(key Exec)" ] || fail "the menu entry starts $(key Exec), which is not installed"
[ "$(key Icon)" = "$app_id" ] || fail "the menu entry's icon is $(key Icon), not $app_id"
for size in 16 24 32 48 64 128 256; do
  icon=$share/icons/hicolor/${size}x$size/apps/$app_id.png
  file -b "$icon" | grep -q "^PNG image data, $size x $size," || fail "$icon is not a $size x $size PNG"
done
grep -q "<svg" "$share/icons/hicolor/scalable/apps/$app_id.svg" || fail "no scalable icon"

catalogue=$share/metainfo/$app_id.metainfo.xml
report=$(appstreamcli validate --no-net "$catalogue" 2>&1) || fail "$catalogue: $report"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$catalogue" ||
  fail "the catalogue entry does not launch $app_id.desktop"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"/>" "$catalogue" ||
  fail "the catalogue entry does not list release $version"

grep -q "^MIT License" "$share/doc/zelbo/copyright" || fail "no licence"
echo "The installed tree is complete."
