#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite (GUI tests offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
scripts/build.sh -DOB_WITH_TESTS=ON -DOB_WITH_BENCH=OFF
export QT_QPA_PLATFORM=offscreen
cd build
ctest --output-on-failure -j"$(nproc)"
