#!/usr/bin/env bash
# Sets up, builds and shows the program's main job on a demo directory.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
TOOL="${BUILD_DIR:-build}/tools/abonex-db"
DEMO="${DEMO_DIR:-${BUILD_DIR:-build}/demo}"
if [ ! -e "$DEMO/Phone.DBF" ]; then
  "$TOOL" create "$DEMO"
fi
"$TOOL" info "$DEMO/Phone.DBF"
