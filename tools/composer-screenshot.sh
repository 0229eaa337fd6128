#!/usr/bin/env bash
# Runs the composer's screen test under Xvfb and openbox (the address book
# editor's title line, Load Draft's pick, the Find and Replace question) and
# saves the screen dump taken while the pick was open over the composer, as
# a PNG.
# Usage: tools/composer-screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/screenshot-common.sh
screen_shot "${1:-/tmp/pelliwox-composer.png}" screen-composer-pick-screen.png pelliwox composer_screen.py build/app/pelliwox data --wm openbox
