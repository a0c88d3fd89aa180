#!/usr/bin/env bash
# Fetches Debian's source of the libjpeg-turbo the program links (the installed version, of the
# native architecture), once, and keeps it outside the checkout; prints its folder on the last
# line. The tests compile libjpeg's C inverse DCT from it as their reference
# (-DRFL_LIBJPEG_SOURCE_DIR=...). Where that exact source cannot be downloaded, the nearest source
# of the same upstream version that apt offers is taken, and the script says which.
set -euo pipefail
source "$(dirname "$0")/apt.sh"
source "$(dirname "$0")/debian_source.sh"
cache=${RFL_PORTS_CACHE:-/var/cache/rufuremina-ports}
[ "$(id -u)" -eq 0 ] || cache=${RFL_PORTS_CACHE_USER:-$HOME/.cache/rufuremina-ports}
arch=$(dpkg --print-architecture)
version=$(dpkg-query -W -f='${Version}' "libjpeg62-turbo:$arch")
out="$cache/libjpeg-turbo_${version#*:}"
if [ -f "$out/jidctflt.c" ]; then
  echo "$out"
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
rfl_add_source_entries

work=$(mktemp -d "${TMPDIR:-/tmp}/rufuremina-libjpeg.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && rfl_fetch_source libjpeg-turbo "$version" > /dev/null)
src=$(find "$work" -maxdepth 1 -type d -name 'libjpeg-turbo-*' -print -quit)
"${sudo_cmd[@]}" mkdir -p "$cache"
"${sudo_cmd[@]}" rm -rf "$out.tmp"
"${sudo_cmd[@]}" cp -r "$src" "$out.tmp"
"${sudo_cmd[@]}" mv "$out.tmp" "$out"
echo "$out"
