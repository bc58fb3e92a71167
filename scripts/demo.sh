#!/usr/bin/env bash
# Demonstration: installs what is missing, builds the program and its data
# (not the tests), starts a local FTP server with a few sample files
# (anonymous login, write access) on a free loopback port, encrypted with a
# certificate made for the run, and runs naviro against it in this terminal
# (or in a window when a display is present). The demonstration keeps its
# own configuration directory: your QUIRAL.INI (or the build tree's
# defaults) with CONTA=anonymous, so the account is proposed at the
# question, and a CERTIFIC.TXT holding the demonstration's certificate, so
# the session is encrypted without a question. The server stops when naviro
# ends. Log in as "anonymous" (Enter) with any password.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" -DBUILD_TESTING=OFF -DNAVIRO_BENCH=OFF
build=${NAVIRO_BUILD_DIR:-$here/build}
export QUIRAL_ROOT=${QUIRAL_ROOT:-$build/quiral}

python=/usr/bin/python3
[ -x "$python" ] || python=python3
work=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# A certificate for this run only.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj "/CN=naviro-demo/O=Demonstracao do Naviro" -keyout "$work/demo.key" -out "$work/demo.crt" \
  >/dev/null 2>&1 || { echo "demo: openssl could not make the certificate" >&2; exit 1; }

"$python" "$here/scripts/demo-server.py" "$work/srv" "$work/port" "$work/demo.crt" "$work/demo.key" &
server=$!
for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  kill -0 "$server" 2>/dev/null || { echo "demo: the FTP server did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$work/port" ] || { echo "demo: the FTP server did not start" >&2; exit 1; }
port=$(cat "$work/port")

# The demonstration's configuration: the user's own, or the defaults, with
# the account proposed; the certificate kept as if accepted before.
config=$work/config
mkdir -p "$config"
own=${XDG_CONFIG_HOME:-$HOME/.config}/quiral/QUIRAL.INI
[ -f "$own" ] || own=$QUIRAL_ROOT/QUIRAL.INI
if [ -f "$own" ] && grep -qi '^\[NAVIRO\]' "$own"; then
  awk '{ print } /^\[[Nn][Aa][Vv][Ii][Rr][Oo]\]/ { print "CONTA=anonymous" }' "$own" > "$config/QUIRAL.INI"
else
  { [ -f "$own" ] && cat "$own"; printf '[NAVIRO]\r\nCONTA=anonymous\r\n'; } > "$config/QUIRAL.INI"
fi
fingerprint=$(openssl x509 -noout -fingerprint -sha256 -in "$work/demo.crt" | sed 's/.*=//; s/://g')
echo "127.0.0.1:$port $fingerprint" > "$config/CERTIFIC.TXT"
export QUIRAL_SYSDIR=$config

echo "demo: servidor FTP com criptografia em 127.0.0.1:$port (conta: anonymous, Enter)"
"$build/app/naviro" "127.0.0.1:$port"
