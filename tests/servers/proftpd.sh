#!/usr/bin/env bash
# Starts or stops three private proftpd servers with the TLS settings proftpd
# ships with (so a data connection must resume the control connection's TLS
# session): one with AUTH TLS beside plain logins, one with implicit TLS, and
# one like the first on ::1. All serve ROOT to the user tester/secret from a
# password file of their own.
# Usage: proftpd.sh start|stop STATE_DIR ROOT CERT KEY
# Writes STATE_DIR/proftpd.port, proftpd-implicit.port and proftpd6.port.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
cmd=$1
dir=$2

if [ "$cmd" = stop ]; then
  stop_pids "$dir"/proftpd*.pid.run
  exit 0
fi
root=$3 cert=$4 key=$5
# Installed, or unpacked beside the system where vsftpd's package holds the
# place (the two packages exclude each other).
proftpd_bin=$(command -v proftpd || echo /opt/pelliwox-peers/proftpd/usr/sbin/proftpd)
[ -x "$proftpd_bin" ] || { echo "proftpd not found: run tools/deps.sh" >&2; exit 1; }
modules=$(dirname "$(dirname "$proftpd_bin")")/lib/proftpd
stop_pids "$dir"/proftpd*.pid.run
mkdir -p "$dir"

# The user runs as nobody: uploads land in ROOT, which anyone may write.
hash=$(openssl passwd -5 secret)
echo "tester:$hash:65534:65534::$root:/bin/sh" > "$dir/proftpd.passwd"
chmod 600 "$dir/proftpd.passwd"

# proftpd_start NAME ADDRESS EXTRA_TLS_OPTIONS: on ADDRESS (127.0.0.1 or ::1).
proftpd_start() {
  local name=$1 address=$2 options=$3 port ipv6=off
  case "$address" in *:*) ipv6=on ;; esac
  port=$(/usr/bin/python3 "$here/freeport.py" "$address")
  cat > "$dir/$name.conf" <<CONF
ServerName "pelliwox test proftpd"
ServerType standalone
DefaultServer on
Port $port
DefaultAddress $address
SocketBindTight on
UseIPv6 $ipv6
User nobody
Group nogroup
Umask 022
AllowOverwrite on
AllowStoreRestart on
MaxInstances 64
PidFile $dir/$name.pid
ScoreboardFile $dir/$name.scoreboard
DelayTable none
SystemLog $dir/$name.log
WtmpLog off
UseReverseDNS off
RequireValidShell off
AuthOrder mod_auth_file.c
AuthUserFile $dir/proftpd.passwd
DefaultRoot ~
ModulePath $modules
LoadModule mod_tls.c
<IfModule mod_tls.c>
  TLSEngine on
  TLSLog $dir/$name-tls.log
  TLSRSACertificateFile $cert
  TLSRSACertificateKeyFile $key
  $options
</IfModule>
CONF
  "$proftpd_bin" -n -q -c "$dir/$name.conf" > "$dir/$name.out" 2>&1 &
  echo $! > "$dir/$name.pid.run"
  /usr/bin/python3 "$here/waitport.py" "$port" 20 "$address" || { cat "$dir/$name.out" "$dir/$name.log" >&2; exit 1; }
  echo "$port" > "$dir/$name.port"
}
proftpd_start proftpd 127.0.0.1 ""
proftpd_start proftpd-implicit 127.0.0.1 "TLSOptions UseImplicitSSL"
proftpd_start proftpd6 ::1 ""
