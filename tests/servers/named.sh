#!/usr/bin/env bash
# Starts or stops a private BIND 9 named for the DNS tests: one free port of
# 127.0.0.1 and ::1 (UDP and TCP), authoritative for pwx.test (MX, A, AAAA,
# LOC records and a name with 60 A records) and for 2.0.192.in-addr.arpa (PTR
# records); every other name is refused (no recursion).
# Usage: named.sh start|stop STATE_DIR. Writes STATE_DIR/named.port.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
cmd=$1
dir=$2

stop() { stop_pids "$dir/named.pid.run"; }

if [ "$cmd" = stop ]; then
  stop
  exit 0
fi

stop
dir=$(shared_state_dir "$dir")
port=$(/usr/bin/python3 "$here/freeport.py")

cat > "$dir/pwx.test.zone" <<ZONE
\$TTL 3600
@        IN SOA ns1.pwx.test. admin.pwx.test. 1 3600 600 86400 300
@        IN NS  ns1.pwx.test.
ns1      IN A   192.0.2.53
@        IN MX  10 mail.pwx.test.
@        IN MX  20 backup.mx.example.org.
mail     IN A   192.0.2.25
www      IN A   192.0.2.80
www      IN A   192.0.2.81
www  300 IN A   192.0.2.82
www      IN AAAA 2001:db8::80
v6       IN AAAA 2001:db8::1
v6       IN AAAA 2001:db8::2
geo      IN LOC 52 22 23.000 N 4 53 32.000 E -2.00m 1m 10000m 10m
south    IN LOC 33 51 35.900 S 151 12 40.000 W 58.00m
ZONE
for i in $(seq 1 60); do echo "many     IN A   10.0.$((i / 256)).$((i % 256))" >> "$dir/pwx.test.zone"; done

cat > "$dir/reverse.zone" <<ZONE
\$TTL 3600
@        IN SOA ns1.pwx.test. admin.pwx.test. 1 3600 600 86400 300
@        IN NS  ns1.pwx.test.
7        IN PTR host7.pwx.test.
25       IN PTR mail.pwx.test.
25       IN PTR smtp.pwx.test.
ZONE

cat > "$dir/named.conf" <<CONF
options {
  directory "$dir";
  pid-file "$dir/named.pid";
  session-keyfile "$dir/session.key";
  listen-on port $port { 127.0.0.1; };
  listen-on-v6 port $port { ::1; };
  recursion no;
  dnssec-validation no;
  notify no;
};
controls { };
zone "pwx.test" { type primary; file "$dir/pwx.test.zone"; };
zone "2.0.192.in-addr.arpa" { type primary; file "$dir/reverse.zone"; };
CONF
named-checkconf "$dir/named.conf"

# Root in a container: named keeps root when it cannot drop to its own user.
user_opt=()
if id bind >/dev/null 2>&1; then
  chown -R bind:bind "$dir"
  user_opt=(-u bind)
fi
nohup named -f -c "$dir/named.conf" "${user_opt[@]}" >"$dir/named.log" 2>&1 </dev/null &
echo $! > "$dir/named.pid.run"
if ! /usr/bin/python3 "$here/waitport.py" "$port" 20; then
  cat "$dir/named.log" >&2
  exit 1
fi
# named listens before its zones are loaded: wait until both answer.
for zone in pwx.test 2.0.192.in-addr.arpa; do
  for _ in $(seq 1 100); do
    dig +short +norec +time=1 +tries=1 -p "$port" @127.0.0.1 "$zone" SOA 2>/dev/null | grep -q . && break
    sleep 0.1
  done
  dig +short +norec +time=1 +tries=1 -p "$port" @127.0.0.1 "$zone" SOA | grep -q . ||
    { echo "named did not load $zone" >&2; cat "$dir/named.log" >&2; exit 1; }
done
echo "$port" > "$dir/named.port"
