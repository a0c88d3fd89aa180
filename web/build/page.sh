#!/usr/bin/env bash
# Builds build/web/rufuremina.html: the engine (engine.sh), the module's type check and its
# declarations (rufuremina.d.mts), then the single file (assemble.mjs).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bash "$root/web/build/engine.sh" "$root"
tsc -p "$root/web/build/tsconfig.json"
node "$root/web/build/assemble.mjs" "$root" "$root/build/web"
# So that the served folder's own address opens the page.
ln -sf rufuremina.html "$root/build/web/index.html"
