#!/usr/bin/env bash
# Installs what the build and the tests need and the machine lacks (Debian
# or Ubuntu); with the argument "demo", only what scripts/demo.sh needs;
# with "builds", only what the sanitizer and Windows builds need to be
# configured and built (scripts/test.sh starts them while the rest
# installs). Runs apt-get only when something is missing; uses sudo when
# not root.
set -euo pipefail

# The console program alone, built and run by the demo.
packages=(cmake g++ ninja-build libssl-dev)
[ "${1:-}" = demo ] || packages+=(libgtest-dev qt6-base-dev
          # The Windows build: the cross compiler (its -posix variant) and
          # GoogleTest's sources to build for Windows.
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest
          # The sanitizer build's compiler, and its sanitizers' libraries.
          clang libclang-rt-dev)
[ "${1:-}" = demo ] || [ "${1:-}" = builds ] || packages+=(
          # The shells that the tests join parts with (besides dash and bash).
          busybox mksh yash
          # A file system that shares blocks between files, for the tests.
          xfsprogs
          # The benchmarks measure peak memory with it.
          time
          # zelbo32 on a virtual display, driven as a user drives it, with a
          # window manager and the tools that read what it shows.
          xvfb xdotool openbox x11-utils
          # ... and as a screen reader meets it (AT-SPI, in a D-Bus session).
          python3-pyatspi at-spi2-core dbus-daemon
          # The Windows build's tests.
          wine wine64
          # Zelbo32.exe under wine: wine's fonts (the window's own).
          fonts-wine
          # The Debian package and the checks of what it installs; Debian's
          # checks of a package (lintian; hardening-check is in devscripts).
          dpkg-dev file man-db desktop-file-utils appstream lintian devscripts)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
# Waiting while another apt or dpkg holds the lock.
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 \
  install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
