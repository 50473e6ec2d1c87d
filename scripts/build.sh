#!/usr/bin/env bash
# Installs what the build needs, then configures and builds into build/ (or $BUILD_DIR) with
# $JOBS parallel jobs (every core by default). Extra arguments go to CMake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}"
