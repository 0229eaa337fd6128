#!/usr/bin/env bash
# Shows a rendered message in the viewer under Xvfb (the screen test's viewer
# step: headers from a scripted mailbox, the first message opened in the
# viewer) and saves the screen dump of the viewer window as a PNG.
# Usage: tools/viewer-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/pelliwox-viewer.png}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target pelliwox >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 tests/screen/screen_test.py --only viewer build/app/pelliwox data "$dir"
cp "$dir/screen-viewer-page.png" "$out"
echo "$out"
