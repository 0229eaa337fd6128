#!/usr/bin/env bash
# Shows the spelling configuration dialog under Xvfb (its screen test: the
# option list painted, the first option ticked with a real click, OK) and
# saves the screen dump of the dialog with the ticked option as a PNG.
# Usage: tools/spellcfg-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/screenshot-common.sh
screen_shot "${1:-/tmp/pelliwox-spellcfg.png}" screen-spellcfg-ticked.png "spellcfg_demo" spellcfg_screen.py build/tests/spell/spellcfg_demo data
