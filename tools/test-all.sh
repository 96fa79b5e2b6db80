#!/bin/sh
# Installs every build and test dependency (Debian 12), builds, and runs all tests.
# Run as root, or as a user who may use sudo.
set -eu
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  g++ cmake ninja-build pkg-config libgtest-dev \
  qt6-base-dev qt6-translations-l10n xvfb xauth \
  libhidapi-dev libbluetooth-dev \
  clang libclang-rt-14-dev

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
ctest --test-dir build --output-on-failure -j2
