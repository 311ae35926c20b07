#!/usr/bin/env bash
# Renders the main window on the demo card into build/main-window.png (or the file
# given), without a display: the manager runs on Qt's offscreen platform with the demo
# card image as drive 1 and the demo folder of
# scripts/demo-folder.sh (~/Games) in the host pane.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/main-window.png}
img=${OB_DEMO_IMAGE:-build/demo-card.img}
OB_DEMO_IMAGE="$img" scripts/demo.sh >/dev/null

host=$(scripts/demo-folder.sh)
QT_QPA_PLATFORM=offscreen build/orbelle-manager --drive 1="$img" --folder "$host" \
  --screenshot "$out" 2> >(grep -v -e 'propagateSizeHints' -e 'XDG_RUNTIME_DIR' >&2)
