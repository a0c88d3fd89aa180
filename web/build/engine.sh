#!/usr/bin/env bash
# Builds the page's engine: the core and its libraries (zlib, libjpeg-turbo and the picture decoders
# of third_party.sh) in WebAssembly with Debian's emscripten, as one module:
# build/web/rufuremina-engine.mjs and its .wasm beside web/rufuremina.mjs's copy.
# Usage: engine.sh [checkout]   (default: the checkout this script belongs to)
set -euo pipefail
root=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
source "$root/web/build/env.sh"
deps=$(bash "$root/web/build/third_party.sh" | tail -n 1)

build="$root/build/web-engine"
# pkg-config finds the readers' libraries only among the WebAssembly builds in the cache, never the
# machine's own (whose headers would be compiled into the engine); CMake's searches are rooted there.
export PKG_CONFIG_LIBDIR="$deps/lib/pkgconfig:$deps/share/pkgconfig" PKG_CONFIG_PATH=""
# C++ exceptions carry every error of the core, so they must be caught in WebAssembly too. Configured
# afresh each time: a cache from an earlier configure could hold the machine's own library paths or
# another set of the cache's libraries (the objects are rebuilt only where their commands change).
emcmake cmake --fresh -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DRFL_BUILD_APP=OFF -DRFL_BUILD_BATCH=OFF -DRFL_BUILD_TESTS=OFF -DRFL_BUILD_WEB=ON \
  -DCMAKE_CXX_FLAGS="-fexceptions" -DCMAKE_C_FLAGS="-fexceptions" -DCMAKE_EXE_LINKER_FLAGS="-fexceptions" \
  -DZLIB_INCLUDE_DIR="$deps/include" -DZLIB_LIBRARY="$deps/lib/libz.a" \
  -DJPEG_INCLUDE_DIR="$deps/include" -DJPEG_LIBRARY="$deps/lib/libjpeg.a" \
  -DCMAKE_FIND_ROOT_PATH="$deps" -DCMAKE_PREFIX_PATH="$deps" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" >/dev/null
nice -n 10 cmake --build "$build" --target rufuremina-engine -j 2

out="$root/build/web"
mkdir -p "$out"
cp "$build/web/rufuremina-engine.mjs" "$build/web/rufuremina-engine.wasm" "$out/"
cp "$root/web/rufuremina.mjs" "$root/web/rufuremina-engine.d.mts" "$out/"
