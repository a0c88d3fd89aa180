#!/usr/bin/env bash
# A folder of photos turned into reflections, side by side in one run: rufuremina-batch on both cores
# against the ImageMagick reflection pipeline over the same files with xargs -P 2. Prints the wall
# times (median of the runs, the two alternating), the ratio and the peak memory of each.
#
# The ImageMagick pipeline, one process per photo, is bench/imagemagick_compare.sh's:
#   /usr/bin/convert IN -alpha set
#     ( +clone -flip ( -size 1024x538 gradient:gray80-black -size 1024x230 xc:black -append )
#       -alpha off -compose CopyOpacity -composite ) +compose -background none -append
#     -virtual-pixel transparent -define distort:viewport=512x512+0+0
#     -distort Perspective CORNERS +repage OUT.png
# that is: flip the photo, give the copy an alpha fading from 0.8 to nothing over 0.7 of its height,
# hang it below the photo, and map both into a 512 x 512 PNG with alpha, where rufuremina-batch puts
# them with the same --picture-size, --tilt and --camera-height. At the start value 3, straight and at
# middle height, the corners are that script's (0,0 208,184 1024,0 305,184 0,1536 208,330 1024,1536
# 305,330); other sizes scale them about the middle of the output; at another tilt or camera height
# they are where bench/picture_corners says our scene puts them.
#
# Usage: bench/batch_vs_imagemagick.sh [photos] [runs] [picture size] [tilt] [camera height]
#        (defaults: 64 photos, 3 runs each, the window's start values 3, 0 and 0)
# Wall times depend on what else the machine runs; the processor times beside them do less so.
set -euo pipefail
cd "$(dirname "$0")/.."
photos=${1:-64}
runs=${2:-3}
size=${3:-3}
tilt=${4:-0}
height=${5:-0}
convert=/usr/bin/convert  # by full path: another convert may stand first on PATH
build=build/bench
work=$build/batch_vs_imagemagick

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_TESTS=OFF -DRFL_BUILD_APP=OFF \
  -DRFL_BUILD_BENCH=ON -DRFL_BUILD_BATCH=ON >/dev/null
cmake --build "$build" --target rufuremina-batch picture_corners >/dev/null
batch=$build/batch/rufuremina-batch

# Photo-like pictures (soft colour clouds with detail, as JPEG quality 90), made once.
mkdir -p "$work/photos"
for i in $(seq -w 1 "$photos"); do
  f=$work/photos/IMG_00$i.jpg
  [ -f "$f" ] || "$convert" -size 1024x768 -seed "$i" plasma:fractal -blur 0x1 -quality 90 "$f"
done

# Where the picture and its reflection go: 32 x size pixels wide, 3/4 of that high, centred, standing
# on the middle row, the reflection as high again below it.
left=$((256 - 16 * size)) right=$((256 + 16 * size + 1)) top=$((256 - 24 * size)) bottom=$((256 + 24 * size + 2))
corners="0,0 $left,$top  1024,0 $right,$top  0,1536 $left,$bottom  1024,1536 $right,$bottom"
if ((tilt != 0 || height != 0)); then
  corners=$("$build/bench/picture_corners" 1024 768 512 "$size" "$tilt" "$height")
fi
imagemagick_one() {
  "$convert" "$1" -alpha set \( +clone -flip \( -size 1024x538 gradient:gray80-black -size 1024x230 xc:black \
    -append \) -alpha off -compose CopyOpacity -composite \) +compose -background none -append \
    -virtual-pixel transparent -define distort:viewport=512x512+0+0 -distort Perspective "$corners" \
    +repage "$2/$(basename "$1" .jpg).png"
}
export -f imagemagick_one
export convert corners

# Runs a command under /usr/bin/time -v; prints "wall-seconds processor-seconds peak-KiB".
measure() {
  local log
  log=$(mktemp)
  /usr/bin/time -v "$@" 2>"$log" >/dev/null
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + t[i] }
              /User time|System time/ { c += $2 }
              /Maximum resident set size/ { m = $2 }
              END { printf "%.3f %.3f %d\n", s, c, m }' "$log"
  rm -f "$log"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

ours=() theirs=() ours_cpu=() theirs_cpu=() ours_mem=0 theirs_mem=0
for run in $(seq 1 "$runs"); do
  rm -rf "$work/out-batch" "$work/out-im"
  mkdir -p "$work/out-im"
  read -r s c m < <(measure "$batch" --jobs 2 --quiet --picture-size "$size" --tilt "$tilt" --camera-height "$height" \
    --output-size 512x512 \
    --output-dir "$work/out-batch" "$work/photos")
  ours+=("$s"); ours_cpu+=("$c"); (( m > ours_mem )) && ours_mem=$m
  read -r s c m < <(measure bash -c "ls '$work'/photos/*.jpg | xargs -P 2 -I{} bash -c 'imagemagick_one {} $work/out-im'")
  theirs+=("$s"); theirs_cpu+=("$c"); (( m > theirs_mem )) && theirs_mem=$m
  echo "run $run: rufuremina-batch ${ours[-1]} s (processor ${ours_cpu[-1]} s), ImageMagick ${theirs[-1]} s (processor ${theirs_cpu[-1]} s)"
done

med() { printf '%s\n' "$@" | median; }
ours_s=$(med "${ours[@]}") theirs_s=$(med "${theirs[@]}")
ours_c=$(med "${ours_cpu[@]}") theirs_c=$(med "${theirs_cpu[@]}")
echo
echo "$photos photos of 1024 x 768 to 512 x 512 PNG (--picture-size $size --tilt $tilt --camera-height $height)," \
  "both on 2 cores, median of $runs runs:"
printf '  %-26s %7.2f s wall %6.1f photos/s  %7.2f s processor  peak %5.1f MiB\n' "rufuremina-batch --jobs 2" \
  "$ours_s" "$(echo "$photos / $ours_s" | bc -l)" "$ours_c" "$(echo "$ours_mem / 1024" | bc -l)"
printf '  %-26s %7.2f s wall %6.1f photos/s  %7.2f s processor  peak %5.1f MiB (largest process)\n' \
  "ImageMagick, xargs -P 2" "$theirs_s" "$(echo "$photos / $theirs_s" | bc -l)" "$theirs_c" \
  "$(echo "$theirs_mem / 1024" | bc -l)"
printf '  throughput ratio: %.1fx (wall), %.1fx (processor time)\n' "$(echo "$theirs_s / $ours_s" | bc -l)" \
  "$(echo "$theirs_c / $ours_c" | bc -l)"
