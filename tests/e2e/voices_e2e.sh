#!/bin/bash
# The system voices in the real program. At the computer-name question Esc
# ends the run; everything said before it is the banner and the question.
#  1. SAPI=S, TIPOSAPI=4: the texts go to eSpeak NG ("voice" lines in the
#     log) and real speech lands in QUIRAL_AUDIO=file:.
#  2. SAPI=S, TIPOSAPI=5 with no daemon reachable: the run is the same as
#     with SAPI=N (recorded voice): same screen, same log, nothing on stderr.
#  3. naviro --voices numbers the lists that VOZ refers to.
# Needs the generated sound library (exit 77 skips without it).
# Usage: voices_e2e.sh NAVIRO QUIRAL_ROOT WORKDIR
set -u
naviro=$1 root=$2 work=$3
[ -d "$root/som/letras" ] || { echo "no generated sound library in $root"; exit 77; }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
printf '%s' '{Esc}' > keys.txt
# Without the recorded messages every prompt is spoken as text.
mkdir -p no-messages

# run NAME SAPI TIPOSAPI: one run in directory NAME with its own QUIRAL.INI.
run() {
  local name=$1 sapi=$2 kind=$3
  mkdir -p "$name"
  sed -e "s/^SAPI=.*/SAPI=$sapi/" -e "s/^TIPOSAPI=.*/TIPOSAPI=$kind/" \
    -e "s|^DIRNAVIRO=.*|DIRNAVIRO=$work/no-messages|" \
    "$root/QUIRAL.INI" > "$name/QUIRAL.INI"
  QUIRAL_CONSOLE=script QUIRAL_AUDIO="file:$work/$name/audio.wav" QUIRAL_KEYS=keys.txt \
    QUIRAL_SCREEN="$name/screen.txt" QUIRAL_LOG="$name/log.txt" QUIRAL_ROOT="$root" \
    QUIRAL_SYSDIR="$work/$name" SPEECHD_ADDRESS="unix_socket:$work/nobody/speechd.sock" \
    SPEECHD_CMD=/bin/false timeout 60 "$naviro" 2> "$name/stderr.txt"
  echo $? > "$name/rc"
}
run espeak S 4
run recorded N 4
run speechd S 5

fail=0
check() { if ! "$@"; then echo "FAILED: $*"; fail=1; fi; }
for r in espeak recorded speechd; do check [ "$(cat $r/rc)" -eq 0 ]; done

# 1. eSpeak NG: every text handed to the voice, and speech in the file.
check grep -qx 'Nome do computador:' espeak/screen.txt
check grep -q '^voice Nome do computador' espeak/log.txt
check test "$(grep -c '^text ' espeak/log.txt)" -eq "$(grep -c '^voice ' espeak/log.txt)"
check /usr/bin/python3 - espeak/audio.wav <<'PY'
import math, struct, sys, wave
w = wave.open(sys.argv[1])
n = w.getnframes()
data = struct.unpack('<%dh' % n, w.readframes(n))
seconds = n / w.getframerate()
rms = math.sqrt(sum(s * s for s in data) / max(n, 1))
print('eSpeak NG audio: %.2f s at %d Hz, rms %.0f' % (seconds, w.getframerate(), rms))
# The file takes the first sound's rate: eSpeak NG's, the banner's voice.
sys.exit(0 if w.getframerate() == 22050 and 1.0 < seconds < 30 and rms > 300 else 1)
PY

# 2. No Speech Dispatcher: the recorded voice, as if no voice had been asked.
check cmp -s recorded/screen.txt speechd/screen.txt
check cmp -s recorded/log.txt speechd/log.txt
check bash -c "! grep -q '^voice ' speechd/log.txt"
check grep -q '^sound \|^char \|^image ' speechd/log.txt
check test ! -s speechd/stderr.txt

# 3. The voice lists: eSpeak NG's numbered from Brazilian Portuguese, Speech
#    Dispatcher's said to be unavailable.
SPEECHD_ADDRESS="unix_socket:$work/nobody/speechd.sock" SPEECHD_CMD=/bin/false \
  "$naviro" --voices > voices.txt 2> voices.err
check grep -qx '    1  Portuguese (Brazil)  (pt-br)' voices.txt
check grep -qx "Speech Dispatcher (TIPOSAPI=5 ou 54), VOZ=" voices.txt
check grep -qx '  (não disponível)' voices.txt
check test ! -s voices.err
# Only the Portuguese voices, the rest counted; --all lists them too.
check bash -c "! grep -q '(en' voices.txt"
check grep -q '^  e mais [0-9]* vozes de outras línguas' voices.txt
SPEECHD_ADDRESS="unix_socket:$work/nobody/speechd.sock" SPEECHD_CMD=/bin/false \
  "$naviro" --voices --all > voices-all.txt 2>> voices.err
check grep -q '  (en' voices-all.txt
check test "$(wc -l < voices-all.txt)" -gt "$(wc -l < voices.txt)"

if [ $fail -ne 0 ]; then
  for r in espeak recorded speechd; do
    echo "--- $r"; cat $r/screen.txt; cat $r/log.txt; cat $r/stderr.txt
  done
  exit 1
fi
echo "voices e2e: 4 runs passed"
