#!/usr/bin/env bash
# Builds the card-image fuzzer with clang (ASan + UBSan) and runs it.
#   scripts/fuzz.sh [SECONDS]      default 60; e.g. scripts/fuzz.sh 3600 for an hour
# Inputs that crash land in build-fuzz/artifacts/; keep each one as a regression case
# by copying it into tests/fuzz/regressions/ (the test suite replays that folder).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/deps.sh fuzz
CC=clang-14 CXX=clang++-14 OB_BUILD_DIR=build-fuzz scripts/build.sh \
  -DOB_WITH_FUZZ=ON -DOB_WITH_GUI=OFF -DOB_WITH_BENCH=OFF -DOB_WITH_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
mkdir -p build-fuzz/seeds build-fuzz/corpus build-fuzz/artifacts
# Artifacts of earlier runs stay for inspection; only this run's count.
before=$(ls build-fuzz/artifacts | wc -l)
build-fuzz/tests/fuzz/make_fuzz_seeds build-fuzz/seeds
cp tests/fuzz/regressions/* build-fuzz/corpus/ 2>/dev/null || true
build-fuzz/tests/fuzz/card_image_fuzz -max_total_time="$seconds" -max_len=65536 -timeout=20 \
  -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 \
  build-fuzz/corpus build-fuzz/seeds 2>&1 | grep -vE '^#[0-9]+.*(NEW|REDUCE|pulse)' || true
found=$(( $(ls build-fuzz/artifacts | wc -l) - before ))
echo "fuzzing: ${seconds}s, crashes found: $found"
[ "$found" -eq 0 ]
