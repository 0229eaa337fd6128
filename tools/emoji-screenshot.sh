#!/usr/bin/env bash
# Opens the viewer's emoji window under Xvfb (the emoji screen test: a line
# typed into the composer, previewed in the viewer, the Emoji button clicked)
# and saves the screen dump of the viewer with the emoji window open as a PNG;
# the test goes on to pick a smiley into the page.
# Usage: tools/emoji-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/pelliwox-emoji.png}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target pelliwox emoji_page >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 tests/screen/emoji_screen.py build/app/pelliwox data "$dir"
cp "$dir/screen-emoji-open.png" "$out"
echo "$out"
