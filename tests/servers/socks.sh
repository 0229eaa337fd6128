#!/usr/bin/env bash
# Starts or stops the SOCKS proxies the socket tests use: danted (SOCKS 5,
# with and without user-name authentication) and microsocks (SOCKS 5).
# Usage: socks.sh start|stop STATE_DIR. Ports go to STATE_DIR/*.port.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
cmd=$1
dir=$2
user=pwxsocks
pass=pwx-socks-pass

stop() { stop_pids "$dir"/*.pid; }

if [ "$cmd" = stop ]; then
  stop
  exit 0
fi

mkdir -p "$dir"
stop
rm -f "$dir"/*.port

# danted checks user names against the system's users.
if ! id "$user" >/dev/null 2>&1; then
  useradd -r -M -s /usr/sbin/nologin "$user"
fi
echo "$user:$pass" | chpasswd

dport=$(/usr/bin/python3 "$here/freeport.py")
cat > "$dir/danted.conf" <<CONF
logoutput: $dir/danted.log
internal: 127.0.0.1 port = $dport
external: 127.0.0.1
socksmethod: username none
user.privileged: root
user.unprivileged: nobody
client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }
socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 }
CONF
danted -f "$dir/danted.conf" -p "$dir/danted.pid" -D
/usr/bin/python3 "$here/waitport.py" "$dport" 10
echo "$dport" > "$dir/danted.port"

mport=$(/usr/bin/python3 "$here/freeport.py")
microsocks -i 127.0.0.1 -p "$mport" > "$dir/microsocks.log" 2>&1 &
echo $! > "$dir/microsocks.pid"
/usr/bin/python3 "$here/waitport.py" "$mport" 10
echo "$mport" > "$dir/microsocks.port"
