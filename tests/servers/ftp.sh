#!/usr/bin/env bash
# Starts or stops the FTP peers of the FTP client's tests, all serving
# STATE_DIR/root:
#   pyftpdlib, plain and with AUTH TLS (ftp_peer.py), user tester;
#   vsftpd on private configurations, to a local user of its own (pwxftp):
#   implicit TLS, the same requiring TLS session reuse on data connections,
#   and AUTH TLS with vsftpd's own TLS defaults (reuse required);
#   proftpd with its shipped TLS settings, AUTH TLS and implicit (proftpd.sh),
#   user tester;
#   on ::1: pyftpdlib plain and with AUTH TLS, vsftpd with AUTH TLS, proftpd
#   with AUTH TLS beside plain logins.
# Usage: ftp.sh start|stop STATE_DIR. Ports go to STATE_DIR/ports.env as
# shell assignments: FTP_PLAIN, FTP_TLS (pyftpdlib), FTP_IMPLICIT, FTP_REUSE,
# FTP_VSFTPD_TLS (vsftpd), FTP_PROFTPD, FTP_PROFTPD_IMPLICIT; on ::1
# FTP6_PLAIN, FTP6_TLS, FTP6_VSFTPD_TLS, FTP6_PROFTPD.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
cmd=$1
dir=$2

if [ "$cmd" = stop ]; then
  stop_pids "$dir"/*.pid
  bash "$here/proftpd.sh" stop "$dir"
  exit 0
fi

if [ -d "$dir" ]; then
  stop_pids "$dir"/*.pid
  bash "$here/proftpd.sh" stop "$dir"
fi
dir=$(shared_state_dir "$dir")
mkdir -p "$dir/root"
chmod 777 "$dir/root"
make_test_certs "$dir" "Pelliwox FTP test CA"

# pyftpd NAME HOST [CERT KEY]
pyftpd() {
  local name=$1 host=$2
  shift 2
  rm -f "$dir/$name.port"
  /usr/bin/python3 "$here/ftp_peer.py" "$dir/root" "$dir/$name.port" "$host" "$@" > "$dir/$name.log" 2>&1 &
  echo $! > "$dir/$name.pid"
  wait_port_file "$dir/$name.pid" "$dir/$name.port" "$dir/$name.log" "$host"
}
pyftpd plain 127.0.0.1
pyftpd tls 127.0.0.1 "$dir/server.crt" "$dir/server.key"
pyftpd plain6 ::1
pyftpd tls6 ::1 "$dir/server.crt" "$dir/server.key"

# vsftpd: installed, or unpacked beside the system by tools/deps.sh (the
# package excludes proftpd's).
vsftpd_bin=$(command -v vsftpd || echo /opt/pelliwox-peers/vsftpd/usr/sbin/vsftpd)
[ -x "$vsftpd_bin" ] || { echo "vsftpd not found: run tools/deps.sh" >&2; exit 1; }
# vsftpd: a local user whose home is the shared folder.
id pwxftp >/dev/null 2>&1 || useradd -r -M -d "$dir/root" -s /bin/bash pwxftp
usermod -d "$dir/root" pwxftp
echo 'pwxftp:secret' | chpasswd
# vsftpd_start NAME ADDRESS IMPLICIT [SETTING...]: one TLS server on ADDRESS
# (127.0.0.1 or ::1); IMPLICIT=NO gives AUTH TLS. Settings (name=value lines)
# are added at the end. Prints its port.
vsftpd_start() {
  local name=$1 address=$2 implicit=$3 port listen
  shift 3
  port=$(/usr/bin/python3 "$here/freeport.py" "$address")
  case "$address" in
    *:*) listen="listen=NO
listen_ipv6=YES
listen_address6=$address" ;;
    *) listen="listen=YES
listen_ipv6=NO
listen_address=$address" ;;
  esac
  cat > "$dir/$name.conf" <<CONF
$listen
listen_port=$port
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
pam_service_name=vsftpd
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
ssl_enable=YES
implicit_ssl=$implicit
rsa_cert_file=$dir/server.crt
rsa_private_key_file=$dir/server.key
pasv_enable=YES
pasv_address=127.0.0.1
secure_chroot_dir=$dir/empty
local_root=$dir/root
xferlog_enable=NO
log_ftp_protocol=NO
CONF
  printf '%s\n' "$@" >> "$dir/$name.conf"
  "$vsftpd_bin" "$dir/$name.conf" > "$dir/$name.log" 2>&1 &
  echo $! > "$dir/$name.pid"
  /usr/bin/python3 "$here/waitport.py" "$port" 10 "$address" || { cat "$dir/$name.log" >&2; exit 1; }
  echo "$port"
}
mkdir -p "$dir/empty"
chmod 755 "$dir/empty"
implicit=$(vsftpd_start vsftpd 127.0.0.1 YES require_ssl_reuse=NO)
reuse=$(vsftpd_start vsftpd-reuse 127.0.0.1 YES require_ssl_reuse=YES)
explicit=$(vsftpd_start vsftpd-tls 127.0.0.1 NO)
explicit6=$(vsftpd_start vsftpd6-tls ::1 NO)

bash "$here/proftpd.sh" start "$dir" "$dir/root" "$dir/server.crt" "$dir/server.key"

printf '%s\n' "FTP_PLAIN=$(cat "$dir/plain.port")" "FTP_TLS=$(cat "$dir/tls.port")" "FTP_IMPLICIT=$implicit" \
  "FTP_REUSE=$reuse" "FTP_VSFTPD_TLS=$explicit" "FTP_PROFTPD=$(cat "$dir/proftpd.port")" \
  "FTP_PROFTPD_IMPLICIT=$(cat "$dir/proftpd-implicit.port")" "FTP6_PLAIN=$(cat "$dir/plain6.port")" \
  "FTP6_TLS=$(cat "$dir/tls6.port")" "FTP6_VSFTPD_TLS=$explicit6" "FTP6_PROFTPD=$(cat "$dir/proftpd6.port")" \
  > "$dir/ports.env"
