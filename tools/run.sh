#!/usr/bin/env bash
# Sets up the machine, builds the program (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_TESTS=OFF
cmake --build build/release --target rufuremina
exec build/release/app/rufuremina "$@"
