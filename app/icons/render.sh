#!/usr/bin/env bash
# Renders the hand-drawn SVG pictures in src/ into the PNGs the program embeds: the tool-bar and
# menu pictures at 16 and 32 pixels and at 64 (the 32-pixel pictures of a screen at twice the
# scale; the 16-pixel ones take the 32), the program's own icon (abonex.svg) at 16, 32, 48, 64,
# 128 and 256. Run after changing a picture; the PNGs are committed so the build needs no SVG
# renderer (this script needs rsvg-convert, package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
render() {  # render SVG NAME SIZE
  mkdir -p "$3"
  rsvg-convert --width "$3" --height "$3" --keep-aspect-ratio --background-color none \
    --output "$3/$2.png" "$1"
}
for svg in src/*.svg; do
  name=$(basename "$svg" .svg)
  if [ "$name" = abonex ]; then
    for size in 16 32 48 64 128 256; do render "$svg" "$name" "$size"; done
  else
    for size in 16 32 64; do render "$svg" "$name" "$size"; done
  fi
done
