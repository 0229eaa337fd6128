#!/usr/bin/env bash
# Starts or stops the TLS peers the socket tests use:
#   openssl s_server instances that answer each line reversed (-rev):
#     tls12       TLS 1.2 only, client renegotiation allowed
#     tls13       TLS 1.3 only
#     clientcert  TLS 1.2, a client certificate from the test authority required
#     expired, wronghost, untrusted   presenting a certificate a client must refuse
#     tls10, tls11  TLS 1.0 / 1.1 only, at security level 0 where the library
#                   still speaks them: only a client's own floor refuses them
#   tls_peer.py, a Python peer for plain connections upgraded to TLS.
# Usage: tls_peers.sh start|stop STATE_DIR CERT_DIR. Ports go to STATE_DIR/NAME.port.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
cmd=$1
dir=$2

stop() { stop_pids "$dir"/*.pid; }

if [ "$cmd" = stop ]; then
  stop
  exit 0
fi

certs=$3
mkdir -p "$dir"
stop
rm -f "$dir"/*.port

# s_server NAME CERT KEY [OPTIONS...]
s_server() {
  local name=$1 cert=$2 key=$3
  shift 3
  local port
  port=$(/usr/bin/python3 "$here/freeport.py")
  openssl s_server -accept "127.0.0.1:$port" -cert "$certs/$cert" -key "$certs/$key" -rev -quiet "$@" \
    < /dev/null > "$dir/$name.log" 2>&1 &
  echo $! > "$dir/$name.pid"
  /usr/bin/python3 "$here/waitport.py" "$port" 10
  echo "$port" > "$dir/$name.port"
}

s_server tls12 server.pem server.key -tls1_2 -client_renegotiation
s_server tls13 server.pem server.key -tls1_3
s_server clientcert server.pem server.key -tls1_2 -Verify 1 -CAfile "$certs/ca.pem" -verify_return_error
s_server expired expired.pem server.key
s_server wronghost wronghost.pem server.key
s_server untrusted selfsigned.pem selfsigned.key
s_server tls10 server.pem server.key -tls1 -cipher 'ALL:@SECLEVEL=0'
s_server tls11 server.pem server.key -tls1_1 -cipher 'ALL:@SECLEVEL=0'

/usr/bin/python3 "$here/tls_peer.py" "$dir/python.port" "$certs/server.pem" "$certs/server.key" \
  > "$dir/python.log" 2>&1 &
echo $! > "$dir/python.pid"
wait_port_file "$dir/python.pid" "$dir/python.port" "$dir/python.log"
