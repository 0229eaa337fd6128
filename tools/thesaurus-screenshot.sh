#!/usr/bin/env bash
# Shows the thesaurus dialog under Xvfb (the thesaurus's screen test: a word
# typed and selected in the composer's body, Ctrl+T, a synonym chosen,
# Replace) and saves the screen dump taken while the dialog was open, with
# the composer and its selected word behind it, as a PNG.
# Usage: tools/thesaurus-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/pelliwox-thesaurus.png}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target pelliwox syntaro_lxt >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 tests/screen/thesaurus_screen.py build/app/pelliwox data "$dir"
cp "$dir/screen-thesaurus-screen.png" "$out"
echo "$out"
