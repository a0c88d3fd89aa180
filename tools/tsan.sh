#!/usr/bin/env bash
# Builds the core and its tests with ThreadSanitizer and runs the tests that use the worker pool:
# the pool itself, the banded final rendering and the comparisons with the plain path, and the JPEG
# decoding shared between two threads.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRFL_BUILD_APP=OFF -DRFL_BUILD_TESTS=ON \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
cmake --build build/tsan --target core_tests
TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1} build/tsan/tests/core_tests \
  --gtest_filter='WorkerPool*:CastFiveFoldShrunk*:RenderFinal*:JPEGImage.DecodingOnSeveralThreads*'
