#!/usr/bin/env bash
# Starts or stops the scripted SMTP peer of the SMTP client's tests
# (smtp_peer.py on aiosmtpd) with a certificate of its own for 127.0.0.1 and
# localhost, signed by a test CA.
# Usage: smtp_peer.sh start|stop STATE_DIR. Writes STATE_DIR/ca.crt and a
# NAME.port file per listener (plain, fallback, starttls, implicit, oddauth);
# received messages land in STATE_DIR/inbox.
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
mkdir -p "$dir/inbox"
make_test_certs "$dir" "Pelliwox SMTP Test CA"

nohup /usr/bin/python3 "$here/smtp_peer.py" "$dir" >"$dir/peer.log" 2>&1 </dev/null &
echo $! > "$dir/peer.pid"
for name in plain fallback starttls implicit oddauth; do
  wait_port_file "$dir/peer.pid" "$dir/$name.port" "$dir/peer.log"
done
