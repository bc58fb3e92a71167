#!/usr/bin/env bash
# Installs what is missing, builds, and starts Naviro in this terminal (or
# in a window when a display is present). Arguments go to naviro, for
# example: ./scripts/run.sh ftp.example.org:2121
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" -DBUILD_TESTING=OFF -DNAVIRO_BENCH=OFF
build=${NAVIRO_BUILD_DIR:-$here/build}
# The build tree's generated sound library, rule files and default
# QUIRAL.INI (read while you have no QUIRAL.INI of your own).
export QUIRAL_ROOT=${QUIRAL_ROOT:-$build/quiral}

exec "$build/app/naviro" "$@"
