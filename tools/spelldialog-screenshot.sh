#!/usr/bin/env bash
# Shows the spelling dialog under Xvfb (the dialog's screen test: a memo with
# a misspelling, a check over it, Change clicked with xdotool) and saves the
# screen dump (xwd -root) of the dialog beside the memo as a PNG.
# Usage: tools/spelldialog-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/pelliwox-spelldialog.png}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target spelldialog_demo british_lxm >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 tests/screen/spelldialog_screen.py build/tests/spell/spelldialog_demo build/app/British.lxm "$dir"
cp "$dir/screen-spelldialog-with-memo.png" "$out"
echo "$out"
