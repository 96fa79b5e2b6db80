#!/bin/sh
# Installs every build and test dependency on Debian 12 (as root, or with sudo).
set -eu
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  g++ cmake ninja-build pkg-config libgtest-dev \
  qt6-base-dev qt6-translations-l10n xvfb xauth \
  libhidapi-dev libbluetooth-dev libsystemd-dev dbus-daemon \
  lrzsz imagemagick dpkg-dev file \
  clang libclang-rt-14-dev \
  g++-mingw-w64-x86-64-posix googletest wine64
