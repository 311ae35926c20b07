#!/usr/bin/env bash
# Configures and builds into build/ (or $OB_BUILD_DIR); extra arguments go to cmake.
# A new build folder gets Ninja unless OB_GENERATOR names another CMake generator
# (OB_GENERATOR="Unix Makefiles" is CMake's own default); a folder configured before
# keeps the generator it has.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${OB_BUILD_DIR:-build}
generator=()
[ -f "$dir/CMakeCache.txt" ] || generator=(-G "${OB_GENERATOR:-Ninja}")
cmake -S . -B "$dir" "${generator[@]}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
