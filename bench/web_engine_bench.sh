#!/usr/bin/env bash
# Builds the web page and runs the engine's whole-job benchmark under node (web_engine_bench.mjs)
# and in headless Chromium (web_engine_chromium.mjs) on a 1024 x 768 photo made here; then loads
# the same photo as PNG (with alpha), WebP (lossy and lossless), HEIC and AVIF in the page's engine
# and in the native program (a Release load_time), side by side.
# Usage: web_engine_bench.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash web/build/page.sh >/dev/null
native=build/web-bench-native
cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_APP=OFF -DRFL_BUILD_BATCH=OFF \
  -DRFL_BUILD_TESTS=OFF -DRFL_BUILD_BENCH=ON >/dev/null
nice -n 5 cmake --build "$native" --target load_time >/dev/null
photo=$(mktemp -d)
trap 'rm -rf "$photo"' EXIT
node --input-type=module -e "
import { writeFileSync } from 'node:fs';
import { bmp, photo } from './web/test/engine_pictures.mjs';
import { netpbm, pattern } from './web/test/engine_formats.mjs';
writeFileSync('$photo/photo.bmp', bmp(1024, 768, 24, photo(9)));
writeFileSync('$photo/photo.pam', netpbm(1024, 768, 4, 255, pattern(9, 8)));"
cjpeg -quality 90 "$photo/photo.bmp" > "$photo/photo.jpg"
pamtopng "$photo/photo.pam" > "$photo/photo.png"
cwebp -quiet -q 85 "$photo/photo.png" -o "$photo/photo.webp"
cwebp -quiet -lossless "$photo/photo.png" -o "$photo/lossless.webp"
heif-enc -q 80 -o "$photo/photo.heic" "$photo/photo.png" >/dev/null
avifenc -s 8 -j 1 -d 8 "$photo/photo.png" "$photo/photo.avif" >/dev/null
pictures=("$photo/photo.jpg" "$photo/photo.png" "$photo/photo.webp" "$photo/lossless.webp" "$photo/photo.heic"
  "$photo/photo.avif")
runs=${1:-15}
"$native/bench/load_time" "$runs" "${pictures[@]}" | sed "s|$photo/|native: load |"
node bench/web_engine_bench.mjs build/web "$photo/photo.jpg" "$runs" "${pictures[@]}"
node bench/web_engine_chromium.mjs build/web "$photo/photo.jpg" "$runs" "${pictures[@]}"
