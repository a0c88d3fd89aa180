#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them for a while, on one job.
#   bash tools/fuzz.sh [bmp|jpeg] [seconds]      (default: bmp, 600 seconds)
#   bash tools/fuzz.sh [seconds]                 (the BMP reader)
# New inputs collect in build/fuzz/corpus (BMP) or build/fuzz/corpus-jpeg; an input that finds a
# fault is written to build/fuzz/ as crash-*, timeout-* or oom-* (with the target's name in front
# for the JPEG load).
set -euo pipefail
cd "$(dirname "$0")/.."
target=bmp
if [ $# -gt 0 ] && [[ ! "$1" =~ ^[0-9]+$ ]]; then
  target=$1
  shift
fi
seconds=${1:-600}
case "$target" in
  bmp | jpeg) ;;
  *) echo "unknown fuzz target '$target' (bmp or jpeg)" >&2; exit 2 ;;
esac
bash tools/setup.sh
packages=(clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRFL_FUZZ=ON -DRFL_BUILD_APP=OFF -DRFL_BUILD_TESTS=OFF
# ImageMagick by its full path: another convert can stand first on a PATH.
convert=/usr/bin/convert

if [ "$target" = bmp ]; then
  cmake --build build/fuzz --target bmp_read_fuzz -j1
  # Seed the corpus with small pictures of every kind ImageMagick writes, so that the run starts
  # inside the reader instead of at its signature check.
  mkdir -p build/fuzz/corpus
  if [ -z "$(ls -A build/fuzz/corpus)" ]; then
    seed=build/fuzz/corpus
    $convert -size 7x5 gradient:red-blue "$seed/g.ppm"
    $convert "$seed/g.ppm" -type truecolor BMP3:"$seed/t24.bmp"
    $convert "$seed/g.ppm" -type truecolor BMP:"$seed/t24v5.bmp"
    $convert "$seed/g.ppm" BMP2:"$seed/core.bmp"
    $convert "$seed/g.ppm" -monochrome BMP3:"$seed/m1.bmp"
    $convert "$seed/g.ppm" -type palette -compress none BMP3:"$seed/p4.bmp"
    $convert "$seed/g.ppm" -type palette -compress rle BMP3:"$seed/r8.bmp"
    $convert "$seed/g.ppm" -type truecolor -define bmp:subtype=RGB565 BMP:"$seed/t16.bmp"
    $convert "$seed/g.ppm" -type truecolor -define bmp:subtype=RGB555 BMP:"$seed/t15.bmp"
    $convert "$seed/g.ppm" -type truecolormatte BMP:"$seed/t32.bmp"
    rm "$seed/g.ppm"
  fi
  cd build/fuzz
  # A picture may take up to 1 GiB of pixels, so the limits sit above that, and far below what the
  # machine has.
  exec ./fuzz/bmp_read_fuzz corpus -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=3072 -malloc_limit_mb=1400 -max_len=4096 -print_final_stats=1
fi

cmake --build build/fuzz --target jpeg_load_fuzz -j1
# Seed with small files of every coding the decoder takes: baseline and progressive, every chroma
# subsampling, grey, CMYK, arithmetic coding, restart intervals, a single pixel.
mkdir -p build/fuzz/corpus-jpeg
if [ -z "$(ls -A build/fuzz/corpus-jpeg)" ]; then
  seed=build/fuzz/corpus-jpeg
  $convert -size 37x29 gradient:orange-navy -swirl 90 "$seed/g.ppm"
  $convert "$seed/g.ppm" -quality 85 -sampling-factor 2x2 "$seed/base420.jpg"
  $convert "$seed/g.ppm" -quality 95 -sampling-factor 2x1 -interlace JPEG "$seed/prog422.jpg"
  $convert "$seed/g.ppm" -quality 75 -sampling-factor 1x1 "$seed/base444.jpg"
  $convert "$seed/g.ppm" -colorspace Gray -quality 90 "$seed/grey.jpg"
  $convert "$seed/g.ppm" -colorspace Gray -interlace JPEG "$seed/greyprog.jpg"
  $convert "$seed/g.ppm" -colorspace CMYK "$seed/cmyk.jpg"
  $convert "$seed/g.ppm" -define jpeg:arithmetic-coding=true "$seed/arith.jpg"
  $convert "$seed/g.ppm" -define jpeg:restart-interval=1 "$seed/restart.jpg"
  $convert -size 1x1 xc:teal "$seed/one.jpg"
  rm "$seed/g.ppm"
fi
cd build/fuzz
# Pictures above four million pixels are not decoded (see the target), so the slowest input that
# is still bounded, a progressive file of that size whose every byte starts another scan, takes
# seconds, far below the per-input limit; only an input that runs away trips it.
exec ./fuzz/jpeg_load_fuzz corpus-jpeg -artifact_prefix=jpeg- -max_total_time="$seconds" -timeout=60 \
  -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1
