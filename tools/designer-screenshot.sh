#!/usr/bin/env bash
# Shows the style designer under Xvfb (the designer's screen test: opened from
# the composer's body on the quote style, a width typed into it, OK) and saves
# the screen dump of the designer window with its preview as a PNG.
# Usage: tools/designer-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/pelliwox-designer.png}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target pelliwox >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 tests/screen/designer_screen.py build/app/pelliwox data "$dir"
cp "$dir/screen-designer-narrowed.png" "$out"
echo "$out"
