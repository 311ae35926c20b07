#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: a demo card image
# (made on first run) shown by obtool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
exec scripts/demo.sh "$@"
