#!/usr/bin/env bash
# Makes the pictures of the editor's windows in docs/screenshots: the main
# window with a score (also in a dark colour scheme), the message window
# after a failed compilation (also docked under the editor), the file
# browser and the settings dialog. Runs without a display (Qt's
# offscreen platform); Japanese text needs a Japanese font such as
# fonts-ipafont-gothic (scripts/install-deps.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target qt_screenshots_test -j2
mkdir -p docs/screenshots
# A 1600 x 1000 screen, so that every window keeps the size it is given
# (the platform's own screen is 800 x 800, and windows are kept on screen).
screen=$(mktemp --suffix=.json)
trap 'rm -f "$screen"' EXIT
echo '{"screens": [{"name": "shots", "x": 0, "y": 0, "width": 1600, "height": 1000}]}' >"$screen"
QT_QPA_PLATFORM="offscreen:configfile=$screen" QUERN_SCREENSHOTS="$PWD/docs/screenshots" \
  "$build/tests/qt_screenshots_test"
ls -l docs/screenshots
