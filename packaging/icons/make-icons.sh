#!/usr/bin/env bash
# Draws the hicolor PNGs of Kovra's icon from the shapes of org.kovra.Kovra.svg (this
# ImageMagick reads no SVG, so the same coordinates are drawn here), at 4x and scaled down.
# Run by hand after changing the art; the PNGs are committed.
set -euo pipefail
cd "$(dirname "$0")"
convert=/usr/bin/convert
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Coordinates of the SVG's 256 grid, times 4.
"$convert" -size 1024x1024 xc:none -fill white -draw "roundrectangle 64,64 959,959 176,176" \
  "$tmp/mask.png"
"$convert" -size 896x896 gradient:'#2a5bd7-#ff8a3d' -background none -gravity center \
  -extent 1024x1024 "$tmp/gradient.png"
"$convert" "$tmp/gradient.png" "$tmp/mask.png" -alpha off -compose CopyOpacity -composite \
  -fill white \
  -draw "polygon 304,240 448,240 448,784 304,784" \
  -draw "polygon 416,536 640,240 816,240 512,624" \
  -draw "polygon 496,464 824,784 640,784 416,568" \
  "$tmp/big.png"
for size in 16 22 24 32 48 64 128 256 512; do
  mkdir -p "${size}x${size}"
  "$convert" "$tmp/big.png" -filter Lanczos -resize "${size}x${size}" -depth 8 -strip \
    -define png:exclude-chunks=date,time "${size}x${size}/org.kovra.Kovra.png"
done
