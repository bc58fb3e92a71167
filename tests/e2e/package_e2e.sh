#!/usr/bin/env bash
# The Debian package as a user gets it: cpack builds it from the build tree,
# lintian finds nothing wrong with it, dpkg -x unpacks it into a scratch
# directory, and in a private mount namespace that directory is laid over
# /usr (nothing outside the namespace changes). There the installed naviro
# answers --version (with the version its screen shows) and --help, and
# runs scripted sessions against a local pyftpdlib server: with no
# QUIRAL.INI of the user's it must find its installed data, say once where
# the configuration lives, and end with the documented exit codes; with the
# built-in voice chosen it must find its synthesiser library where the
# package put it.
#
# Usage: package_e2e.sh BUILD_DIR SOURCE_DIR WORK_DIR [hardened|plain]
# (plain: a build without the hardening flags, such as the sanitized one,
# whose lack of them lintian rightly notes). Exit 0 pass, 1 fail, 77 skipped
# (no generated data, or no mount namespace).
set -u
build=$1 src=$2 work=$3 flags=${4:-hardened}
[ -d "$build/quiral/som/naviro" ] || { echo "no generated sound library: skipped"; exit 77; }
rm -rf "$work" && mkdir -p "$work" || exit 1
work=$(cd "$work" && pwd)
fail=0
complain() { echo "FAIL: $*"; fail=1; }

# The package. cpack's own build step finds everything built already.
(cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$work"/pkg/naviro_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "FAIL: no package made"; exit 1; }
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Control fields: dependencies derived from the binaries, section, both
# languages in the description.
control=$(dpkg-deb -f "$deb")
echo "$control" | grep -q '^Depends: .*libc6' || complain "no derived Depends: $control"
echo "$control" | grep -qx 'Section: net' || complain "section"
echo "$control" | grep -q 'cliente FTP falado' || complain "no Portuguese description"
echo "$control" | grep -q 'talking FTP client' || complain "no English description"

# Debian's own check: no error, no warning, and none of the notes this
# package once had (unstripped or unhardened programs, a desktop entry
# without an icon, a licence text of its own).
if command -v lintian >/dev/null; then
  lintian -I --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1
  notes='unstripped-|binary-has-unneeded-section|desktop-entry-lacks-icon|extra-license-file'
  [ "$flags" = hardened ] && notes="hardening-no-|$notes"
  grep -E "^[EW]: |^I: [^ ]+ ($notes)" "$work/lintian.txt" >"$work/lintian-bad.txt"
  [ -s "$work/lintian-bad.txt" ] && complain "lintian: $(cat "$work/lintian-bad.txt")"
else
  complain "lintian is not installed (scripts/install-deps.sh installs it)"
fi

root=$work/root
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x"; exit 1; }
for f in usr/bin/naviro usr/share/quiral/QUIRAL.INI usr/share/quiral/QUIRAL.INI.in \
  usr/share/quiral/som/naviro/FTINIC.wav usr/share/quiral/som/difones/regras.rgr \
  usr/share/man/man1/naviro.1.gz usr/share/applications/naviro.desktop \
  usr/share/icons/hicolor/scalable/apps/naviro.svg \
  usr/share/doc/naviro/copyright usr/share/doc/naviro/README.md; do
  [ -e "$root/$f" ] || complain "missing /$f"
done
# The synthesiser library in the architecture's library directory, and
# nothing built for one architecture under /usr/share.
library=$(ls "$root"/usr/lib/*/naviro/mbrola.so 2>/dev/null | head -1)
[ -n "$library" ] || complain "no /usr/lib/<triplet>/naviro/mbrola.so"
elf=$(find "$root/usr/share" -type f -exec file {} + | grep ELF)
[ -z "$elf" ] || complain "programs under /usr/share: $elf"
# Every other file of the build's QUIRAL root is in the package.
(cd "$build/quiral" && find . -type f ! -name QUIRAL.INI ! -name mbrola.so) | while read -r f; do
  [ -e "$root/usr/share/quiral/$f" ] || echo "$f"
done >"$work/missing.txt"
[ -s "$work/missing.txt" ] && complain "root files not packaged: $(head -3 "$work/missing.txt")"
if grep -rlF "$build" "$root" >"$work/leaks.txt"; then
  complain "the build tree is named in: $(cat "$work/leaks.txt")"
fi

# The private namespace sees the package's files under /usr.
inside() {
  unshare -m sh -c 'mount -t overlay overlay -o "lowerdir=$0/usr:/usr" /usr && exec "$@"' \
    "$root" "$@"
}
if ! inside true 2>"$work/unshare.txt"; then
  echo "no private mount namespace here ($(cat "$work/unshare.txt")): skipped"
  exit 77
fi
version=$(inside /usr/bin/naviro --version)
echo "$version" | grep -qx 'naviro [0-9.]*' || complain "--version: $version"
inside /usr/bin/naviro --help | grep -q '^Uso: naviro' || complain "--help"

python=/usr/bin/python3
mkdir -p "$work/srv" "$work/home" "$work/run"
"$python" "$src/scripts/demo-server.py" "$work/srv" "$work/port" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port" 2>/dev/null)
[ -n "$port" ] || { echo "FAIL: the FTP server did not start"; exit 1; }

# One run of the installed program as a new user: an empty home, no
# QUIRAL_ROOT, no configuration anywhere.
session() {  # NAME HOST KEYS
  printf '%s' "$3" >"$work/run/$1.keys"
  (cd "$work/run" && inside env -i PATH=/usr/bin:/bin HOME="$work/home" LANG=C.UTF-8 \
    QUIRAL_CONSOLE=script QUIRAL_KEYS="$1.keys" QUIRAL_SCREEN="$1.screen" \
    QUIRAL_LOG="$1.log" timeout 60 /usr/bin/naviro "$2")
}

session first "127.0.0.1:$port" \
  '{until Qual a conta}{dump top.screen}anonymous{Enter}{until Qual a senha}x@y{Enter}{until Comando}i{wait 300}{Esc}'
rc=$?
[ "$rc" -eq 0 ] || complain "session ended with $rc, not 0"
# The notice is near the top: the screen as the login begins (the session's
# later lines scroll it away).
grep -qx 'A configuração fica em ~/.config/quiral/QUIRAL.INI, que ainda não existe.' "$work/run/top.screen" ||
  complain "the configuration's place not told"
grep -q 'padrões de /usr/share/quiral/QUIRAL.INI' "$work/run/top.screen" ||
  complain "the installed defaults not named"
# Said for the ear in a few words, not its path read out "barra" by "barra".
grep -q '^text Usando a configuração padrão; veja o manual para mudá-la.' "$work/run/first.log" ||
  complain "the notice not spoken"
grep -q '^text .*/quiral' "$work/run/first.log" && complain "a path read out in the notice"
grep -qx 'sound /usr/share/quiral/som/naviro/FTINIC.wav' "$work/run/first.log" ||
  complain "the installed message recordings not played"
grep -qx 'announce FTACLIBE' "$work/run/first.log" || complain "no login"
grep -qx 'send PWD' "$work/run/first.log" || complain "no PWD sent"
# The version on the screen's first line is the one --version prints.
banner=$(head -1 "$work/run/top.screen")
[ "${banner##*v.}" = "${version#naviro }" ] ||
  complain "the screen shows \"$banner\", --version \"$version\""

# Told once: the second run is silent about it. A refused connection ends
# with 1.
session second 127.0.0.1:1 ''
rc=$?
[ "$rc" -eq 1 ] || complain "refused connection ended with $rc, not 1"
grep -q 'configuração fica' "$work/run/second.screen" && complain "the notice was said twice"
grep -qx 'announce FTNAOCON' "$work/run/second.log" || complain "refusal not announced"

# The built-in voice (kind 3) from the installed defaults, without the
# recorded messages: every text goes to the engine, so its library was
# found; without it the recorded voice would say them.
mkdir -p "$work/home/.config/quiral"
sed -e 's/^SAPI=.*/SAPI=S/' -e 's/^TIPOSAPI=.*/TIPOSAPI=3/' \
  -e "s|^DIRNAVIRO=.*|DIRNAVIRO=$work/no-recordings|" "$root/usr/share/quiral/QUIRAL.INI" \
  >"$work/home/.config/quiral/QUIRAL.INI"
session engine 127.0.0.1:1 ''
grep -q '^voice ' "$work/run/engine.log" || complain "the built-in voice did not start"

if [ $fail -ne 0 ]; then
  for f in "$work"/run/*.screen; do echo "--- $f"; cat "$f"; done
  exit 1
fi
echo "package e2e: 1 passed, 0 failed"
