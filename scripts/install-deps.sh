#!/usr/bin/env bash
# Installs the Debian packages Naviro needs to build, run and test, when any
# is missing. Safe to run again.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  libsdl2-dev libsdl2-ttf-dev libfontconfig-dev
  libespeak-ng-dev espeak-ng-data libspeechd-dev
  libsamplerate0-dev
  speech-dispatcher speech-dispatcher-espeak-ng
  libgtest-dev libgmock-dev
  python3 python3-pyftpdlib wbrazilian
  # explicit TLS: the library, and the servers and certificate tool of its tests
  libssl-dev openssl vsftpd python3-openssl
  # file transfer over SSH: the library, and the server its tests start
  # privately (never the system's service: see below)
  libssh-dev openssh-server openssh-client
  # passwords kept in the system keyring (Secret Service), and the private
  # keyring and session bus its tests start
  libsecret-1-dev gnome-keyring dbus-daemon
  # what the unpacked proftpd below links with
  libmemcached11 libmemcachedutil2 libhiredis0.14 libsodium23 libpam0g libcap2 libcap-ng0 libaudit1
  fonts-dejavu-core
  locales
  xvfb xdotool x11-apps x11-utils x11-xserver-utils
  # the Debian package (cpack, dpkg-shlibdeps), its check and the manual page's
  dpkg-dev file groff-base man-db lintian
)
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # Installing openssh-server would start the system's SSH service on port
  # 22; the tests start servers of their own. A policy that refuses every
  # service start stands for the time of the install, when none is there.
  policy=/usr/sbin/policy-rc.d
  own_policy=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
    own_policy=1
  fi
  status=0
  "${sudo_cmd[@]}" apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}" ||
    status=$?
  [ "$own_policy" = 1 ] && "${sudo_cmd[@]}" rm -f "$policy"
  [ "$status" = 0 ] || exit "$status"
fi

# proftpd, the tests' second TLS server, conflicts with vsftpd as a package:
# its programs and modules are unpacked into /opt/naviro-proftpd instead, and
# the tests run it from there, unprivileged, with a configuration of their own.
proftpd_dir=/opt/naviro-proftpd
if [ ! -x /usr/sbin/proftpd ] && [ ! -x "$proftpd_dir/usr/sbin/proftpd" ]; then
  echo "Unpacking proftpd into $proftpd_dir"
  debs=$(mktemp -d)
  chmod 777 "$debs"  # apt fetches as its own user
  (cd "$debs" && apt-get download -q proftpd-core proftpd-mod-crypto)
  "${sudo_cmd[@]}" mkdir -p "$proftpd_dir"
  for deb in "$debs"/*.deb; do "${sudo_cmd[@]}" dpkg-deb -x "$deb" "$proftpd_dir"; done
  rm -rf "$debs"
fi
