#!/usr/bin/env bash
# The main job in the window: makes the demo card image on first run (scripts/demo.sh
# makes and fills it) and starts the manager with it attached as drive 1. Extra
# arguments go to the manager (e.g. --folder DIR). Needs a display.
set -euo pipefail
cd "$(dirname "$0")/.."
img=${OB_DEMO_IMAGE:-build/demo-card.img}
OB_DEMO_IMAGE="$img" scripts/demo.sh >/dev/null
exec build/orbelle-manager --drive 1="$img" "$@"
