#!/usr/bin/env bash
# Shows the style designer under Xvfb (the designer's screen test: opened from
# the composer's body on the quote style, a width typed into it, OK) and saves
# the screen dump of the designer window with its preview as a PNG.
# Usage: tools/designer-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/screenshot-common.sh
screen_shot "${1:-/tmp/pelliwox-designer.png}" screen-designer-narrowed.png "pelliwox" designer_screen.py build/app/pelliwox data
