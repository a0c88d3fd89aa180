#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs the BMP reader's for a while.
#   bash tools/fuzz.sh [seconds]      (default 600)
# New inputs collect in build/fuzz/corpus; a crashing input is written to build/fuzz/ as crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
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
cmake --build build/fuzz --target bmp_read_fuzz -j1

# Seed the corpus with small pictures of every kind ImageMagick writes, so that the run starts
# inside the reader instead of at its signature check.
mkdir -p build/fuzz/corpus
if [ -z "$(ls -A build/fuzz/corpus)" ]; then
  seed=build/fuzz/corpus
  convert -size 7x5 gradient:red-blue "$seed/g.ppm"
  convert "$seed/g.ppm" -type truecolor BMP3:"$seed/t24.bmp"
  convert "$seed/g.ppm" -type truecolor BMP:"$seed/t24v5.bmp"
  convert "$seed/g.ppm" BMP2:"$seed/core.bmp"
  convert "$seed/g.ppm" -monochrome BMP3:"$seed/m1.bmp"
  convert "$seed/g.ppm" -type palette -compress none BMP3:"$seed/p4.bmp"
  convert "$seed/g.ppm" -type palette -compress rle BMP3:"$seed/r8.bmp"
  convert "$seed/g.ppm" -type truecolor -define bmp:subtype=RGB565 BMP:"$seed/t16.bmp"
  convert "$seed/g.ppm" -type truecolor -define bmp:subtype=RGB555 BMP:"$seed/t15.bmp"
  convert "$seed/g.ppm" -type truecolormatte BMP:"$seed/t32.bmp"
  rm "$seed/g.ppm"
fi
cd build/fuzz
# One job: the machine is shared. A picture may take up to 1 GiB of pixels, so the limits sit above
# that, and far below what the machine has.
exec ./fuzz/bmp_read_fuzz corpus -max_total_time="${1:-600}" -timeout=60 \
  -rss_limit_mb=3072 -malloc_limit_mb=1400 -max_len=4096 -print_final_stats=1
