#!/usr/bin/env bash
# Shows the controls' demo window on a virtual X display and saves what it
# draws as a PNG, to look at the controls as the program will show them.
#   tools/ui-screenshot.sh [OUTPUT.png, default build-ui/ui-demo.png] [BUILD dir, default build-ui]
# Needs xvfb-run (Debian packages xvfb and xauth).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${2:-build-ui}
out=${1:-$build/ui-demo.png}
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (apt-get install xvfb xauth)" >&2; exit 1; }
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target ui_demo >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/ui/ui_demo" --grab "$out"
