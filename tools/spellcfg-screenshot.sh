#!/usr/bin/env bash
# Shows the spelling configuration dialog under Xvfb (its screen test: the
# option list painted, the first option ticked with a real click, OK) and
# saves the screen dump of the dialog with the ticked option as a PNG.
# Usage: tools/spellcfg-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/pelliwox-spellcfg.png}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target spellcfg_demo >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 tests/screen/spellcfg_screen.py build/tests/spell/spellcfg_demo data "$dir"
cp "$dir/screen-spellcfg-ticked.png" "$out"
echo "$out"
