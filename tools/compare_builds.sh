#!/usr/bin/env bash
# Shows that two builds of the batch renderer write the same bytes: renders generated pictures with
# both, file by file, at the corners of the settings grid (picture sizes 1 and 10, tilts and camera
# heights -5 and 5, at the smallest and largest outputs) and at seeded random settings over every
# range, in every format. For a change that must keep every output byte, build the batch renderer
# before and after it (Release, for example from `git worktree add` of the older commit) and run:
#
#   tools/compare_builds.sh OLD/rufuremina-batch NEW/rufuremina-batch [random settings]  (default 60)
#
# COMPARE_SEED (default 19) seeds the random settings, for a fresh draw. COMPARE_PICTURES names a
# folder whose pictures are rendered instead of the generated ones; COMPARE_LARGE adds that many
# random settings with outputs of 1025 to 2048 pixels a side; COMPARE_JOBS (default: the cores)
# says how many settings run at once. Every differing file is listed, and the run fails if there is
# one.
set -euo pipefail
export LC_ALL=C
[ $# -ge 2 ] || { echo "usage: $0 OLD_BATCH NEW_BATCH [random settings]" >&2; exit 2; }
old=$1 new=$2 count=${3:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
if [ -n "${COMPARE_PICTURES:-}" ]; then
  cp -r "$COMPARE_PICTURES"/. "$work/in/"
else
convert -seed 1 -size 301x217 plasma:fractal -type TrueColor "BMP3:$work/in/wide.bmp"
convert -seed 2 -size 97x333 plasma:fractal -alpha set -channel A -fx 'i/w' "BMP3:$work/in/alpha.bmp"
convert -size 1x1 xc:'#c08040' -type TrueColor "BMP3:$work/in/dot.bmp"
convert -seed 3 -size 1024x768 plasma:fractal -quality 85 "$work/in/photo.jpg"
convert -seed 4 -size 255x255 plasma:fractal -colorspace Gray -quality 90 -interlace JPEG "$work/in/grey.jpg"
fi

settings=()
formats=(png bmp32 bmp24)
for size in 1 10; do
  for tilt in -5 5; do
    for height in -5 5; do
      for side in 32x32 512x512; do
        settings+=("--picture-size $size --tilt $tilt --camera-height $height --output-size $side --format png")
      done
    done
  done
done
RANDOM=${COMPARE_SEED:-19}
# One drawn setting, its output's sides from $1 up to $1 + $2 - 1.
draw_setting() {
  local s="--picture-size $((RANDOM % 10 + 1)) --camera-height $((RANDOM % 11 - 5)) --tilt $((RANDOM % 11 - 5))"
  s+=" --opacity $((RANDOM % 11)) --length $((RANDOM % 11)) --distance $((RANDOM % 11))"
  s+=" --output-size $((RANDOM % $2 + $1))x$((RANDOM % $2 + $1)) --format ${formats[RANDOM % 3]}"
  if ((RANDOM % 2)); then s+=" --uniform"; fi
  settings+=("$s")
}
for ((i = 0; i < count; ++i)); do draw_setting 32 481; done
for ((i = 0; i < ${COMPARE_LARGE:-0}; ++i)); do draw_setting 1025 1024; done

# The settings run a few at a time, as many as the machine has cores (COMPARE_JOBS): a batch run
# under an emulator keeps about one core busy however many pictures it renders at once. Each
# setting leaves its count of files and its list of differences; they are read in order below.
compare_one() {
  local i=$1 args
  read -r -a args <<<"${settings[$i]}"
  SOURCE_DATE_EPOCH=0 "$old" -q "${args[@]}" --output-dir "$work/old/$i" "$work/in"
  SOURCE_DATE_EPOCH=0 "$new" -q "${args[@]}" --output-dir "$work/new/$i" "$work/in"
  find "$work/old/$i" -type f | wc -l > "$work/count/$i"
  diff -rq "$work/old/$i" "$work/new/$i" > "$work/diff/$i" || true
  # The rendered files are done with; the folders of a large draw would otherwise add up.
  rm -rf "$work/old/$i" "$work/new/$i"
}
mkdir -p "$work/count" "$work/diff"
parallel=${COMPARE_JOBS:-$(nproc)}
running=0 failed=0
for i in "${!settings[@]}"; do
  if ((running >= parallel)); then
    wait -n || failed=1
    running=$((running - 1))
  fi
  compare_one "$i" &
  running=$((running + 1))
done
while ((running > 0)); do
  wait -n || failed=1
  running=$((running - 1))
done
((failed == 0)) || { echo "a batch run failed" >&2; exit 1; }

files=0 differing=0
for i in "${!settings[@]}"; do
  files=$((files + $(cat "$work/count/$i")))
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    echo "settings ${settings[$i]}: ${line//$work\//}"
    differing=$((differing + 1))
  done < "$work/diff/$i"
done
if ((differing > 0)); then
  echo "$differing of $files files from ${#settings[@]} settings differ"
  exit 1
fi
echo "$files files from ${#settings[@]} settings: identical"
