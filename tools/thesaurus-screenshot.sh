#!/usr/bin/env bash
# Shows the thesaurus dialog under Xvfb (the thesaurus's screen test: a word
# typed and selected in the composer's body, Ctrl+T, a synonym chosen,
# Replace) and saves the screen dump taken while the dialog was open, with
# the composer and its selected word behind it, as a PNG.
# Usage: tools/thesaurus-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/screenshot-common.sh
screen_shot "${1:-/tmp/pelliwox-thesaurus.png}" screen-thesaurus-screen.png "pelliwox syntaro_lxt" thesaurus_screen.py build/app/pelliwox data
