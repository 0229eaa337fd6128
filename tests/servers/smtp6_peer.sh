#!/usr/bin/env bash
# Starts or stops aiosmtpd on ::1 with its stock handler, which prints every
# message it takes to STATE_DIR/peer.log: the SMTP client's IPv6 test.
# Usage: smtp6_peer.sh start|stop STATE_DIR. Writes STATE_DIR/smtp.port.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
cmd=$1
dir=$2

stop_pids "$dir/peer.pid"
[ "$cmd" = stop ] && exit 0

rm -rf "$dir"
mkdir -p "$dir"
port=$(/usr/bin/python3 "$here/freeport.py" ::1)
/usr/bin/python3 -u -m aiosmtpd -n -l "::1:$port" > "$dir/peer.log" 2>&1 < /dev/null &
echo $! > "$dir/peer.pid"
/usr/bin/python3 "$here/waitport.py" "$port" 20 ::1 || { cat "$dir/peer.log" >&2; exit 1; }
echo "$port" > "$dir/smtp.port"
