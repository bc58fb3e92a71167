#!/usr/bin/env bash
# Configures and builds Naviro in build/ (or $NAVIRO_BUILD_DIR); further
# arguments go to the configuration (cmake -D...).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${NAVIRO_BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
