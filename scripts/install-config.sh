#!/usr/bin/env bash
# Puts the default QUIRAL.INI where Naviro looks for it ($QUIRAL_SYSDIR, else
# $XDG_CONFIG_HOME/quiral, else ~/.config/quiral), with the QUIRAL root filled
# in, unless a QUIRAL.INI is already there (it is never overwritten). The
# registry file ($QUIRAL_REGISTRY, else registry.reg beside QUIRAL.INI) gets
# the built-in engine's database, ROOT/coraltts/br4, unless it already names
# one: that is where a QUIRAL.INI whose MBROLA_DB is empty or "br4" finds it.
#
#   scripts/install-config.sh [ROOT]
#
# ROOT defaults to $QUIRAL_ROOT, else the build tree's root
# (${NAVIRO_BUILD_DIR:-build}/quiral) when it exists, else the installed one.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${NAVIRO_BUILD_DIR:-$here/build}

root=${1:-${QUIRAL_ROOT:-}}
if [ -z "$root" ]; then
  if [ -d "$build/quiral" ]; then
    root=$build/quiral
  else
    root=/usr/local/share/quiral
  fi
fi
root=${root%/}

template=$here/data/QUIRAL.INI.in
[ -f "$template" ] || template=$root/QUIRAL.INI.in
if [ ! -f "$template" ]; then
  echo "install-config: no QUIRAL.INI.in template found" >&2
  exit 1
fi

if [ -n "${QUIRAL_SYSDIR:-}" ]; then
  dir=$QUIRAL_SYSDIR
elif [ -n "${XDG_CONFIG_HOME:-}" ]; then
  dir=$XDG_CONFIG_HOME/quiral
else
  dir=$HOME/.config/quiral
fi

mkdir -p "$dir"

# The database entry of the registry, added to what the file already holds.
registry=${QUIRAL_REGISTRY:-$dir/registry.reg}
key='HKEY_LOCAL_MACHINE\SOFTWARE\TCTS\Mbrola\databases\br4'
if [ -f "$registry" ] && grep -qiF "[$key]" "$registry"; then
  echo "install-config: $registry already names the voice database; left as it is"
else
  value=$(printf '%s' "$root/coraltts/br4" | sed 's/[\\"]/\\&/g')
  {
    [ -s "$registry" ] || printf 'REGEDIT4\r\n'
    printf '\r\n[%s]\r\n@="%s"\r\n' "$key" "$value"
  } >> "$registry"
  echo "install-config: registered the voice database $root/coraltts/br4 in $registry"
fi

target=$dir/QUIRAL.INI
if [ -e "$target" ]; then
  echo "install-config: $target already exists; left as it is"
  exit 0
fi
# The root may hold characters that sed treats specially; escape them.
escaped=$(printf '%s' "$root" | sed 's/[\\&|]/\\&/g')
sed "s|@QUIRAL_ROOT@|$escaped|g" "$template" > "$target.tmp"
mv "$target.tmp" "$target"
echo "install-config: wrote $target (QUIRAL root $root)"
