#!/usr/bin/env bash
# The layer check must pass a tree that keeps the order and name every include that breaks it.
set -euo pipefail
check="$(dirname "$0")/../../tools/check_layers.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{numeric,toolkit,render,picture/png,app}
printf '#include "toolkit/bitmap.h"\n#include <zlib.h>\n' > "$tree/picture/png/RFLZLIB.cpp"
printf '#include "picture/png/RFLPNG.h"\n#include "toolkit/bitmap.h"\n' > "$tree/picture/export.cpp"
printf '#include <QImage>\n#include "render/final.h"\n#include "picture/export.h"\n' > "$tree/app/window.cpp"
bash "$check" "$tree"

# One wrong arrow of each kind: upwards, to a sibling, downwards from png into picture, around the
# check by a relative path, a library outside its owner, up from the bottom layer.
printf '#include "render/final.h"\n' > "$tree/picture/export.h"
printf '#include "picture/bmp_file.h"\n#include "../picture/export.h"\n' > "$tree/render/final.cpp"
printf '#include "picture/bmp_file.h"\n' > "$tree/picture/png/RFLPNG.h"
printf '#include <QImage>\n#include <zlib.h>\n' > "$tree/toolkit/bitmap.cpp"
printf '#include "toolkit/errors.h"\n' > "$tree/numeric/extended.h"
if output=$(bash "$check" "$tree"); then
  echo "the check passed a tree with wrong includes"; exit 1
fi
for expected in 'picture/export.h:1: picture may not include render/final.h' \
                'render/final.cpp:1: render may not include picture/bmp_file.h' \
                'render/final.cpp:2: ../picture/export.h climbs out of its folder; name the header from the source root' \
                'picture/png/RFLPNG.h:1: picture/png may not include picture/bmp_file.h' \
                'toolkit/bitmap.cpp:1: only app may include <QImage>' \
                'toolkit/bitmap.cpp:2: only picture/png may include <zlib.h>' \
                'numeric/extended.h:1: numeric may not include toolkit/errors.h'; do
  grep -qxF "$expected" <<<"$output" || { echo "missing: $expected"; echo "$output"; exit 1; }
done
[ "$(wc -l <<<"$output")" -eq 7 ] || { echo "unexpected findings:"; echo "$output"; exit 1; }
