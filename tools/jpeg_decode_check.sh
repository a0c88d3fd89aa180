#!/usr/bin/env bash
# Shows that the program decodes JPEG files to the pixels of libjpeg-turbo's C code, the pixels every
# build gives (the WebAssembly page has no vector code): photo-like files in every chroma sampling,
# at several qualities, baseline and progressive, at large, odd and tiny sizes, made by ImageMagick,
# decoded by the program (bench/decode_to_ppm) and by libjpeg-turbo's djpeg told to use its C code
# throughout (JSIMD_FORCENONE=1, -dct float), and compared byte for byte. It also counts the files
# that djpeg's own vector code decodes differently, to show the files tell the two apart.
#
#   tools/jpeg_decode_check.sh
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
bash tools/setup.sh  # ImageMagick and libjpeg-turbo's djpeg among the rest
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_TESTS=OFF -DRFL_BUILD_APP=OFF \
  -DRFL_BUILD_BENCH=ON >/dev/null
cmake --build build/bench --target decode_to_ppm >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

n=0 args=()
for sampling in 4:2:0 4:2:2 4:4:4 4:4:0 4:1:1 2x2,1x1,1x1 1x2,1x1,1x1; do
  for quality in 10 50 90 100; do
    for interlace in None JPEG; do
      for size in 1024x768 333x211 17x9; do
        n=$((n + 1))
        f=$work/$n.jpg
        /usr/bin/convert -seed "$n" -size "$size" plasma:fractal -blur 0x0.5 -sampling-factor "$sampling" \
          -quality "$quality" -interlace "$interlace" "$f"
        args+=("$f" "$f.ours.ppm")
      done
    done
  done
done
build/bench/bench/decode_to_ppm "${args[@]}"

differing=0 vector=0
for ((i = 1; i <= n; ++i)); do
  f=$work/$i.jpg
  JSIMD_FORCENONE=1 djpeg -dct float -ppm -outfile "$f.c.ppm" "$f"
  env -u JSIMD_FORCENONE djpeg -dct float -ppm -outfile "$f.vector.ppm" "$f"
  cmp -s "$f.c.ppm" "$f.ours.ppm" || { differing=$((differing + 1)); echo "differs: $(identify -format '%wx%h %[jpeg:sampling-factor] q%Q %[interlace]' "$f")"; }
  cmp -s "$f.c.ppm" "$f.vector.ppm" || vector=$((vector + 1))
done
echo "$n files: $differing decoded differently from libjpeg-turbo's C code" \
  "($vector of them decode differently with djpeg's vector code)"
((differing == 0))
