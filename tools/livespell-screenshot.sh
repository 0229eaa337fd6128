#!/usr/bin/env bash
# Shows live spelling under Xvfb (the live-spelling screen test: misspelt
# words typed with real keys into the composer's body get their red wavy
# underline) and saves the screen dump of the composer as a PNG.
# Usage: tools/livespell-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/pelliwox-livespell.png}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target pelliwox british_lxm >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 tests/screen/livespell_screen.py build/app/pelliwox data "$dir"
cp "$dir/screen-livespell.png" "$out"
echo "$out"
