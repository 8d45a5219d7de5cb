#!/usr/bin/env bash
# Sets up, builds (warnings are errors) and runs the whole test suite; then builds the engine,
# the tool and their tests once more with AddressSanitizer and UndefinedBehaviorSanitizer (in
# build-asan/, without the windows) and runs those tests again. ABONEX_TEST_SANITIZE=0 skips the
# second run. The sanitizer pass runs the multi-process stress test with six processes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh -DABONEX_WERROR=ON
(cd "${BUILD_DIR:-build}" && ctest --output-on-failure -j"$(nproc)" --timeout 600)

if [ "${ABONEX_TEST_SANITIZE:-1}" != 0 ]; then
  echo "== the engine's tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  BUILD_DIR=build-asan bash scripts/setup.sh -DABONEX_SANITIZE=ON -DABONEX_GUI=OFF -DABONEX_BENCH=OFF
  # The stress test runs here with six writers per lock protocol (8 s each): slowed down by the
  # sanitizers, readers meet pages that other writers are rewriting far more often. The tests
  # through GlusterFS mounts ran in the first pass; here they would mostly wait on the network
  # file system, and the network code paths are run on a local folder by file_test.
  (cd build-asan && UBSAN_OPTIONS=print_stacktrace=1 ABONEX_STRESS_PROCESSES=6 \
    ctest --output-on-failure -j"$(nproc)" --timeout 900 -E '^(share_|reliability_stress_share_)')
fi
