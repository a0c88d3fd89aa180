#!/usr/bin/env bash
# The layer check must pass a tree that keeps the order and name every include that breaks it.
set -euo pipefail
check="$(dirname "$0")/../../tools/check_layers.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{numeric,toolkit,render,picture/png,app,web/engine}
printf '#include "toolkit/bitmap.h"\n#include <zlib.h>\n' > "$tree/picture/png/RFLZLIB.cpp"
printf '#include "picture/png/RFLPNG.h"\n#include "toolkit/bitmap.h"\n' > "$tree/picture/export.cpp"
printf '#include <QImage>\n#include "render/final.h"\n#include "picture/export.h"\n' > "$tree/app/window.cpp"
# The web engine may take the window's texts, and only them, and is the one user of emscripten.
printf '#include <emscripten/emscripten.h>\n#include "app/messages.h"\n#include "render/final.h"\n' \
  > "$tree/web/engine/bindings.cpp"
bash "$check" "$tree"

# One wrong arrow of each kind: upwards, to a sibling, downwards from png into picture, around the
# check by a relative path, a library outside its owner, up from the bottom layer.
printf '#include "render/final.h"\n' > "$tree/picture/export.h"
printf '#include "picture/bmp_file.h"\n#include "../picture/export.h"\n' > "$tree/render/final.cpp"
printf '#include "picture/bmp_file.h"\n' > "$tree/picture/png/RFLPNG.h"
printf '#include <QImage>\n#include <zlib.h>\n' > "$tree/toolkit/bitmap.cpp"
printf '#include "toolkit/errors.h"\n' > "$tree/numeric/extended.h"
printf '#include "app/messages.h"\n#include "app/Unit1.h"\n' > "$tree/web/engine/engine.cpp"
printf '#include <emscripten/emscripten.h>\n' > "$tree/toolkit/worker_pool.cpp"
if output=$(bash "$check" "$tree"); then
  echo "the check passed a tree with wrong includes"; exit 1
fi
for expected in 'picture/export.h:1: picture may not include render/final.h' \
                'render/final.cpp:1: render may not include picture/bmp_file.h' \
                'render/final.cpp:2: ../picture/export.h climbs out of its folder; name the header from the source root' \
                'picture/png/RFLPNG.h:1: picture/png may not include picture/bmp_file.h' \
                'toolkit/bitmap.cpp:1: only app may include <QImage>' \
                'toolkit/bitmap.cpp:2: only picture/png may include <zlib.h>' \
                'numeric/extended.h:1: numeric may not include toolkit/errors.h' \
                'web/engine/engine.cpp:2: web may not include app/Unit1.h' \
                'toolkit/worker_pool.cpp:1: only web may include <emscripten/emscripten.h>'; do
  grep -qxF "$expected" <<<"$output" || { echo "missing: $expected"; echo "$output"; exit 1; }
done
[ "$(wc -l <<<"$output")" -eq 9 ] || { echo "unexpected findings:"; echo "$output"; exit 1; }
