#!/usr/bin/env bash
# Builds the web page (the core in WebAssembly and the page, as one self-contained file, and the
# served site beside it: the same page with its manifest, service worker and icons), prints both
# paths, and serves the site on http://127.0.0.1:8000/ until stopped (Ctrl+C); the address is this
# machine's own only. The single file works just as well opened straight from disk. With
# --no-serve, only builds and prints the paths.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash web/build/page.sh
echo "$PWD/build/web/rufuremina.html"
echo "$PWD/build/web/site/"
[ "${1:-}" = "--no-serve" ] && exit 0
echo "Serving the site on http://127.0.0.1:8000/ (Ctrl+C stops)"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory build/web/site
