#!/usr/bin/env bash
# Installs what the build and the tests need and the machine lacks (Debian
# or Ubuntu). Runs apt-get only when something is missing; uses sudo when
# not root.
set -euo pipefail

packages=(cmake g++ ninja-build libgtest-dev busybox qt6-base-dev
          # zelbo32 on a virtual display, driven as a user drives it.
          xvfb xdotool
          # The Windows build and its tests: the cross compiler (its -posix
          # variant), GoogleTest's sources to build for Windows, and wine.
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine wine64
          # Zelbo32.exe under wine on a virtual display: a window manager,
          # wine's fonts, xprop, and screenshots.
          openbox fonts-wine x11-utils imagemagick)

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
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
