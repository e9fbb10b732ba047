#!/bin/sh
# Renders the toolbar icons' larger sizes from their SVG drawings (Debian:
# librsvg2-bin); the 16-pixel XPMs are drawn by hand. Run after changing an
# SVG and commit the PNGs with it.
set -eu
cd "$(dirname "$0")"
for name in open close print keys; do
  for size in 32 48; do
    rsvg-convert -w "$size" -h "$size" "$name.svg" -o "$name-$size.png"
  done
done
