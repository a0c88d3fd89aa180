#!/usr/bin/env bash
# Shows that the software x87 type gives every byte the native one does: builds the core and the
# batch renderer twice in Release, natively and with RFL_SOFT_EXTENDED=ON (build/x87-native,
# build/x87-soft), compares the two builds' digest of scene set-ups, resamplings and PNG row scores,
# and renders generated pictures at the settings grid's corners and seeded random settings in every
# format with both, file by file (tools/compare_builds.sh).
# Usage: soft_extended_check.sh [number of settings]   (default 100)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-100}
for variant in native soft; do
  flag=OFF
  [ "$variant" = soft ] && flag=ON
  cmake -S . -B "build/x87-$variant" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_APP=OFF \
    -DRFL_BUILD_TESTS=ON -DRFL_SOFT_EXTENDED=$flag >/dev/null
  nice -n 10 cmake --build "build/x87-$variant" -j 2 --target rufuremina-batch extended_digest
done

native_digest=$(build/x87-native/tests/extended_digest)
soft_digest=$(build/x87-soft/tests/extended_digest)
echo "native: $native_digest"
echo "soft:   $soft_digest"
[ "$native_digest" = "$soft_digest" ] || { echo "the digests differ"; exit 1; }

# The files: the same pictures and settings the comparison of two builds renders.
bash tools/compare_builds.sh build/x87-native/batch/rufuremina-batch build/x87-soft/batch/rufuremina-batch "$count"
