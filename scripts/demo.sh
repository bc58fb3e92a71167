#!/usr/bin/env bash
# Demonstration: installs what is missing, builds the program and its data
# (not the tests), starts a local FTP server with a few sample files
# (anonymous login, write access) on a free loopback port, and runs naviro
# against it in this terminal (or in a window when a display is present).
# Without a QUIRAL.INI of your own the build tree's defaults are used. The
# server stops when naviro ends. Log in as "anonymous" with any password.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" -DBUILD_TESTING=OFF -DNAVIRO_BENCH=OFF
build=${NAVIRO_BUILD_DIR:-$here/build}
export QUIRAL_ROOT=${QUIRAL_ROOT:-$build/quiral}

python=/usr/bin/python3
[ -x "$python" ] || python=python3
work=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

"$python" "$here/scripts/demo-server.py" "$work/srv" "$work/port" &
server=$!
for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  kill -0 "$server" 2>/dev/null || { echo "demo: the FTP server did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$work/port" ] || { echo "demo: the FTP server did not start" >&2; exit 1; }
port=$(cat "$work/port")
echo "demo: servidor FTP em 127.0.0.1:$port (conta: anonymous)"
"$build/app/naviro" "127.0.0.1:$port"
