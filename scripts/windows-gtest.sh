#!/usr/bin/env bash
# Builds GoogleTest for Windows from the sources of Debian's googletest package with
# the project's mingw-w64 toolchain, into $1 (default build-win-gtest/prefix). Quick
# when it is there already.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:-$PWD/build-win-gtest/prefix}
if [ -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then exit 0; fi
work=$(dirname "$prefix")/build
cmake -S /usr/src/googletest -B "$work" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON >/dev/null
cmake --build "$work" -j"$(nproc)" >/dev/null
cmake --install "$work" >/dev/null
