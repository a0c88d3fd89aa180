#!/usr/bin/env bash
# Builds the web page (the core in WebAssembly and the page, as one self-contained file), prints
# the file's path, and serves it on http://127.0.0.1:8000/ until stopped (Ctrl+C). The file works
# just as well opened straight from disk. With --no-serve, only builds and prints the path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash web/build/page.sh
echo "$PWD/build/web/rufuremina.html"
[ "${1:-}" = "--no-serve" ] && exit 0
echo "Serving on http://127.0.0.1:8000/ (Ctrl+C stops)"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory build/web
