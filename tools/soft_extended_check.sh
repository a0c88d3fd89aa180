#!/usr/bin/env bash
# Shows that the software x87 type gives every byte the native one does: builds the core and the
# batch renderer twice in Release, natively and with RFL_SOFT_EXTENDED=ON (build/x87-native,
# build/x87-soft), compares the two builds' digest of scene set-ups, resamplings and PNG row scores,
# and renders generated pictures at seeded random settings in every format with both, file by file.
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

work=build/x87-compare
rm -rf "$work"
mkdir -p "$work/in"
convert -seed 1 -size 301x217 plasma:fractal -type TrueColor "BMP3:$work/in/wide.bmp"
convert -seed 2 -size 97x333 plasma:fractal -alpha set -channel A -fx 'i/w' "BMP3:$work/in/alpha.bmp"
convert -size 1x1 xc:'#c08040' -type TrueColor "BMP3:$work/in/dot.bmp"
convert -seed 3 -size 1024x768 plasma:fractal -quality 85 "$work/in/photo.jpg"
convert -seed 4 -size 255x255 plasma:fractal -colorspace Gray -quality 90 -interlace JPEG "$work/in/grey.jpg"

formats=(png bmp32 bmp24)
RANDOM=18
files=0
for ((i = 0; i < count; ++i)); do
  args=(--picture-size $((RANDOM % 10 + 1)) --camera-height $((RANDOM % 11 - 5)) --tilt $((RANDOM % 11 - 5))
        --opacity $((RANDOM % 11)) --length $((RANDOM % 11)) --distance $((RANDOM % 11))
        --output-size $((RANDOM % 481 + 32))x$((RANDOM % 481 + 32)) --format "${formats[RANDOM % 3]}")
  if ((RANDOM % 2)); then args+=(--uniform); fi
  for variant in native soft; do
    SOURCE_DATE_EPOCH=0 "build/x87-$variant/batch/rufuremina-batch" -q "${args[@]}" \
      --output-dir "$work/$variant/$i" "$work/in"
  done
  if ! diff -r "$work/native/$i" "$work/soft/$i" >/dev/null; then
    echo "settings ${args[*]}: the files differ"
    exit 1
  fi
  files=$((files + $(find "$work/native/$i" -type f | wc -l)))
done
echo "$files files from $count settings: identical"
