#!/bin/bash
# The line editor and screen review in the real program: answers the
# computer-name question through the script console, looks at the screen with
# the review key, edits, and cancels with Esc. Needs the generated sound
# library (exit 77 skips without it).
# Usage: editor_e2e.sh NAVIRO QUIRAL_ROOT WORKDIR
set -u
naviro=$1 root=$2 work=$3
[ -d "$root/som/letras" ] || { echo "no generated sound library in $root"; exit 77; }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

# abc, review: Ctrl+K tells the question's row and column 24, Esc back; Left onto c,
# Backspace deletes b, x is typed; Esc cancels the answer and ends the run.
printf '%s' 'abc{Ctrl+Alt+R}{Ctrl+K}{Esc}{Left}{Backspace}x{Esc}' > keys.txt
QUIRAL_CONSOLE=script QUIRAL_AUDIO=null QUIRAL_KEYS=keys.txt QUIRAL_SCREEN=screen.txt \
  QUIRAL_LOG=log.txt QUIRAL_ROOT="$root" QUIRAL_SYSDIR="$root" timeout 60 "$naviro"
rc=$?
fail=0
check() { if ! "$@"; then echo "FAILED: $*"; fail=1; fi; }
check [ "$rc" -eq 0 ]
check grep -qx 'Nome do computador:' screen.txt
# The question's row, wherever the lines before it put it.
row=$(grep -n -m1 '^Nome do computador:' screen.txt | cut -d: -f1)
check grep -qx "text $row 24" log.txt
# Leaving review: two tones, then the editor speaks c (Left), then _DEL and b.
check bash -c "grep -v -e '^stop' -e '^image' -e '^sound' log.txt | grep -A4 -x 'text $row 24' | tr '\n' ' ' | grep -q 'text $row 24 beep beep char 99 char 98'"
check grep -q '^sound .*/_DEL.wav$' log.txt
if [ $fail -ne 0 ]; then
  echo "--- screen"; cat screen.txt; echo "--- log"; cat log.txt
  exit 1
fi
echo "editor e2e: 1 passed, 0 failed"
