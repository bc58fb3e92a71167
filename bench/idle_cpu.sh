#!/usr/bin/env bash
# Processor use of a program that waits for a key on a terminal: runs it in
# terminal mode on a pseudo-terminal (script -qfc) for a while and prints the
# share of one core it used. The target is below 1 %.
#   bench/idle_cpu.sh [PROGRAM] [SECONDS]
# PROGRAM defaults to console_demo of build/ (or $NAVIRO_BUILD_DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-${NAVIRO_BUILD_DIR:-$here/build}/tests/console_demo}
seconds=${2:-10}
[ -x "$program" ] || { echo "no program at $program (build first)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sys"

# The pipe keeps the pseudo-terminal's input open and silent for the run.
(sleep $((seconds + 3)) | env -u DISPLAY -u WAYLAND_DISPLAY QUIRAL_CONSOLE=terminal \
  QUIRAL_AUDIO=null QUIRAL_SYSDIR="$work/sys" TERM=xterm-256color \
  script -qfc "sh -c 'echo \$\$ > $work/pid; exec \"$program\"'" /dev/null >/dev/null 2>&1) &
runner=$!
for _ in $(seq 50); do [ -s "$work/pid" ] && break; sleep 0.1; done
pid=$(cat "$work/pid")
sleep 1  # start-up is not idle time
# Nanoseconds on a processor, from the scheduler's account.
cpu() { awk '{ print $1 }' "/proc/$pid/schedstat"; }
before=$(cpu)
sleep "$seconds"
after=$(cpu)
kill -TERM "$pid" 2>/dev/null || true
wait "$runner" 2>/dev/null || true
awk -v t=$((after - before)) -v s="$seconds" \
  'BEGIN { printf "idle processor use: %.3f %% of one core over %d s (%.1f ms)\n", 100 * t / 1e9 / s, s, t / 1e6 }'
