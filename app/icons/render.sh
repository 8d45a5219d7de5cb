#!/usr/bin/env bash
# Renders the hand-drawn SVG pictures in src/ into the PNGs the program embeds: the tool-bar and
# menu pictures at 32 and 16 pixels, the program's own icon (abonex.svg) at 16, 32, 48 and 128.
# Run after changing a picture; the PNGs are committed so the build needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")"
render() {  # render SVG NAME SIZE
  mkdir -p "$3"
  convert -background none -density 300 "$1" -resize "${3}x${3}" "$3/$2.png"
}
for svg in src/*.svg; do
  name=$(basename "$svg" .svg)
  if [ "$name" = abonex ]; then
    for size in 16 32 48 128; do render "$svg" "$name" "$size"; done
  else
    for size in 32 16; do render "$svg" "$name" "$size"; done
  fi
done
