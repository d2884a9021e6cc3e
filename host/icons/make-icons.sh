#!/usr/bin/env bash
# Draws the application's icon (evt-host-SIZE.png) with ImageMagick: a guest
# list card with a star on the blue of the main window. Run it in this folder
# after changing the drawing; the PNG files are kept in the repository.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 gradient:'#2f86c9'-'#123e6a' \
  \( -size 256x256 xc:none -fill white -draw "roundrectangle 8,8 247,247 48,48" \) \
  -compose CopyOpacity -composite "$tmp/bg.png"
convert "$tmp/bg.png" \
  -fill '#00000033' -draw "roundrectangle 62,60 198,226 14,14" \
  -fill white -draw "roundrectangle 56,52 192,218 14,14" \
  -fill '#f2b01e' -draw "circle 82,98 82,108" -draw "circle 82,140 82,150" -draw "circle 82,182 82,192" \
  -fill '#9aa7b5' -draw "roundrectangle 100,92 172,104 6,6" -draw "roundrectangle 100,134 172,146 6,6" \
  -draw "roundrectangle 100,176 160,188 6,6" \
  -fill '#f2b01e' -stroke '#c98a0a' -strokewidth 4 \
  -draw "polygon 200,20 212,50 244,52 219,72 228,104 200,86 172,104 181,72 156,52 188,50" \
  -strip evt-host-256.png
for s in 16 24 32 48 64 128; do convert evt-host-256.png -filter Lanczos -resize "${s}x${s}" -strip "evt-host-$s.png"; done
