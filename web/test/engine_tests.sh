#!/usr/bin/env bash
# The engine's tests: builds the page (the WebAssembly engine and the single file) and a native
# Release rufuremina-batch to compare with, then runs web/test/engine_*.test.mjs under node.
# RFL_WEB_SETTINGS sets how many random settings the byte comparison runs (default 330).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bash "$root/web/build/page.sh"

# The batch in Release: the comparison renders a few hundred final renderings on each side.
native="$root/build/web-native"
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_APP=OFF -DRFL_BUILD_TESTS=OFF \
  >/dev/null
nice -n 10 cmake --build "$native" --target rufuremina-batch -j 2

export RFL_BATCH="$native/batch/rufuremina-batch"
cd "$root/web/test"
node --test engine_*.test.mjs
