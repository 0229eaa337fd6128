#!/usr/bin/env bash
# Opens the viewer's emoji window under Xvfb (the emoji screen test: a line
# typed into the composer, previewed in the viewer, the Emoji button clicked)
# and saves the screen dump of the viewer with the emoji window open as a PNG;
# the test goes on to pick a smiley into the page.
# Usage: tools/emoji-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/screenshot-common.sh
screen_shot "${1:-/tmp/pelliwox-emoji.png}" screen-emoji-open.png "pelliwox emoji_page" emoji_screen.py build/app/pelliwox data
