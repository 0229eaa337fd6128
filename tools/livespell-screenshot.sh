#!/usr/bin/env bash
# Shows live spelling under Xvfb (the live-spelling screen test: misspelt
# words typed with real keys into the composer's body get their red wavy
# underline) and saves the screen dump of the composer as a PNG.
# Usage: tools/livespell-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/screenshot-common.sh
screen_shot "${1:-/tmp/pelliwox-livespell.png}" screen-livespell.png "pelliwox british_lxm" livespell_screen.py build/app/pelliwox data
