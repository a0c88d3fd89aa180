#!/usr/bin/env bash
# Fails when a source file includes against the layer order: a header of a layer above its own or
# of a sibling it must not know, Qt outside the window, or a library outside the layer that owns it.
# Usage: check_layers.sh [source root]   (default: the checkout this script belongs to)
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

# The layers each layer may include, besides its own and the standard library (or single headers
# of a layer, named by their path).
declare -A allowed=(
  [numeric]=""
  [toolkit]="numeric"
  [scene]="toolkit numeric"
  [resample]="toolkit numeric"
  [render]="scene resample toolkit numeric"
  [picture/png]="toolkit numeric"
  [picture]="picture/png toolkit numeric"
  [batch]="render scene resample picture picture/png toolkit numeric"
  [app]="render scene resample picture picture/png toolkit numeric"
  # The web page's engine speaks with the window's texts, and knows nothing else of the window.
  [web]="render scene resample picture picture/png toolkit numeric app/messages.h"
)
# System headers that only one layer may include (a pattern over the name inside the <>).
declare -A owner=(
  ['Q[A-Za-z]*|Qt[A-Za-z]*/.*']="app"
  ['zlib\.h|isa-l/.*']="picture/png"
  ['spng\.h|webp/.*|libheif/.*|dav1d/.*|libde265/.*']="picture"
  ['jpeglib\.h|jerror\.h|jpegint\.h']="toolkit"
  ['CLI/.*']="batch"
  ['emscripten/.*']="web"
)

# The layer of a path: its folder, picture/png before picture.
layer_of() {
  case $1 in
    picture/png/*) echo picture/png ;;
    */*) echo "${1%%/*}" ;;
    *) echo "" ;;
  esac
}

status=0
for layer in "${!allowed[@]}"; do
  [ -d "$layer" ] || continue
  while IFS= read -r file; do
    [ "$(layer_of "$file")" = "$layer" ] || continue  # picture/ holds picture/png's own files too
    while IFS=: read -r line text; do
      if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
        header=${BASH_REMATCH[1]}
        if [[ $header == *..* ]]; then
          echo "$file:$line: $header climbs out of its folder; name the header from the source root"
          status=1
          continue
        fi
        target=$(layer_of "$header")
        if [ -z "$target" ] || [ "$target" = "$layer" ]; then continue; fi
        if [[ " ${allowed[$layer]} " != *" $target "* && " ${allowed[$layer]} " != *" $header "* ]]; then
          echo "$file:$line: $layer may not include $header"
          status=1
        fi
      elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
        header=${BASH_REMATCH[1]}
        for pattern in "${!owner[@]}"; do
          if [[ $header =~ ^($pattern)$ ]] && [ "${owner[$pattern]}" != "$layer" ]; then
            echo "$file:$line: only ${owner[$pattern]} may include <$header>"
            status=1
          fi
        done
      fi
    done < <(grep -n '#[[:space:]]*include' "$file" || true)
  done < <(find "$layer" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
done
exit $status
