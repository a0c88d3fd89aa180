#!/usr/bin/env bash
# Runs a program on a virtual X display under the openbox window manager, once the manager has
# started: under_window_manager.sh program [arguments]. Exits 77 (skipped) when xvfb-run or openbox
# is missing.
set -euo pipefail
if ! command -v xvfb-run >/dev/null || ! command -v openbox >/dev/null; then
  echo "xvfb-run or openbox is missing: skipped"
  exit 77
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  ready=$(mktemp -u)
  openbox --sm-disable --startup "touch $ready" >/dev/null 2>&1 &
  manager=$!
  for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.1; done
  rm -f "$ready"
  status=0
  QT_QPA_PLATFORM=xcb "$@" || status=$?
  kill "$manager" 2>/dev/null || true
  exit "$status"
' under_window_manager "$@"
