#!/usr/bin/env bash
# Starts or stops the FTP peers of the FTP client's tests:
#   pyftpdlib, plain and with AUTH TLS (ftp_peer.py), serving STATE_DIR/root;
#   vsftpd with implicit TLS on a private configuration, serving the same
#   folder to a local user of its own.
# Usage: ftp.sh start|stop STATE_DIR. Ports go to STATE_DIR/ports.env as
# shell assignments (FTP_PLAIN, FTP_TLS, FTP_IMPLICIT, FTP_REUSE: a second
# vsftpd that requires TLS session reuse on data connections).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
cmd=$1
dir=$2

if [ "$cmd" = stop ]; then
  stop_pids "$dir"/*.pid
  exit 0
fi

[ -d "$dir" ] && stop_pids "$dir"/*.pid
dir=$(shared_state_dir "$dir")
mkdir -p "$dir/root"
chmod 777 "$dir/root"
make_test_certs "$dir" "Pelliwox FTP test CA"

# pyftpd NAME [CERT KEY]
pyftpd() {
  local name=$1
  shift
  rm -f "$dir/$name.port"
  /usr/bin/python3 "$here/ftp_peer.py" "$dir/root" "$dir/$name.port" "$@" > "$dir/$name.log" 2>&1 &
  echo $! > "$dir/$name.pid"
  wait_port_file "$dir/$name.pid" "$dir/$name.port" "$dir/$name.log"
}
pyftpd plain
pyftpd tls "$dir/server.crt" "$dir/server.key"

# vsftpd: installed, or unpacked beside the system by tools/deps.sh (the
# package excludes proftpd's).
vsftpd_bin=$(command -v vsftpd || echo /opt/pelliwox-peers/vsftpd/usr/sbin/vsftpd)
[ -x "$vsftpd_bin" ] || { echo "vsftpd not found: run tools/deps.sh" >&2; exit 1; }
# vsftpd: a local user whose home is the shared folder.
id pwxftp >/dev/null 2>&1 || useradd -r -M -d "$dir/root" -s /bin/bash pwxftp
usermod -d "$dir/root" pwxftp
echo 'pwxftp:secret' | chpasswd
# vsftpd NAME REUSE: one implicit-TLS server; REUSE=YES makes every data
# connection resume the control connection's TLS session. Prints its port.
vsftpd_start() {
  local name=$1 reuse=$2 port
  port=$(/usr/bin/python3 "$here/freeport.py")
  cat > "$dir/$name.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
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
implicit_ssl=YES
allow_anon_ssl=NO
force_local_data_ssl=YES
force_local_logins_ssl=YES
ssl_tlsv1=YES
ssl_sslv2=NO
ssl_sslv3=NO
require_ssl_reuse=$reuse
rsa_cert_file=$dir/server.crt
rsa_private_key_file=$dir/server.key
pasv_enable=YES
pasv_address=127.0.0.1
secure_chroot_dir=$dir/empty
local_root=$dir/root
xferlog_enable=NO
log_ftp_protocol=NO
CONF
  "$vsftpd_bin" "$dir/$name.conf" > "$dir/$name.log" 2>&1 &
  echo $! > "$dir/$name.pid"
  /usr/bin/python3 "$here/waitport.py" "$port" 10 || { cat "$dir/$name.log" >&2; exit 1; }
  echo "$port"
}
mkdir -p "$dir/empty"
chmod 755 "$dir/empty"
implicit=$(vsftpd_start vsftpd NO)
reuse=$(vsftpd_start vsftpd-reuse YES)

printf 'FTP_PLAIN=%s\nFTP_TLS=%s\nFTP_IMPLICIT=%s\nFTP_REUSE=%s\n' "$(cat "$dir/plain.port")" "$(cat "$dir/tls.port")" \
  "$implicit" "$reuse" \
  > "$dir/ports.env"
