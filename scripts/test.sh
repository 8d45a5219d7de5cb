#!/usr/bin/env bash
# Sets up, builds (warnings are errors) and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh -DABONEX_WERROR=ON
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)" --timeout 600
