#!/usr/bin/env bash
# Keeps the platform-free directories free of platform code: no SDL,
# terminal, dynamic loading or voice-library headers in console/, speech/,
# ftp/ and tts/, and socket headers only in the socket layer (ftp/ftpRede).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
status=0
platform_headers='#[[:space:]]*include[[:space:]]*[<"](SDL|termios|dlfcn|sys/ioctl|espeak|speech-dispatcher|libspeechd)'
socket_headers='#[[:space:]]*include[[:space:]]*[<"](sys/socket|netinet/|arpa/inet|netdb)'
dirs=()
for d in console speech ftp tts; do [ -d "$d" ] && dirs+=("$d"); done
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
exit $status
