#!/usr/bin/env bash
# Renders the hand-drawn SVG pictures in src/ into the 32- and 16-pixel PNGs the program embeds.
# Run after changing a picture; the PNGs are committed so the build needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p 32 16
for svg in src/*.svg; do
  name=$(basename "$svg" .svg)
  for size in 32 16; do
    convert -background none -density 300 "$svg" -resize "${size}x${size}" "$size/$name.png"
  done
done
