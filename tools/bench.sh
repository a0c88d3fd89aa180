#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them all (pass a Google Benchmark filter to narrow).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_TESTS=OFF -DRFL_BUILD_APP=OFF -DRFL_BUILD_BENCH=ON
cmake --build build/bench
for b in build/bench/bench/*_bench; do
  [ -x "$b" ] && [ -f "$b" ] || continue
  "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true ${1:+--benchmark_filter="$1"}
done
