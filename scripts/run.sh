#!/usr/bin/env bash
# Sets up, builds and starts the program on its demo directory (see run-app.sh).
set -euo pipefail
exec bash "$(dirname "$0")/run-app.sh" "$@"
