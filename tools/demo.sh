#!/bin/sh
# The main job on a built-in demo plant, on a fresh Debian 12 machine:
# installs what is needed (as root, or with sudo), builds, and runs
# tools/run-demo.sh: the plant collected with cfgctl, then, with a display,
# cfgtool opened on it.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
exec ./tools/run-demo.sh build
