#!/usr/bin/env bash
# Sets up and builds the project (see setup.sh), then makes the Debian package with CPack:
# abonex_<version>_<arch>.deb in the folder given (default: the repository's top folder), to be
# installed with `apt install ./abonex_<version>_<arch>.deb`. Further arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=${1:-.}
[ $# -gt 0 ] && shift
BUILD_DIR=${BUILD_DIR:-build}
BUILD_TARGETS="abonex abonex-db abonex_package_documents" bash scripts/setup.sh "$@"
# The staging tree stays in the build folder; only the package goes to OUT.
rm -rf "$BUILD_DIR/package"
cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$BUILD_DIR/package"
mkdir -p "$OUT"
for deb in "$BUILD_DIR"/package/abonex_*.deb; do
  cp "$deb" "$OUT/"
  echo "package: $OUT/$(basename "$deb")"
done
