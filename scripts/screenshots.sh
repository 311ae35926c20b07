#!/usr/bin/env bash
# Draws every window and dialog of the program in Chinese and in English into docs/
# (<window>-<zh|en>.png), under a real X server (Xvfb, 1920x1080) when one can be
# started, else on Qt's offscreen platform. Uses the GUI tests' build in build/ (or
# $OB_BUILD_DIR). The host pane shows the demo folder of scripts/demo-folder.sh
# (~/Games).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
build=${OB_BUILD_DIR:-build}
mkdir -p "$out"
host=$(scripts/demo-folder.sh)
export OB_SCREENSHOT_DIR="$PWD/$out" OB_SCREENSHOT_HOST="$host"
run=("$build"/tests/gui_tests --gtest_filter='BothLanguages.*')
if command -v xvfb-run >/dev/null; then
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" "${run[@]}"
else
  QT_QPA_PLATFORM=offscreen "${run[@]}"
fi
ls "$out"/*.png
