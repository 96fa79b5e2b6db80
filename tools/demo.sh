#!/bin/sh
# The main job on a built-in demo plant, on a fresh Debian 12 machine:
# installs what is needed (as root, or with sudo), builds, and runs
# tools/run-demo.sh (cfgtool with a display, cfgctl without one).
set -eu
cd "$(dirname "$0")/.."
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  g++ cmake ninja-build pkg-config libgtest-dev \
  qt6-base-dev qt6-translations-l10n qt6-qpa-plugins xvfb xauth \
  libhidapi-dev libbluetooth-dev
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
exec ./tools/run-demo.sh build
