#!/usr/bin/env bash
# Starts a second OpenSMTPD with opensmtpd.sh while the first (FIRST_STATE)
# runs, checks that both take a connection, and stops the second: the test
# instance must run beside any other OpenSMTPD on the machine.
# Usage: opensmtpd_second.sh FIRST_STATE SECOND_STATE DOVECOT_STATE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
first=$1
second=$2
dovecot=$3
trap 'bash "$here/opensmtpd.sh" stop "$second"' EXIT
bash "$here/opensmtpd.sh" start "$second" "$dovecot"
for d in "$first" "$second"; do
  /usr/bin/python3 - "$(cat "$d/smtp.port")" <<'PY'
import smtplib, sys
s = smtplib.SMTP("127.0.0.1", int(sys.argv[1]), timeout=20)
code, _ = s.ehlo()
s.quit()
sys.exit(0 if code == 250 else 1)
PY
done
