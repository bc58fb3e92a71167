#!/usr/bin/env bash
# Window console figures on a private virtual display (Xvfb): repaint times
# and key-down to key-queue latency (build/bench/window_bench), then the
# processor use of console_demo waiting for a key in its window. Targets:
# key latency below 5 ms, idle use below 0.5 % of one core.
#   bench/window_bench.sh [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${NAVIRO_BUILD_DIR:-$here/build}
seconds=${1:-10}
for p in "$build/bench/window_bench" "$build/tests/console_demo"; do
  [ -x "$p" ] || { echo "no $p (build window_bench and console_demo first)"; exit 1; }
done
work=$(mktemp -d)
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
mkdir -p "$work/sys"
export QUIRAL_SYSDIR="$work/sys" QUIRAL_AUDIO=null
unset WAYLAND_DISPLAY

"$build/bench/window_bench" 13 28
"$build/bench/window_bench" 10 20 | grep -v "^key"

QUIRAL_CONSOLE=window "$build/tests/console_demo" &
demo=$!
sleep 1.5  # start-up is not idle time
cpu() { awk '{ print $1 }' "/proc/$demo/schedstat"; }
before=$(cpu)
sleep "$seconds"
after=$(cpu)
kill "$demo"
wait "$demo" 2>/dev/null || true
awk -v t=$((after - before)) -v s="$seconds" \
  'BEGIN { printf "idle window: %.3f %% of one core over %d s (%.1f ms)\n", 100 * t / 1e9 / s, s, t / 1e6 }'
