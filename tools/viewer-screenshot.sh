#!/usr/bin/env bash
# Shows a rendered message in the viewer under Xvfb (the screen test's viewer
# step: headers from a scripted mailbox, the first message opened in the
# viewer) and saves the screen dump of the viewer window as a PNG.
# Usage: tools/viewer-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/screenshot-common.sh
screen_shot "${1:-/tmp/pelliwox-viewer.png}" screen-viewer-page.png "pelliwox" screen_test.py --only viewer build/app/pelliwox data
# The viewer after Ctrl+Enter (the message fetched again) and after the
# composer's Preview, at two screen sizes; pictures beside OUT.png as
# OUT-ctrlenter-WxH.png, OUT-preview-WxH.png and OUT-after-preview-WxH.png (a
# received message shown after the preview).
out=${1:-/tmp/pelliwox-viewer.png}
for size in 1600x1000 1280x800; do
  dir=$(mktemp -d)
  /usr/bin/python3 tests/screen/viewer_screen.py build/app/pelliwox data "$dir" --size "$size" \
    --only fetch_again --only preview_then_received || true
  for shot in ctrlenter preview after-preview; do
    if [ -f "$dir/screen-viewer-$shot.png" ]; then
      cp "$dir/screen-viewer-$shot.png" "${out%.png}-$shot-$size.png"
      echo "${out%.png}-$shot-$size.png"
    fi
  done
  rm -rf "$dir"
done
