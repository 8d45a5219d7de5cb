#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need (only those missing), then
# configures and builds the project in ./build. Used by run.sh, test.sh and package.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-serialport-dev qt6-translations-l10n libgl-dev
  python3 python3-dbfread python3-vobject libdbd-xbase-perl khard
  dbus libglib2.0-bin python3-dbusmock
  sqlite3 libsqlite3-dev
  glusterfs-server glusterfs-client fuse3
  xvfb xauth poppler-utils at-spi2-core python3-pyatspi
  qt6-l10n-tools qt6-tools-dev
  dpkg-dev file desktop-file-utils appstream lintian man-db
)
# Callers that need more (the fuzz build needs clang) name them in EXTRA_PACKAGES.
read -r -a extra <<< "${EXTRA_PACKAGES:-}"
PACKAGES+=("${extra[@]}")

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$BUILD_DIR" -j"$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
