#!/bin/sh
# A QUIRAL.INI that lacks keys or holds bad values: missing keys take their
# defaults, a bad value is reported with its key and ignored, what cannot
# start is said (the recordings still play), and a run in which nothing can
# speak ends with a code other than 0. Each run aims at a closed port, so it
# ends (code 1) right after the start-up.
#   config_e2e.sh NAVIRO QUIRAL_ROOT
# Exit 0 pass, 1 fail, 77 skipped (no generated sound library).
naviro=$1
root=$2
[ -f "$root/som/difones/DIFONES3.IND" ] || { echo "skipped: no sound library in $root"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

# run NAME INI-TEXT KEYS: runs naviro with that QUIRAL.INI; leaves $rc, the
# log in $work/NAME.log and standard error in $work/NAME.err.
run() {
  mkdir -p "$work/$1"
  printf '%b' "$2" > "$work/$1/QUIRAL.INI"
  printf '%s' "$3" > "$work/$1/keys.txt"
  QUIRAL_CONSOLE=script QUIRAL_AUDIO=null QUIRAL_ROOT=$root QUIRAL_SYSDIR=$work/$1 \
    QUIRAL_KEYS=$work/$1/keys.txt QUIRAL_LOG=$work/$1.log HOME=$work XDG_STATE_HOME=$work/state \
    timeout 60 "$naviro" 127.0.0.1:1 >/dev/null 2>"$work/$1.err"
  rc=$?
}
check() {  # check NAME WHAT CONDITION...
  name=$1 what=$2
  shift 2
  if ! "$@"; then
    echo "FAIL $name: $what (exit $rc)"
    sed 's/^/  err: /' "$work/$name.err"
    grep -E '^(announce|sound) ' "$work/$name.log" | sed 's/^/  log: /' | head -20
    fail=1
  fi
}
has() { grep -q -- "$2" "$work/$1"; }
hasnt() { ! grep -q -- "$2" "$work/$1"; }

snd="DIRNAVIRO=$root/som/naviro\n"

# No synthesiser keys at all: the defaults start it.
run bare "[NAVIRO]\n${snd}TLS=N\n" ""
check bare "ends as a refused connection" test "$rc" -eq 1
check bare "says nothing failed" hasnt bare.log "announce FTSEMSIN"
check bare "writes nothing on standard error" test ! -s "$work/bare.err"

# A NUL byte in a path: reported with its key, ignored (the default is used).
run nul "[TRADUTOR]\nDIRDIFONES=$work\0/som\n[NAVIRO]\n${snd}TLS=N\n" ""
check nul "ends as a refused connection, no abort" test "$rc" -eq 1
check nul "names the key on standard error" has nul.err "\[TRADUTOR\] DIRDIFONES"
check nul "the synthesiser started with the default" hasnt nul.log "announce FTSEMSIN"

# No unit database: said by its recording, the key named; the run goes on.
run nodb "[TRADUTOR]\nDIRDIFONES=$work/nada\n[NAVIRO]\n${snd}TLS=N\n" ""
check nodb "ends as a refused connection" test "$rc" -eq 1
check nodb "says the synthesiser did not start" has nodb.log "sound .*FTSEMSIN.wav"
check nodb "names the key on standard error" has nodb.err "DIRDIFONES=$work/nada"

# Neither the database nor the recordings: nothing can speak.
run mute "[TRADUTOR]\nDIRDIFONES=$work/nada\n[NAVIRO]\nDIRNAVIRO=$work/nada\nTLS=N\n" "{Enter}"
check mute "ends with code 5" test "$rc" -eq 5
check mute "names the key on standard error" has mute.err "DIRDIFONES=$work/nada"

[ $fail -eq 0 ] && echo passed
exit $fail
