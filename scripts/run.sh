#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: Orbelle Manager on a demo
# card image (made on first run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
# Only the programs: the tests and benchmarks need packages of their own sets.
scripts/build.sh -DOB_WITH_TESTS=OFF -DOB_WITH_BENCH=OFF
exec scripts/gui-demo.sh "$@"
