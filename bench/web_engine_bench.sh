#!/usr/bin/env bash
# Builds the web page and runs the engine's whole-job benchmark under node (web_engine_bench.mjs)
# and in headless Chromium (web_engine_chromium.mjs) on a 1024 x 768 photo made here.
# Usage: web_engine_bench.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash web/build/page.sh >/dev/null
photo=$(mktemp -d)
trap 'rm -rf "$photo"' EXIT
node --input-type=module -e "
import { writeFileSync } from 'node:fs';
import { bmp, photo } from './web/test/engine_pictures.mjs';
writeFileSync('$photo/photo.bmp', bmp(1024, 768, 24, photo(9)));"
cjpeg -quality 90 "$photo/photo.bmp" > "$photo/photo.jpg"
node bench/web_engine_bench.mjs build/web "$photo/photo.jpg" "${1:-15}"
node bench/web_engine_chromium.mjs build/web "$photo/photo.jpg" "${1:-15}"
