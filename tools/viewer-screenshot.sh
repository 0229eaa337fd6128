#!/usr/bin/env bash
# Shows a rendered message in the viewer under Xvfb (the screen test's viewer
# step: headers from a scripted mailbox, the first message opened in the
# viewer) and saves the screen dump of the viewer window as a PNG.
# Usage: tools/viewer-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/screenshot-common.sh
screen_shot "${1:-/tmp/pelliwox-viewer.png}" screen-viewer-page.png "pelliwox" screen_test.py --only viewer build/app/pelliwox data
