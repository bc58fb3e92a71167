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
exit $status
