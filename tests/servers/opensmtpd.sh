#!/usr/bin/env bash
# Starts or stops a private OpenSMTPD that accepts mail for any address on a
# free port of 127.0.0.1 and delivers it into the maildir of one user of a
# Dovecot state folder made by dovecot.sh, so that mail sent by the SMTP
# client can be fetched back over POP3.
# Usage: opensmtpd.sh start STATE_DIR DOVECOT_STATE_DIR [USER]  (USER: pwx1)
#        opensmtpd.sh stop STATE_DIR
# Writes STATE_DIR/smtp.port.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
cmd=$1
dir=$2
mailuser=pwxmail

stop() { stop_pids "$dir/smtpd.pid"; }

if [ "$cmd" = stop ]; then
  stop
  exit 0
fi

dovecot_dir=$3
user=${4:-pwx1}
maildir="$(readlink -f "$dovecot_dir")/mail/$user/Maildir"
[ -d "$maildir" ] || { echo "no maildir $maildir: start Dovecot first" >&2; exit 1; }

stop
# OpenSMTPD refuses files that others may write; shared_state_dir makes 0755.
dir=$(shared_state_dir "$dir")
port=$(/usr/bin/python3 "$here/freeport.py")
echo "@ $mailuser" > "$dir/recipients"
cat > "$dir/smtpd.conf" <<CONF
table recipients file:$dir/recipients
listen on 127.0.0.1 port $port hostname mta.test
action "deliver" maildir "$maildir" virtual <recipients>
match from any for any action "deliver"
CONF
chmod 644 "$dir/smtpd.conf" "$dir/recipients"
smtpd -n -f "$dir/smtpd.conf" >/dev/null

# OpenSMTPD's control socket (/run/smtpd.sock) and queue (/var/spool/smtpd)
# have fixed paths, so a second instance refuses to start beside a machine's
# own mail server or another test's. Where a mount namespace can be made
# (as root), this one gets a private /run and spool of its own; the
# resolver's file is carried over when it lives under /run.
isolated() {
  local resolv
  resolv=$(readlink -f /etc/resolv.conf 2>/dev/null || true)
  case "$resolv" in /run/*) cp "$resolv" "$dir/resolv.conf" ;; *) resolv= ;; esac
  # The chain of exec keeps one process: the pid written below is smtpd's.
  exec unshare -m --propagation private sh -c '
    set -e
    mount -t tmpfs -o mode=755 pelliwox-run /run
    if [ -n "$2" ]; then mkdir -p "$(dirname "$2")"; cp "$3/resolv.conf" "$2"; fi
    mkdir -p /var/spool/smtpd
    mount -t tmpfs -o mode=711 pelliwox-spool /var/spool/smtpd
    exec smtpd -d -f "$1"' sh "$dir/smtpd.conf" "$resolv" "$dir"
}
if [ "$(id -u)" = 0 ] && unshare -m --propagation private true 2>/dev/null; then
  (isolated) >"$dir/smtpd.log" 2>&1 </dev/null &
else
  echo "no private mount namespace here: sharing the machine's /run and spool" >"$dir/smtpd.log"
  nohup smtpd -d -f "$dir/smtpd.conf" >>"$dir/smtpd.log" 2>&1 </dev/null &
fi
echo $! > "$dir/smtpd.pid"
if ! /usr/bin/python3 "$here/waitport.py" "$port" 20; then
  cat "$dir/smtpd.log" >&2
  exit 1
fi
echo "$port" > "$dir/smtp.port"
