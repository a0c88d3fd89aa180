#!/usr/bin/env bash
# Runs the page's tests: its plain parts under node, then the single-file page
# (build/web/rufuremina.html, made by tools/web.sh) in Debian's headless Chromium, compared with the
# batch renderer of build/test or build/release. playwright-core comes from the lockfile; no
# browser is downloaded.
set -euo pipefail
cd "$(dirname "$0")/.."
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
# A fresh install only when the lockfile has changed since the last one.
if ! cmp -s package-lock.json node_modules/.rufuremina-lock 2>/dev/null; then
  npm ci --no-audit --no-fund --prefer-offline
  cp package-lock.json node_modules/.rufuremina-lock
fi
page=${RUFUREMINA_HTML:-../build/web/rufuremina.html}
if [ ! -f "$page" ] && [ ! -f build/page.sh ]; then
  # A checkout without the web build has no page to open: only the page's plain parts are tested.
  echo "run_browser_tests.sh: no web build in this checkout; the browser tests are skipped"
  exec node --test test/page_output_area.test.mjs
fi
node --test --test-concurrency=1 test/page_*.test.mjs
