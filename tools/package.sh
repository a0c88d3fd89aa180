#!/usr/bin/env bash
# Builds the Debian package into build/package/ (Release, with Debian's hardening flags) and prints
# its path. Install it with: apt install ./build/package/<file>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
dir=build/package
if [ ! -f "$dir/CMakeCache.txt" ]; then
  # CMake reads no CPPFLAGS: the preprocessor flags (fortified functions) go with the compiler's.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  eval "$(dpkg-buildflags --export=sh)"
  export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$dir"
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$PWD/$dir"/*.deb
