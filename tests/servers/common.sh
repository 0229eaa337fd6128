# Shared by the server scripts: sourced, not run.

# Stops the processes named by the pid files given (missing ones are skipped).
stop_pids() {
  local f
  for f in "$@"; do
    [ -f "$f" ] || continue
    kill "$(cat "$f")" 2>/dev/null || true
    rm -f "$f"
  done
}

# A test CA (DIR/ca.crt) and a server certificate it signed for localhost,
# 127.0.0.1 and ::1 (DIR/server.crt, DIR/server.key).
make_test_certs() {
  local dir=$1 name=$2
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$name" \
    -keyout "$dir/ca.key" -out "$dir/ca.crt" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\n' > "$dir/san.ext"
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" -CAcreateserial \
    -days 3650 -extfile "$dir/san.ext" -out "$dir/server.crt" 2>/dev/null
}

# Daemons that drop their privileges must reach their files even when the
# checkout lies under a private (0700) folder: the state lives in a folder of
# its own under /tmp, and DIR becomes a link to it. Prints the real folder.
shared_state_dir() {
  local dir=$1 real
  if [ -L "$dir" ]; then
    real=$(readlink "$dir")
    case "$real" in /tmp/pelliwox-state.*) rm -rf "$real" ;; esac
    rm -f "$dir"
  else
    rm -rf "$dir"
  fi
  mkdir -p "$(dirname "$dir")"
  real=$(mktemp -d /tmp/pelliwox-state.XXXXXX)
  chmod 755 "$real"
  ln -s "$real" "$dir"
  echo "$real"
}

# Waits until the process whose pid PIDFILE holds has written its port into
# PORTFILE and listens there (on HOST, 127.0.0.1 unless given); when it dies
# or stays silent for 20 seconds, prints LOG and fails.
wait_port_file() {
  local pidfile=$1 portfile=$2 log=$3 host=${4:-127.0.0.1} _
  for _ in $(seq 1 200); do
    [ -s "$portfile" ] && break
    kill -0 "$(cat "$pidfile")" 2>/dev/null || { cat "$log" >&2; return 1; }
    sleep 0.1
  done
  [ -s "$portfile" ] || { echo "no port written to $portfile" >&2; cat "$log" >&2; return 1; }
  /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/waitport.py" "$(cat "$portfile")" 20 "$host"
}
