#!/usr/bin/env bash
# Sets up the machine, builds both programs (Release): the window, which it starts, and the batch
# renderer (build/release/batch/rufuremina-batch).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_TESTS=OFF
cmake --build build/release --target rufuremina rufuremina-batch
exec build/release/app/rufuremina "$@"
