#!/usr/bin/env bash
# Configures and builds Naviro in build/ (or $NAVIRO_BUILD_DIR). Arguments
# are cache settings for the configuration, for example
#   scripts/build.sh -DBUILD_TESTING=OFF -DNAVIRO_BENCH=OFF
# (only the program and its data: what scripts/demo.sh and run.sh need).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${NAVIRO_BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
