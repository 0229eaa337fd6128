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
for _ in $(seq 1 200); do
  [ -s "$dir/dns_peer.port" ] && break
  if ! kill -0 "$(cat "$dir/peer.pid")" 2>/dev/null; then cat "$dir/peer.log" >&2; exit 1; fi
  sleep 0.1
done
[ -s "$dir/dns_peer.port" ] || { echo "the DNS peer did not start" >&2; cat "$dir/peer.log" >&2; exit 1; }
/usr/bin/python3 "$here/waitport.py" "$(cat "$dir/dns_peer.port")" 20
