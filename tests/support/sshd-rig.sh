#!/bin/sh
# A private OpenSSH server for the SFTP tests, never the system's:
#
#   sshd-rig.sh start DIR    prints "PORT PID"; exit 77 when it cannot run here
#   sshd-rig.sh stop DIR     stops it, and every session it forked, by their PIDs
#
# DIR is made on the first start and kept: the host key (DIR/hostkey), a
# client key without a passphrase (DIR/id, authorised), the user's home
# (DIR/home), the port (DIR/port, the same at every start, so that a test
# can restart the server with another host key and be known by the same
# name), sshd_config and the server's log (DIR/sshd.log, LogLevel DEBUG:
# each authentication request is written there).
#
# The server listens on 127.0.0.1 only, with PAM off, and runs in a mount
# namespace of its own where /etc/passwd and /etc/shadow are copies that add
# the user "ana" (password "s3nha", the uid of nobody, home DIR/home): the
# system's account files are never touched. It needs root (or the right to
# make a mount namespace); without it the tests that use it are skipped.
set -eu
cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }

# The processes a process started, and theirs, by their ids. Each session
# of the server runs in a session of its own (setsid), so a signal to the
# server's process group would not reach them. (A shell function's
# variables are global: a child is named before its own children are
# looked up, which reuse the variable.)
descendants() {
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
    echo "$child"
    descendants "$child"
  done
}

stop() {
  [ -f "$dir/sshd.pid" ] || return 0
  pid=$(cat "$dir/sshd.pid")
  rm -f "$dir/sshd.pid"
  kill -STOP "$pid" 2>/dev/null || return 0  # no new sessions meanwhile
  for p in $(descendants "$pid"); do kill -KILL "$p" 2>/dev/null || true; done
  kill -KILL "$pid" 2>/dev/null || true
  i=0
  # Gone once dead, even before whoever adopted it has reaped it.
  while [ $i -lt 100 ]; do
    case $(ps -o stat= -p "$pid" 2>/dev/null) in '' | Z*) break ;; esac
    sleep 0.05
    i=$((i + 1))
  done
}

case "$cmd" in
  stop) stop; exit 0 ;;
  start) ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac

sshd=/usr/sbin/sshd
if [ ! -x "$sshd" ] || ! command -v ssh-keygen >/dev/null || ! unshare -m true 2>/dev/null; then
  echo "sshd-rig: needs openssh-server and a mount namespace (root)" >&2
  exit 77
fi
stop
mkdir -p "$dir/home" /run/sshd
chmod 755 "$dir"
[ -f "$dir/hostkey" ] || ssh-keygen -q -t ed25519 -N '' -C rig-host -f "$dir/hostkey"
[ -f "$dir/id" ] || ssh-keygen -q -t ed25519 -N '' -C rig-client -f "$dir/id"
[ -f "$dir/authorized_keys" ] || cp "$dir/id.pub" "$dir/authorized_keys"
uid=$(id -u nobody)
gid=$(id -g nobody)
chown "$uid:$gid" "$dir/home" "$dir/authorized_keys"
chmod 644 "$dir/authorized_keys"
if [ ! -f "$dir/passwd" ]; then
  grep -v '^ana:' /etc/passwd > "$dir/passwd"
  grep -v '^ana:' /etc/shadow > "$dir/shadow"
  echo "ana:x:$uid:$gid:Ana:$dir/home:/bin/sh" >> "$dir/passwd"
  echo "ana:$(openssl passwd -6 s3nha):19000:0:99999:7:::" >> "$dir/shadow"
  chmod 640 "$dir/shadow"
fi
if [ ! -f "$dir/port" ]; then
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' > "$dir/port"
fi
port=$(cat "$dir/port")
cat > "$dir/sshd_config" <<EOF
Port $port
ListenAddress 127.0.0.1
HostKey $dir/hostkey
AuthorizedKeysFile $dir/authorized_keys
PermitRootLogin no
AllowUsers ana
UsePAM no
PasswordAuthentication yes
KbdInteractiveAuthentication no
StrictModes no
MaxAuthTries 10
PidFile none
LogLevel DEBUG
Subsystem sftp internal-sftp
EOF
: > "$dir/sshd.log"
# setsid: a process group of its own; unshare then sh exec into sshd, so the
# PID started is the server's.
setsid unshare -m sh -c "mount --bind '$dir/passwd' /etc/passwd && \
  mount --bind '$dir/shadow' /etc/shadow && \
  exec $sshd -D -e -f '$dir/sshd_config'" 2>>"$dir/sshd.log" </dev/null >/dev/null &
pid=$!
echo "$pid" > "$dir/sshd.pid"
i=0
while ! grep -q 'Server listening' "$dir/sshd.log"; do
  if ! kill -0 "$pid" 2>/dev/null || [ $i -ge 100 ]; then
    echo "sshd-rig: the server did not start:" >&2
    cat "$dir/sshd.log" >&2
    stop
    exit 1
  fi
  sleep 0.05
  i=$((i + 1))
done
echo "$port $pid"
