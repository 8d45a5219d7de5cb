#!/usr/bin/env bash
# Builds the program and starts it. Its folder (build/app) is its installation: on the first
# run it receives a demo directory made by `abonex-db demo`; files already there are never
# replaced. Without a display an Xvfb server is started for the program (and stopped after it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
PROGRAM="$BUILD_DIR/app/abonex"
TOOL="$BUILD_DIR/tools/abonex-db"
FOLDER=$(dirname "$PROGRAM")

# The licence text comes with the build; the tables come from the demo once.
[ -e "$FOLDER/EULA.txt" ] || cp app/EULA.txt "$FOLDER/EULA.txt"
if ! ls "$FOLDER" | grep -qi '^phone\.dbf$'; then
  DEMO=$(mktemp -d)
  trap 'rm -rf "$DEMO"' EXIT
  "$TOOL" demo "$DEMO"
  for file in "$DEMO"/*; do
    name=$(basename "$file")
    # Keep anything of the same name in any letter case.
    ls "$FOLDER" | grep -qix "$name" || cp "$file" "$FOLDER/$name"
  done
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  display=99
  while [ -e "/tmp/.X${display}-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  trap 'kill "$XVFB_PID" 2>/dev/null || true; rm -rf "${DEMO:-}"' EXIT
  export DISPLAY=":$display"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  echo "No display: the program runs on Xvfb $DISPLAY (Ctrl+C ends it)."
fi
"$PROGRAM"
