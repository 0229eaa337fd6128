#!/usr/bin/env bash
# The main job in one command: starts a private Dovecot with a generated
# mailbox on a free port of 127.0.0.1, makes a program folder with a hosts
# entry for it, pulls the headers unattended into Pelliwox.csv, shows the
# start of the file, and then (with a display, or under xvfb-run when asked
# with --window) opens the window on the same mailbox.
# Usage: sudo bash tools/demo.sh [--window] [MESSAGES]   (root: Dovecot's users)
set -euo pipefail
cd "$(dirname "$0")/.."
window=no
[ "${1:-}" = "--window" ] && { window=yes; shift; }
count=${1:-300}
# A folder of a name nobody could have made first, private to root: the
# program is copied there and run as root, so no one else may reach it.
demo=$(mktemp -d /tmp/pelliwox-demo.XXXXXX)
state=$demo/dovecot
program=$demo/program

cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target program >/dev/null
bash tests/servers/dovecot.sh start "$state" "$count" 1
port=$(cat "$state/pop3.port")

mkdir -m 700 "$program"
# The program and every file it reads from its folder (target "program").
for f in pelliwox pelliwox-window codepageids.txt British.lxm syntaro-uk.lxt kwem_emojisrc.htm; do
  cp "build/app/$f" "$program/"
done
cp "$state/ca.crt" "$program/pelliwoxca.pem"   # trust the demo server's certificate
entry="localhost/+$port (demo mailbox)"
(umask 077; printf '%s,pwx1,secret 1,,pwx1@example.com\r\n' "$entry" > "$program/kwpop3hosts.txt")

echo "Pulling $count messages from $entry ..."
QT_QPA_PLATFORM=offscreen "$program/pelliwox" "pull:$entry"
echo "Wrote $program/Pelliwox.csv ($(($(wc -l < "$program/Pelliwox.csv") - 1)) rows). Its first lines:"
head -c 1200 "$program/Pelliwox.csv"; echo

if [ "$window" = yes ]; then
  if [ -n "${DISPLAY:-}" ]; then "$program/pelliwox"; else xvfb-run -a "$program/pelliwox"; fi
fi
bash tests/servers/dovecot.sh stop "$state"
echo "The program folder stays in $program (remove $demo when done)."
