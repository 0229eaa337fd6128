#!/usr/bin/env bash
# Shows the spelling dialog under Xvfb (the dialog's screen test: a memo with
# a misspelling, a check over it, Change clicked with xdotool) and saves the
# screen dump (xwd -root) of the dialog beside the memo as a PNG.
# Usage: tools/spelldialog-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/screenshot-common.sh
screen_shot "${1:-/tmp/pelliwox-spelldialog.png}" screen-spelldialog-with-memo.png "spelldialog_demo british_lxm" spelldialog_screen.py build/tests/spell/spelldialog_demo build/app/British.lxm
