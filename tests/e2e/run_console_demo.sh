#!/usr/bin/env bash
# Runs console_demo through the script console with the key script of one
# case and compares what it left with the case's expected files:
#   NAME.keys    the key script
#   NAME.screen  the screen dump, exactly
#   NAME.attrs   lines "ROW HEX": row ROW of the attribute dump starts with
#                HEX; every row not listed is white on black (0f) throughout
#   NAME.log     the event log, exactly (optional)
#   NAME.code    the exit code (default 0)
#   NAME.stderr  a text standard error must contain (optional)
# Two cases are run differently: "signal" ends the demo with SIGTERM while
# it waits for a key, "terminal_refused" asks for the terminal console
# without a terminal.
set -u
demo=$1 cases=$2 name=$3 out=$4/$3
rm -rf "$out"
mkdir -p "$out/sys"
export QUIRAL_CONSOLE=script QUIRAL_AUDIO=null QUIRAL_SYSDIR="$out/sys"
export QUIRAL_SCREEN="$out/screen.txt" QUIRAL_ATTRS="$out/attrs.txt" QUIRAL_LOG="$out/log.txt"
export QUIRAL_CLIPBOARD="$out/clipboard.txt"
unset DISPLAY WAYLAND_DISPLAY
[ -f "$cases/$name.keys" ] && export QUIRAL_KEYS="$cases/$name.keys"
fail=0
complain() { echo "FAIL: $*"; fail=1; }

case $name in
  signal)
    "$demo" 2>"$out/stderr.txt" &
    pid=$!
    for _ in $(seq 50); do
      grep -q "caption console_demo" "$out/log.txt" 2>/dev/null && break
      sleep 0.1
    done
    sleep 0.3
    kill -TERM "$pid"
    wait "$pid"
    code=$?
    expected_code=143
    ;;
  terminal_refused)
    QUIRAL_CONSOLE=terminal timeout 10 "$demo" </dev/null >"$out/stdout.txt" 2>"$out/stderr.txt"
    code=$?
    expected_code=1
    grep -q "terminal" "$out/stderr.txt" || complain "no word of the missing terminal on stderr"
    [ -s "$out/stdout.txt" ] && complain "wrote to a standard output that is not a terminal"
    [ "$code" = "$expected_code" ] || complain "exit code $code, expected $expected_code"
    [ $fail = 0 ] && echo "PASS $name"
    exit $fail
    ;;
  *)
    timeout 50 "$demo" 2>"$out/stderr.txt"
    code=$?
    expected_code=0
    [ -f "$cases/$name.code" ] && expected_code=$(cat "$cases/$name.code")
    ;;
esac

[ "$code" = "$expected_code" ] || complain "exit code $code, expected $expected_code"
if [ -f "$cases/$name.stderr" ]; then
  grep -qF -f "$cases/$name.stderr" "$out/stderr.txt" || complain "stderr lacks: $(cat "$cases/$name.stderr")"
fi
if [ -f "$cases/$name.screen" ]; then
  diff -u "$cases/$name.screen" "$out/screen.txt" || complain "screen differs"
fi
if [ -f "$cases/$name.attrs" ]; then
  white=$(printf '0f%.0s' $(seq 80))
  [ "$(wc -l <"$out/attrs.txt")" = 25 ] || complain "attribute dump has not 25 rows"
  for row in $(seq 25); do
    line=$(sed -n "${row}p" "$out/attrs.txt")
    [ ${#line} = 160 ] || complain "attribute row $row is ${#line} digits long"
    prefix=$(awk -v r="$row" '$1 == r { print $2 }' "$cases/$name.attrs")
    if [ -n "$prefix" ]; then
      [ "${line:0:${#prefix}}" = "$prefix" ] || complain "attribute row $row: $line"
    else
      [ "$line" = "$white" ] || complain "attribute row $row: $line"
    fi
  done
fi
if [ -f "$cases/$name.log" ]; then
  diff -u "$cases/$name.log" "$out/log.txt" || complain "event log differs"
fi
[ $fail = 0 ] && echo "PASS $name"
exit $fail
