#!/bin/bash
# The built-in engine in the real program. At the computer-name question Esc
# ends the run; everything said before it is the banner and the question.
#  1. SAPI=S, TIPOSAPI=3 with the QUIRAL.INI of the root: every text goes to
#     the engine ("voice" lines) and its speech (16 kHz) lands in the file.
#  2. The same with MBROLA_DB and DIR empty: the database and the rule files
#     are found through the registry file that install-config.sh writes.
#  3. A database that cannot be opened: the run is the same as with SAPI=N
#     (recorded voice), nothing on stderr.
# 1 and 2 need the synthesiser library and its database in the root (exit 77
# after 3 without them); all need the generated sound library.
# Usage: coral_e2e.sh NAVIRO QUIRAL_ROOT WORKDIR INSTALL_CONFIG
set -u
naviro=$1 root=$2 work=$3 install_config=$4
[ -d "$root/som/letras" ] || { echo "no generated sound library in $root"; exit 77; }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
printf '%s' '{Esc}' > keys.txt
# Without the recorded messages every prompt is spoken as text.
mkdir -p no-messages

# run NAME SAPI TIPOSAPI [SED-EXPRESSION...]: one run with its own QUIRAL.INI
# (and the registry file $REG, else none).
run() {
  local name=$1 sapi=$2 kind=$3
  shift 3
  mkdir -p "$name"
  local edits=(-e "s/^SAPI=.*/SAPI=$sapi/" -e "s/^TIPOSAPI=.*/TIPOSAPI=$kind/"
    -e "s|^DIRNAVIRO=.*|DIRNAVIRO=$work/no-messages|")
  for e in "$@"; do edits+=(-e "$e"); done
  sed "${edits[@]}" "$root/QUIRAL.INI" > "$name/QUIRAL.INI"
  local started=$(date +%s%N)
  QUIRAL_CONSOLE=script QUIRAL_AUDIO="file:$work/$name/audio.wav" QUIRAL_KEYS=keys.txt \
    QUIRAL_SCREEN="$name/screen.txt" QUIRAL_LOG="$name/log.txt" QUIRAL_ROOT="$root" \
    QUIRAL_SYSDIR="$work/$name" QUIRAL_REGISTRY="${REG:-$work/$name/registry.reg}" timeout 60 "$naviro" \
    2> "$name/stderr.txt"
  echo $? > "$name/rc"
  echo $((($(date +%s%N) - started) / 1000000)) > "$name/ms"
}

fail=0
check() { if ! "$@"; then echo "FAILED: $*"; fail=1; fi; }
speech_in() {
  /usr/bin/python3 - "$1" <<'PY'
import math, struct, sys, wave
w = wave.open(sys.argv[1])
n = w.getnframes()
data = struct.unpack('<%dh' % n, w.readframes(n))
seconds = n / w.getframerate()
rms = math.sqrt(sum(s * s for s in data) / max(n, 1))
print('%s: %.2f s at %d Hz, rms %.0f' % (sys.argv[1], seconds, w.getframerate(), rms))
# The file takes the first sound's rate: the engine's 16 kHz.
sys.exit(0 if w.getframerate() == 16000 and 1.0 < seconds < 30 and rms > 300 else 1)
PY
}

# 3. A database that is not there: the recorded voice, as if no voice was asked.
run recorded N 4
run broken S 3 "s|^MBROLA_DB=.*|MBROLA_DB=$work/nowhere/br4|"
for r in recorded broken; do check [ "$(cat $r/rc)" -eq 0 ]; done
check cmp -s recorded/screen.txt broken/screen.txt
check cmp -s recorded/log.txt broken/log.txt
check bash -c "! grep -q '^voice ' broken/log.txt"
check test ! -s broken/stderr.txt

runs="recorded broken"
if [ -f "$root/mbrola.so" ] && [ -f "$root/coraltts/br4" ]; then
  # 1. The root's own QUIRAL.INI names the database by its path.
  run coral S 3
  # 2. Nothing named: the registry file written by install-config.sh.
  mkdir -p registry-config
  QUIRAL_SYSDIR="$work/registry-config" QUIRAL_REGISTRY= bash "$install_config" "$root" > /dev/null
  REG="$work/registry-config/registry.reg"
  run registry S 3 "s|^MBROLA_DB=.*|MBROLA_DB=|" "s|^DIR=.*|DIR=|"
  REG=
  runs="$runs coral registry"
  for r in coral registry; do
    check [ "$(cat $r/rc)" -eq 0 ]
    check grep -qx 'Nome do computador:' $r/screen.txt
    check grep -q '^voice Nome do computador' $r/log.txt
    check test "$(grep -c '^text ' $r/log.txt)" -eq "$(grep -c '^voice ' $r/log.txt)"
    check grep -q '^image ' $r/log.txt
    check speech_in $r/audio.wav
    check test ! -s $r/stderr.txt
    echo "$r: whole run $(cat $r/ms) ms"
  done
else
  skipped=1
fi

if [ $fail -ne 0 ]; then
  for r in $runs; do
    echo "--- $r"; cat $r/screen.txt; cat $r/log.txt; cat $r/stderr.txt
  done
  exit 1
fi
if [ -n "${skipped:-}" ]; then
  echo "coral e2e: no synthesiser in $root; only the failing start was tried"
  exit 77
fi
echo "coral e2e: 4 runs passed"
