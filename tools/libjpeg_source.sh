#!/usr/bin/env bash
# Fetches Debian's source of the libjpeg-turbo the program links (the installed version, of the
# native architecture), once, and keeps it outside the checkout; prints its folder on the last
# line. The tests compile libjpeg's C inverse DCT from it as their reference
# (-DRFL_LIBJPEG_SOURCE_DIR=...). Where that exact source cannot be downloaded, the source of the
# same upstream version that apt offers is taken, and the script says which.
set -euo pipefail
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
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx 'Sources'; then
  list=/etc/apt/sources.list.d/rufuremina-deb-src.sources
  if [ ! -f "$list" ]; then
    echo "Adding Debian's source entries ($list)" >&2
    "${sudo_cmd[@]}" sh -c "sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > '$list'"
  fi
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update >&2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/rufuremina-libjpeg.XXXXXX")
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && apt-get source --only-source "libjpeg-turbo=$version" >&2); then
  upstream=${version#*:}
  upstream=${upstream%-*}
  other=$(apt-cache showsrc libjpeg-turbo 2>/dev/null | sed -n 's/^Version: //p' |
          grep -F -- "$upstream-" | head -n 1 || true)
  [ -n "$other" ] || { echo "no source of libjpeg-turbo $upstream can be downloaded" >&2; exit 1; }
  echo "libjpeg-turbo $version's source cannot be downloaded; taking $other's (the same upstream version)" >&2
  (cd "$work" && apt-get source --only-source "libjpeg-turbo=$other" >&2)
fi
src=$(find "$work" -maxdepth 1 -type d -name 'libjpeg-turbo-*' -print -quit)
"${sudo_cmd[@]}" mkdir -p "$cache"
"${sudo_cmd[@]}" rm -rf "$out.tmp"
"${sudo_cmd[@]}" cp -r "$src" "$out.tmp"
"${sudo_cmd[@]}" mv "$out.tmp" "$out"
echo "$out"
