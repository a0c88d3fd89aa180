#!/usr/bin/env bash
# Starts the program the way the README says, on a virtual X display, and saves a screenshot of the
# whole screen as a PNG: bash tools/screenshot.sh [out.png] [seconds to wait before the shot]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshot.png}")
wait_seconds=${2:-6}
mkdir -p "$(dirname "$out")"
bash tools/setup.sh
# Build first, so that the wait below covers only the start of the program.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target rufuremina
export SHOT_OUT="$out" SHOT_WAIT="$wait_seconds"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  bash tools/run.sh >/dev/null 2>&1 &
  pid=$!
  sleep "$SHOT_WAIT"
  import -window root "$SHOT_OUT"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
'
echo "$out"
