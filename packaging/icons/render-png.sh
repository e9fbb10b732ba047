#!/bin/sh
# Renders the icon's PNG sizes from the SVG (Debian: librsvg2-bin). Run after
# changing the SVG and commit the PNGs with it.
set -eu
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" mwst-konvertierung.svg -o "mwst-konvertierung-$size.png"
done
