#!/usr/bin/env bash
# Builds the Debian package from the optimised build, has lintian check it
# (pedantic: any tag that packaging/lintian-overrides does not explain
# fails), installs it on this machine with apt as a user would, checks that
# both programs carry the hardening of Debian's own packages, uses what it
# installed (czelbo32 splits a file as an ordinary user and the written
# script joins it again, man finds and formats both pages, the menu entry
# and its icon are where desktops look), then removes it together with
# whatever apt brought along, leaving the machine as it was. Runs as root,
# or through sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
fail() { echo "FAILED: $*" >&2; exit 1; }
# apt-get as root, waiting while another apt or dpkg holds the lock.
apt_get() {
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@"
}

cmake --preset default >/dev/null
cmake --build --preset default --target zelbo_package_contents
cpack --preset deb >/dev/null
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/CPackConfig.cmake)
deb=$PWD/build/zelbo_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "cpack made no $deb"
work=$(mktemp -d)
chmod 755 "$work"
# lintian reads the package while the rest installs and uses it.
lintian --pedantic --display-info --fail-on error,warning,info,pedantic "$deb" >"$work/lintian" 2>&1 &
lintian=$!
packages() { dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' | sed -n 's/^ii *//p' | LC_ALL=C sort; }
packages > "$work/before"
if grep -qx zelbo "$work/before"; then
  echo "Note: the installed zelbo $(dpkg-query -W -f='${Version}' zelbo) is replaced by the build and removed afterwards."
  sed -i '/^zelbo$/d' "$work/before"
fi

# Removes the package and every package that its installation added.
remove_again() {
  local added
  mapfile -t added < <(packages | LC_ALL=C comm -13 "$work/before" -)
  if [ ${#added[@]} -gt 0 ]; then
    apt_get purge "${added[@]}" >>"$work/apt.log" 2>&1 || echo "Could not remove: ${added[*]}" >&2
  fi
  rm -rf "$work"
}
trap remove_again EXIT
trap 'exit 1' INT TERM

echo "Installing $deb"
apt_get install "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get install $deb"; }
[ "$(dpkg-query -W -f='${Version}' zelbo)" = "$version" ] || fail "the installed package is not version $version"

# The programs: on the search path, optimised, with every library found.
[ "$(command -v czelbo32)" = /usr/bin/czelbo32 ] || fail "czelbo32 is not /usr/bin/czelbo32"
[ "$(czelbo32 --version)" = "CZELBO32 $version" ] || fail "czelbo32 --version: $(czelbo32 --version)"
for program in /usr/bin/czelbo32 /usr/bin/zelbo32; do
  libraries=$(ldd "$program")
  ! grep -q "not found" <<<"$libraries" || fail "$program lacks libraries: $libraries"
  ! grep -q "libasan" <<<"$libraries" || fail "$program is a sanitizer build"
done
# Stack protector, checked functions, PIE, RELRO and immediate binding. No
# program linked on Debian 12 carries the marks of control-flow protection:
# the C library's start files lack them. czelbo32 has no call that could be
# checked (packaging/lintian-overrides says why); zelbo32 shows the checks.
hardening-check --nocfprotection /usr/bin/zelbo32 &&
  hardening-check --nocfprotection --nofortify /usr/bin/czelbo32 || fail "the programs lack hardening"

# Split and join as an ordinary user, with the installed program only.
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
mkdir "$work/parts"
head -c 3000000 /dev/urandom > "$work/original.bin"
cp "$work/original.bin" "$work/parts/sample.bin"
chown -R 65534:65534 "$work/parts" 2>/dev/null || true
(cd "$work/parts" && "${as_user[@]}" env PATH=/usr/bin:/bin czelbo32 sample.bin -sf >/dev/null) ||
  fail "czelbo32 sample.bin -sf"
[ -f "$work/parts/sample.003" ] && [ ! -e "$work/parts/sample.004" ] || fail "not three floppy parts"
rm "$work/parts/sample.bin"
(cd "$work/parts" && "${as_user[@]}" sh unsplit.sh >/dev/null) || fail "sh unsplit.sh"
cmp "$work/original.bin" "$work/parts/sample.bin" || fail "the joined file differs from the original"

# The man pages, where man looks for them and formatted as a reader sees them.
for page in czelbo32 zelbo32; do
  [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "man does not find $page(1)"
  text=$(MANWIDTH=80 man -l "/usr/share/man/man1/$page.1.gz" 2>&1)
  grep -q "^NAME" <<<"$text" && grep -q "Zelbo $version" <<<"$text" || fail "man -l $page: $text"
done

# The menu entry in the folder that menus read, with its program and icon.
entries=$(dpkg -L zelbo | grep '^/usr/share/applications/.*\.desktop$')
[ "$(wc -l <<<"$entries")" = 1 ] || fail "not one menu entry: $entries"
desktop-file-validate "$entries" || fail "$entries is not valid"
icon=$(sed -n 's/^Icon=//p' "$entries")
[ "$(command -v "$(sed -n 's/^Exec=//p' "$entries")")" = /usr/bin/zelbo32 ] ||
  fail "the menu entry does not start /usr/bin/zelbo32"
for size in 16x16 32x32 48x48 256x256; do
  [ -f "/usr/share/icons/hicolor/$size/apps/$icon.png" ] || fail "no $size icon $icon in the hicolor theme"
done
[ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"

apt_get purge zelbo >>"$work/apt.log" 2>&1 || fail "apt-get purge zelbo"
[ ! -e /usr/bin/czelbo32 ] && [ ! -e "$entries" ] || fail "files of zelbo remain after its removal"
wait "$lintian" || fail "lintian $deb: $(cat "$work/lintian")"
echo "The package installs, works and goes again."
