#!/usr/bin/env bash
# Renders the main window on the demo card into build/main-window.png (or the file
# given), without a display: the manager runs on Qt's offscreen platform with the demo
# card image as drive 1 and a small demo folder in the host pane.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/main-window.png}
img=${OB_DEMO_IMAGE:-build/demo-card.img}
OB_DEMO_IMAGE="$img" scripts/demo.sh >/dev/null

host=build/demo-host
if [ ! -d "$host" ]; then
  mkdir -p "$host/saves"
  head -c 3000000 /dev/zero | tr '\0' '\003' >"$host/another-game.nds"
  head -c 524288 /dev/zero | tr '\0' '\004' >"$host/another-game.sav"
  printf 'Files to copy onto the card\n' >"$host/notes.txt"
fi
QT_QPA_PLATFORM=offscreen build/orbelle-manager --drive 1="$img" --folder "$host" \
  --screenshot "$out" 2> >(grep -v -e 'propagateSizeHints' -e 'XDG_RUNTIME_DIR' >&2)
