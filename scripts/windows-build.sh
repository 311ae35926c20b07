#!/usr/bin/env bash
# Cross-builds obtool.exe and the core tests for 64-bit Windows into build-win/ (or
# $OB_WIN_BUILD_DIR) with mingw-w64, GoogleTest built from Debian's sources first.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${OB_WIN_BUILD_DIR:-build-win}
gtest=$PWD/build-win-gtest/prefix
scripts/windows-gtest.sh "$gtest"
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DOB_WITH_GUI=OFF -DOB_WITH_BENCH=OFF -DGTest_DIR="$gtest/lib/cmake/GTest" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
