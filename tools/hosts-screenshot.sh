#!/usr/bin/env bash
# Shows the hosts window under Xvfb and a window manager at 1600x1000 and at
# 1280x800 (its screen test: an account typed into the grid, saved on Close,
# and the window opened again) and saves the screen dumps of the window with
# the saved account as PNGs.
# Usage: tools/hosts-screenshot.sh [OUT_PREFIX]   (writes OUT_PREFIX-1600x1000.png and OUT_PREFIX-1280x800.png)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/screenshot-common.sh
prefix=${1:-/tmp/pelliwox-hosts}
for size in 1600x1000 1280x800; do
  (screen_shot "$prefix-$size.png" screen-hosts-saved-window.png "program" hosts_screen.py build/app/pelliwox data \
     --wm openbox --size "$size")
done
