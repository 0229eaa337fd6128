#!/usr/bin/env bash
# Starts or stops the scripted DNS peer (dns_peer.py) of the DNS tests.
# Usage: dns_peer.sh start|stop STATE_DIR. Writes STATE_DIR/dns_peer.port.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
cmd=$1
dir=$2

stop() { stop_pids "$dir/peer.pid"; }

if [ "$cmd" = stop ]; then
  stop
  exit 0
fi

stop
rm -rf "$dir"
mkdir -p "$dir"
nohup /usr/bin/python3 "$here/dns_peer.py" "$dir" >"$dir/peer.log" 2>&1 </dev/null &
echo $! > "$dir/peer.pid"
wait_port_file "$dir/peer.pid" "$dir/dns_peer.port" "$dir/peer.log"
