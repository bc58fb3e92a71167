#!/bin/bash
# The layout check catches what it is there to catch: each violation is
# planted in a copy of the source tree and the check must fail on it and
# name the file; the unchanged copy must pass. Waiting rules first (delay
# loops wherever the delay sits in the loop, private poll, sleeping), then
# one of each older rule.
# Usage: check_layout_test.sh SOURCE_DIR WORKDIR
set -u
src=$1 work=$2
rm -rf "$work" && mkdir -p "$work" || exit 1
tree="$work/tree"
copy() {
  rm -rf "$tree" && mkdir -p "$tree/scripts"
  cp "$src/scripts/check-layout.sh" "$tree/scripts/"
  for d in app base console ftp sftp speech synth tts platform; do
    [ -d "$src/$d" ] && cp -r "$src/$d" "$tree/"
  done
}
fail=0
copy
if ! (cd "$tree" && bash scripts/check-layout.sh > "$work/clean.txt" 2>&1); then
  echo "FAILED: the unchanged tree does not pass"; cat "$work/clean.txt"; fail=1
fi

# plant NAME FILE TEXT: appends TEXT to FILE in a fresh copy; the check must
# fail and name FILE.
plant() {
  local name=$1 file=$2 text=$3
  copy
  mkdir -p "$tree/$(dirname "$file")"
  printf '%s\n' "$text" >> "$tree/$file"
  if (cd "$tree" && bash scripts/check-layout.sh > "$work/$name.txt" 2>&1); then
    echo "FAILED: $name planted in $file passes the check"; fail=1
  elif ! grep -q "^$file:" "$work/$name.txt"; then
    echo "FAILED: $name: the check failed without naming $file"; cat "$work/$name.txt"; fail=1
  fi
}
plant delay-loop-one-line speech/planted.cpp 'void f(P& p) { while (p.busy()) p.delay(10); }'
plant delay-loop-two-lines console/planted.cpp $'void f(P& p) {\n  while (p.busy())\n    p.consoleDelay(10);\n}'
plant delay-for-loop ftp/planted.cpp 'void f(U& u) { for (int i = 0; i < 9; ++i) u.delay(5); }'
plant delay-deep-in-the-body ftp/planted.cpp $'void f(P& p) {\n  while (!p.done()) {\n    p.step();\n    if (p.idle()) {\n      p.log("{ not a brace");\n      p.delay(10);\n    }\n  }\n}'
plant delay-in-do-while speech/planted.cpp $'void f(P& p) {\n  do\n  {\n    p.pump(); /* } */\n    p.delay(5);\n  } while (p.busy());\n}'
plant delay-under-an-if-body console/planted.cpp $'void f(P& p) {\n  for (;;)\n    if (p.busy()) {\n      p.consoleDelay(20);\n    }\n}'
plant sleep-for sftp/planted.cpp 'void f() { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }'
plant usleep base/planted.cpp 'void f() { usleep(1000); }'
plant private-poll ftp/planted.cpp 'int f(pollfd* p) { return ::poll(p, 1, 20); }'
plant bare-poll speech/planted.cpp 'int f(pollfd* p) { return poll(p, 1, 20); }'
plant layer-upwards speech/planted.cpp '#include "console/qrCrt.h"'
plant socket-header console/planted.cpp '#include <sys/socket.h>'

# Allowed: the loop's own file and platform/ may wait, and a comment or a
# member called poll is no call of poll().
copy
printf '%s\n' 'void g() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }' >> "$tree/base/loop.cpp"
printf '%s\n' 'int g(pollfd* p) { return ::poll(p, 1, 0); }' >> "$tree/platform/planted.cpp"
printf '%s\n' '// waits in poll() while (busy) delay(10) once did' 'void h(F& f) { f.poll(0); }' >> "$tree/console/planted.cpp"
printf '%s\n' 'void k(P& p) {' '  for (char c : p.digits()) {' '    p.tone(c);' '    p.delay(100);  // a timed pause between the tones' '  }' '  while (p.busy()) p.step();' '  p.delay(5);' '}' >> "$tree/speech/planted.cpp"
if ! (cd "$tree" && bash scripts/check-layout.sh > "$work/allowed.txt" 2>&1); then
  echo "FAILED: allowed waiting refused"; cat "$work/allowed.txt"; fail=1
fi
[ $fail -eq 0 ] && echo "layout check: 12 planted violations caught, the allowed ones pass"
exit $fail
