#!/usr/bin/env bash
# The main job: makes a demo card image on first run and shows it.
set -euo pipefail
cd "$(dirname "$0")/.."
img=${OB_DEMO_IMAGE:-build/demo-card.img}
if [ ! -f "$img" ]; then
  build/obtool mkimage "$img" 256M
fi
build/obtool drives --image "$img"
build/obtool info --image "$img"
