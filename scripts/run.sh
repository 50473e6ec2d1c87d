#!/usr/bin/env bash
# Sets everything up, builds, and starts Tavilink.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
exec "${BUILD_DIR:-$root/build}/app/tavilink" "$@"
