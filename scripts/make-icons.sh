#!/usr/bin/env bash
# Renders the application icon from resources/zelbo.svg into the PNG sizes
# that desktops use and into resources/zelbo.ico for the Windows programs
# (a 32 x 32 picture in 16 colours first, then true-colour sizes). The
# results are committed; run this only after changing the SVG. Needs
# librsvg2-bin, imagemagick and icoutils.
set -euo pipefail
cd "$(dirname "$0")/../resources"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes=(16 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  rsvg-convert -w "$size" -h "$size" zelbo.svg -o "icons/zelbo-$size.png"
done
# 16 colours with a 1-bit mask, as the oldest shells show it.
convert icons/zelbo-32.png -channel A -threshold 50% +channel +dither -colors 15 \
  -define png:bit-depth=4 "PNG8:$work/zelbo-32-16c.png"
icotool -c -o zelbo.ico "$work/zelbo-32-16c.png" icons/zelbo-{16,24,32,48,64}.png \
  -r icons/zelbo-256.png
