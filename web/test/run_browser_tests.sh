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
node --test --test-concurrency=1 test/page_*.test.mjs
