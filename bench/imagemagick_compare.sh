#!/usr/bin/env bash
# The whole job a user runs, side by side with ImageMagick doing the same job, each as one process:
# a 1024 x 768 JPEG photo, then a 1024 x 768 PNG cut-out with alpha (a disc on a clear ground), loaded, stood on a floor line with its reflection below (flipped, alpha
# fading from 0.8 to nothing over 0.7 of its height), put in perspective on a 512 x 512 transparent
# output, and written as a PNG with alpha.
#
# Ours: bench/whole_job (the final rendering at 512 x 512 with every slider at its default, or at a
# given tilt and camera height, then the PNG export). ImageMagick's command, which places the photo
# and its reflection where ours does (at the defaults; at another setting the four corners are where
# bench/picture_corners says our scene puts them):
#
#   /usr/bin/convert photo.jpg -alpha set
#     ( +clone -flip ( -size 1024x538 gradient:gray80-black -size 1024x230 xc:black -append )
#       -alpha off -compose CopyOpacity -composite ) +compose -background none -append
#     -virtual-pixel transparent -define distort:viewport=512x512+0+0
#     -distort Perspective '0,0 208,184 1024,0 305,184 0,1536 208,330 1024,1536 305,330'
#     +repage magick.png
#
# For the cut-out, the reflection's fade multiplies the picture's own alpha (-compose DstIn instead
# of CopyOpacity), as ours does.
#
# ImageMagick is called by its full path: another `convert` may stand first on a PATH. The two
# alternate, run after run (the order swaps every run so neither always goes first); the script
# prints the median wall and processor times of each and their ratios (timed by the shell itself,
# so no wrapper process adds its own start to either), and the median peak memory of five more runs
# of each under /usr/bin/time -v (maximum resident set size). Wall times depend on what else the
# machine runs; processor times less so.
#
#   bash bench/imagemagick_compare.sh [RUNS [TILT HEIGHT]]     (default 21 runs, tilt 0, height 0)
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
runs=${1:-21}
tilt=${2:-0}
height=${3:-0}

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_TESTS=OFF -DRFL_BUILD_APP=OFF \
  -DRFL_BUILD_BENCH=ON >/dev/null
cmake --build build/bench --target whole_job picture_corners >/dev/null
corners='0,0 208,184 1024,0 305,184 0,1536 208,330 1024,1536 305,330'
if ((tilt != 0 || height != 0)); then
  corners=$(build/bench/bench/picture_corners 1024 768 512 3 "$tilt" "$height")
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/convert -size 1024x768 -seed 7 plasma:fractal -blur 0x1 -quality 90 "$work/photo.jpg"
/usr/bin/convert "$work/photo.jpg" '(' -size 1024x768 xc:black -fill white -draw 'circle 512,384 512,40' ')' \
  -alpha off -compose CopyOpacity -composite png32:"$work/cutout.png"

# Compares the two on one input; $2 is how ImageMagick puts the fade into the reflection's alpha.
compare() {
local input=$1 fade=$2
rm -f "$work"/*.times "$work"/*.cpu "$work"/*.mem
ours=(build/bench/bench/whole_job "$work/$input" "$work/ours.png" 512 "$tilt" "$height")
magick=(/usr/bin/convert "$work/$input" -alpha set
  '(' +clone -flip '(' -size 1024x538 gradient:gray80-black -size 1024x230 xc:black -append ')'
  -alpha off -compose "$fade" -composite ')' +compose -background none -append
  -virtual-pixel transparent -define distort:viewport=512x512+0+0
  -distort Perspective "$corners"
  +repage "$work/magick.png")
# Runs one job; appends its wall milliseconds (from the shell's microsecond clock, with no wrapper
# process around the job) to $1.times and its processor (user + system) milliseconds to $1.cpu.
run() {
  local name=$1
  shift
  local TIMEFORMAT='%3U %3S' start end
  start=$EPOCHREALTIME
  { time "$@" >/dev/null; } 2>"$work/clock.txt"
  end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", (b - a) * 1000 }' >>"$work/$name.times"
  awk '{ printf "%.1f\n", ($1 + $2) * 1000 }' "$work/clock.txt" >>"$work/$name.cpu"
}

# Runs one job under /usr/bin/time -v and appends its peak KiB to $1.mem.
peak() {
  local name=$1
  shift
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null
  awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt" >>"$work/$name.mem"
}

median() { sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One untimed run of each, so that both start with the files and libraries in the page cache.
"${ours[@]}"
"${magick[@]}"
for ((i = 0; i < runs; ++i)); do
  if ((i % 2 == 0)); then
    run ours "${ours[@]}"
    run magick "${magick[@]}"
  else
    run magick "${magick[@]}"
    run ours "${ours[@]}"
  fi
done
for ((i = 0; i < 5; ++i)); do
  peak ours "${ours[@]}"
  peak magick "${magick[@]}"
done

ours_ms=$(median "$work/ours.times")
magick_ms=$(median "$work/magick.times")
ours_cpu=$(median "$work/ours.cpu")
magick_cpu=$(median "$work/magick.cpu")
printf 'input:                     %s\n' "$input"
printf 'setting:                   tilt %d, camera height %d\n' "$tilt" "$height"
printf 'runs each:                 %d (alternating)\n' "$runs"
printf 'ours, median:              %8.2f ms wall %8.1f ms processor   peak memory %6.1f MiB\n' "$ours_ms" \
  "$ours_cpu" "$(awk '{ print $1 / 1024 }' <<<"$(median "$work/ours.mem")")"
printf 'ImageMagick, median:       %8.2f ms wall %8.1f ms processor   peak memory %6.1f MiB\n' "$magick_ms" \
  "$magick_cpu" "$(awk '{ print $1 / 1024 }' <<<"$(median "$work/magick.mem")")"
printf 'ImageMagick / ours:        %8.1f x wall %8.1f x processor\n' \
  "$(awk -v a="$magick_ms" -v b="$ours_ms" 'BEGIN { print a / b }')" \
  "$(awk -v a="$magick_cpu" -v b="$ours_cpu" 'BEGIN { print a / b }')"
}

compare photo.jpg CopyOpacity
echo
compare cutout.png DstIn
