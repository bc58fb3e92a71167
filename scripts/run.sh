#!/usr/bin/env bash
# Installs what is missing, builds, and starts Naviro in this terminal (or
# in a window when a display is present). Arguments go to naviro, for
# example: ./scripts/run.sh ftp.example.org:2121
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
build=${NAVIRO_BUILD_DIR:-$here/build}
# The build tree's generated sound library and rule files.
export QUIRAL_ROOT=${QUIRAL_ROOT:-$build/quiral}

# The default QUIRAL.INI, when the user has none yet.
"$here/scripts/install-config.sh" "$QUIRAL_ROOT"

exec "$build/app/naviro" "$@"
