#!/bin/sh
# Renders the icon's PNG sizes from its SVG into the hicolor tree beside this
# script. Run it after changing the SVG and commit the PNGs with it; the build
# only copies them. Needs rsvg-convert (librsvg2-bin).
set -eu
cd "$(dirname "$0")/hicolor"
id=example.quillmark.Dialsift
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio \
    "scalable/apps/$id.svg" --output "${size}x${size}/apps/$id.png"
done
