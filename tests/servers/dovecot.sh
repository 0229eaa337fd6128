#!/usr/bin/env bash
# Starts or stops a private Dovecot POP3 server for the mail tests: a plain
# listener (with STLS) and a pop3s listener on free ports of 127.0.0.1 (or of
# ADDRESS, such as ::1), a certificate of its own signed by a test CA, and
# users pwx1..pwx12 (password "secret N" for user N) with generated mailboxes.
# Usage: dovecot.sh start|stop STATE_DIR [MESSAGES [USERS [ADDRESS]]]. Writes STATE_DIR/pop3.port,
# pop3s.port and ca.crt; STATE_DIR/mail/USER/Maildir are the mailboxes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
cmd=$1
dir=$2
count=${3:-25}
users=${4:-12}
address=${5:-127.0.0.1}
mailuser=pwxmail

if [ "$cmd" = stop ]; then
  if [ -f "$dir/dovecot.conf" ]; then doveadm -c "$dir/dovecot.conf" stop 2>/dev/null || true; fi
  exit 0
fi

if ! id "$mailuser" >/dev/null 2>&1; then useradd -r -M -s /usr/sbin/nologin "$mailuser"; fi
[ -f "$dir/dovecot.conf" ] && doveadm -c "$dir/dovecot.conf" stop 2>/dev/null || true
dir=$(shared_state_dir "$dir")
mkdir -p "$dir/run" "$dir/state" "$dir/mail"
chmod 755 "$dir/mail"

# A CA and a server certificate for 127.0.0.1 and localhost.
make_test_certs "$dir" "Pelliwox Test CA"

: > "$dir/passwd"
for n in $(seq 1 "$users"); do
  echo "pwx$n:{PLAIN}secret $n::::::" >> "$dir/passwd"
  /usr/bin/python3 "$here/maildir_fill.py" "$dir/mail/pwx$n/Maildir" "$count" "$n"
done
chown -R "$mailuser:$mailuser" "$dir/mail"

port=$(/usr/bin/python3 "$here/freeport.py" "$address")
sport=$(/usr/bin/python3 "$here/freeport.py" "$address")
while [ "$sport" = "$port" ]; do sport=$(/usr/bin/python3 "$here/freeport.py" "$address"); done
cat > "$dir/dovecot.conf" <<CONF
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
protocols = pop3
listen = $address
ssl = yes
ssl_cert = <$dir/server.crt
ssl_key = <$dir/server.key
disable_plaintext_auth = no
auth_mechanisms = plain login apop cram-md5
auth_verbose = yes
default_login_user = dovenull
default_internal_user = dovecot
mail_location = maildir:$dir/mail/%u/Maildir
pop3_uidl_format = %08Xu%08Xv
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/passwd
}
userdb {
  driver = static
  args = uid=$mailuser gid=$mailuser home=$dir/mail/%u
}
service pop3-login {
  inet_listener pop3 {
    port = $port
  }
  inet_listener pop3s {
    port = $sport
    ssl = yes
  }
}
service anvil {
  chroot =
}
CONF
dovecot -c "$dir/dovecot.conf" </dev/null >/dev/null 2>&1
/usr/bin/python3 "$here/waitport.py" "$port" 20 "$address"
/usr/bin/python3 "$here/waitport.py" "$sport" 20 "$address"
echo "$port" > "$dir/pop3.port"
echo "$sport" > "$dir/pop3s.port"
