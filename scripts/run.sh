#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: Orbelle Manager on a demo
# card image (made on first run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
scripts/build.sh
exec scripts/gui-demo.sh "$@"
