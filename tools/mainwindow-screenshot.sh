#!/usr/bin/env bash
# Shows the main window with a few thousand synthetic rows under Xvfb and
# saves what the screen shows as a PNG. Usage: tools/mainwindow-screenshot.sh [OUT.png] [ROWS]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/pelliwox-mainwindow.png}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target mainwindow_shot >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" ./build/tests/mailbox/mainwindow_shot "$out" "${2:-3000}"
