#!/usr/bin/env bash
# Sets up the machine, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs every test; then builds the web page and runs its tests. No display is needed: window tests
# use Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
# libjpeg's C inverse DCT, compiled by this build from Debian's source, is the reference of the
# program's own transforms.
libjpeg_source=$(bash tools/libjpeg_source.sh | tail -n 1)
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRFL_SANITIZE=ON -DRFL_BUILD_TESTS=ON \
  -DRFL_LIBJPEG_SOURCE_DIR="$libjpeg_source"
cmake --build build/test
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build/test --output-on-failure -j 2
# The web page: its engine in WebAssembly, byte for byte against the native batch renderer.
bash web/test/engine_tests.sh
bash web/test/run_browser_tests.sh
