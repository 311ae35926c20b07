#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its own figures and ratios.
#   scripts/bench.sh [NAME...]     e.g. scripts/bench.sh transfer_bench, scripts/bench.sh card-model
# A name may be written with - for _ (card-model runs bench/card_model.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh bench
scripts/build.sh -DOB_WITH_BENCH=ON -DOB_WITH_TESTS=OFF
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in bench/*.cpp; do names+=("$(basename "$f" .cpp)"); done
fi
for n in "${names[@]}"; do
  echo "== $n"
  "build/bench/${n//-/_}"
done
