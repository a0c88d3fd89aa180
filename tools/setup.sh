#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing the program needs, when it is
# missing, and any packages named on the command line besides. Safe to run again: it does nothing
# when everything is there, also on a machine with a second architecture (arm64 or i386 beside the
# native one), and it waits while another apt holds the package locks.
set -euo pipefail
source "$(dirname "$0")/apt.sh"

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-translations-l10n libgl-dev zlib1g-dev libjpeg62-turbo-dev libjpeg-turbo-progs
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev
  libpng-dev pngcheck imagemagick
  libspng-dev libwebp-dev libheif-dev libde265-dev libdav1d-dev libisal-dev
  webp libheif-examples libavif-bin netpbm
  fonts-noto-cjk xvfb xauth openbox
  dpkg-dev librsvg2-bin help2man desktop-file-utils appstream lintian man-db groff-base
  xdotool x11-utils
  emscripten binaryen nodejs node-typescript chromium python3 meson
  "$@"
)

mapfile -t missing < <(rfl_missing_packages "${packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  rfl_apt_get update
  rfl_apt_get install -y --no-install-recommends "${missing[@]}"
fi

# npm for the page's test tools. Debian's npm package is needed only where node came without it
# (a node from another archive carries its own npm and conflicts with Debian's).
if ! command -v npm >/dev/null; then
  rfl_apt_get install -y --no-install-recommends nodejs npm
fi
