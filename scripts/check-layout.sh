#!/usr/bin/env bash
# Keeps the layers running one way and platform code in platform/.
#
#   base   <- tts <- speech <- console <- ftp/ui
#   base   <- ftp (the protocol core; it talks to the user through Tela)
#   ftp    <- sftp (file transfer over SSH, a protocol core beside ftp)
#   base   <- synth (the diphone synthesiser library, loaded at run time)
#   platform implements the interfaces of base, speech and console
#   app/ wires everything; tests/, tools/ and bench/ may use any layer
#
# A directory may include its own headers and those of the layers below it,
# nothing else. Also: no SDL, terminal, dynamic loading or voice-library
# headers outside platform/, and socket headers only in the socket layer
# (ftp/ftpRede), and signals and the umask are set in platform/ only.
# Waiting: poll() only in platform/ and base/loop.cpp, sleeping only there
# too, and no loop that spins on delays.
# Directories that do not exist yet are skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
status=0

# Layer of a path (a file or an included header): its directory, with ftp/ui
# apart from ftp.
layer_of() {
  case "$1" in
    ftp/ui/*) echo ftp/ui ;;
    */*) echo "${1%%/*}" ;;
    *) echo "" ;;
  esac
}

# The layers a layer may include.
allowed_for() {
  case "$1" in
    base) echo "base" ;;
    tts) echo "base tts" ;;
    speech) echo "base tts speech" ;;
    console) echo "base tts speech console" ;;
    ftp) echo "base ftp" ;;
    sftp) echo "base ftp sftp" ;;
    synth) echo "base synth" ;;
    ftp/ui) echo "base tts speech console ftp ftp/ui" ;;
    platform) echo "base tts speech console platform" ;;
    *) echo "*" ;;
  esac
}

# Until ftp/ui/ exists the protocol core and its screens share ftp/; their
# includes of the console are reported but do not fail.
ftp_split=0
[ -d ftp/ui ] && ftp_split=1
ftp_pending=0

checked=()
for d in base tts speech console ftp sftp platform synth; do [ -d "$d" ] && checked+=("$d"); done
while IFS= read -r line; do
  file=${line%%:*}
  rest=${line#*:}
  rest=${rest#*:}
  header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$rest")
  from=$(layer_of "$file")
  to=$(layer_of "$header")
  [ -z "$to" ] && continue  # a header of the same directory, by bare name
  [ -d "${header%/*}" ] || continue  # not one of ours
  allowed=" $(allowed_for "$from") "
  [[ "$allowed" == *" * "* || "$allowed" == *" $to "* ]] && continue
  if [ "$from" = ftp ] && [ "$ftp_split" = 0 ]; then
    ftp_pending=$((ftp_pending + 1))
    continue
  fi
  echo "$line"
  echo "  $from/ may not include $to/ (layers run base <- speech <- console <- ftp/ui)"
  status=1
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
           --include='*.h' --include='*.cpp' "${checked[@]}" || true)
if [ "$ftp_pending" -gt 0 ]; then
  echo "note: $ftp_pending includes of console/ or speech/ in ftp/ wait for the ftp/ui split"
fi

# Platform headers: only platform/ (and app/, tests/) include them.
if grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"platform/' \
     --include='*.h' --include='*.cpp' "${checked[@]}" | grep -v '^platform/'; then
  echo "platform/ headers are included only by platform/, app/ and tests (above)"
  status=1
fi

platform_headers='#[[:space:]]*include[[:space:]]*[<"](SDL|termios|dlfcn|sys/ioctl|spawn\.h|sys/wait\.h|espeak|speech-dispatcher|libspeechd)'
socket_headers='#[[:space:]]*include[[:space:]]*[<"](sys/socket|netinet/|arpa/inet|netdb)'
dirs=()
for d in base console speech ftp sftp tts synth; do [ -d "$d" ] && dirs+=("$d"); done
if [ ${#dirs[@]} -gt 0 ]; then
  if grep -rnE "$platform_headers" "${dirs[@]}"; then
    echo "platform headers belong in platform/ (above)"
    status=1
  fi
  if grep -rnE "$socket_headers" "${dirs[@]}" | grep -v '^ftp/ftpRede\.'; then
    echo "socket headers belong in ftp/ftpRede (above)"
    status=1
  fi
fi
# Process-wide state (signal dispositions, the file creation mask) is set in
# platform/ only; the program sets it at start-up.
process_calls='(^|[^[:alnum:]_])(signal|sigaction|umask)[[:space:]]*\('
others=()
for d in app base bench console ftp sftp speech tests tools tts; do [ -d "$d" ] && others+=("$d"); done
if grep -rnE --include='*.h' --include='*.cpp' "$process_calls" "${others[@]}"; then
  echo "signals and the umask are set in platform/ only (above)"
  status=1
fi

# Waiting is the loop's (base/loop) and the platform's: no private poll()
# outside platform/, no sleeping call outside both, and no loop that turns
# on a delay (a "while (busy) delay(10)" polls; the loop waits on what
# ends the wait instead). Comments do not count. Tests and benches are
# drivers and may do as they like.
wait_dirs=()
for d in app base console ftp sftp speech synth tts; do [ -d "$d" ] && wait_dirs+=("$d"); done
code_lines() {  # file:line:text of the pattern, comments left out
  grep -rnE --include='*.h' --include='*.cpp' "$1" "${wait_dirs[@]}" |
    grep -vE '^[^:]+:[0-9]+:[[:space:]]*//' |
    grep -v '^base/loop\.cpp:' || true
}
found=$(code_lines '(^|[^.>_[:alnum:]])(::)?(poll|ppoll|select|epoll_wait)[[:space:]]*\(' |
  grep -vE '(void|int|bool)[[:space:]]+(poll|select)[[:space:]]*\(' |
  grep -vE '^[^:]+:[0-9]+:.*//.*(poll|select)' || true)
if [ -n "$found" ]; then
  echo "$found"
  echo "poll() and its kin belong to platform/ and base/loop.cpp (above)"
  status=1
fi
found=$(code_lines '(sleep_for|sleep_until|usleep|nanosleep)[[:space:]]*\(|(^|[^_[:alnum:]])sleep[[:space:]]*\(')
if [ -n "$found" ]; then
  echo "$found"
  echo "the program sleeps only in the loop (base/loop.cpp) and platform/ (above)"
  status=1
fi
# A delay anywhere in a loop: in its header, its one-statement body or its
# braced body, however deep (a lambda or a block inside counts too). Read
# character by character, comments and literals left out. A pause the
# program makes on purpose (between the tones of a number, before a retry)
# says so on its line with a "timed pause" comment: it waits in the loop,
# keys and speech flow meanwhile, and it ends the loop's step, not a poll.
found=$(for d in "${wait_dirs[@]}"; do
  find "$d" -name '*.cpp' -o -name '*.h'
done | grep -v '^base/loop\.cpp$' | sort | while IFS= read -r f; do
  awk -v f="$f" '
    BEGIN { depth = 0; loops = 0; state = 0; paren = 0; block = 0 }
    {
      code = $0
      allowed = $0 ~ /\/\/.*timed pause/
      if (block) { if (sub(/^.*\*\//, "", code)) block = 0; else next }
      gsub(/\/\*([^*]|\*[^\/])*\*\//, " ", code)
      if (sub(/\/\*.*$/, "", code)) block = 1
      sub(/\/\/.*/, "", code)
      gsub(/"([^"\\]|\\.)*"/, "\"\"", code)
      gsub(/\047([^\047\\]|\\.)*\047/, "0", code)
      reported = 0
      n = length(code)
      for (i = 1; i <= n; i++) {
        ch = substr(code, i, 1)
        if (ch ~ /[[:alnum:]_]/) {
          j = i
          while (j <= n && substr(code, j, 1) ~ /[[:alnum:]_]/) j++
          word = substr(code, i, j - i)
          prev = i > 1 ? substr(code, i - 1, 1) : " "
          rest = substr(code, j)
          if (word ~ /^(while|for)$/ && rest ~ /^[[:space:]]*\(/) {
            if (state == 0 || state == 3) { state = 1; paren = 0 }
          } else if (word == "do" && state == 0) {
            state = 2
          } else if (word ~ /[Dd]elay$/ && rest ~ /^[[:space:]]*\(/ &&
                     (loops > 0 || state == 1 || state == 3) && !reported && !allowed) {
            print f ":" FNR ": " $0; reported = 1
          } else if (state == 2) {
            state = 3  # a one-statement body
          }
          i = j - 1
          continue
        }
        if (ch ~ /[[:space:]]/) continue
        if (state == 1) {
          if (ch == "(") paren++
          else if (ch == ")" && --paren == 0) state = 2
          continue
        }
        if (ch == "{") {
          depth++
          # A body, or a block of a one-statement body (an if inside).
          if (state == 2 || state == 3) { stack[++loops] = depth; state = 0 }
        } else if (ch == "}") {
          if (loops > 0 && stack[loops] == depth) loops--
          depth--
        } else if (ch == ";") {
          if (state == 2 || state == 3) state = 0
        } else if (state == 2) {
          state = 3
        }
      }
    }' "$f"
done)
if [ -n "$found" ]; then
  echo "$found"
  echo "a loop waits in the program's loop (waitWhile), not by delays (above)"
  status=1
fi
exit $status
