#!/usr/bin/env bash
# Builds build/web/rufuremina.html: the engine (engine.sh), the module's type check and its
# declarations (rufuremina.d.mts), the single file (assemble.mjs), then the served site in
# build/web/site/ (site.mjs).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bash "$root/web/build/engine.sh" "$root"
tsc -p "$root/web/build/tsconfig.json"
node "$root/web/build/assemble.mjs" "$root" "$root/build/web"
# So that the served folder's own address opens the page.
ln -sf rufuremina.html "$root/build/web/index.html"
# The served site: the same page with a manifest, a service worker and icons (site.mjs).
node "$root/web/build/site.mjs" "$root" "$root/build/web"
