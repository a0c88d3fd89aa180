#!/usr/bin/env bash
# The same bytes on another processor: cross-builds the batch renderer and its unit tests for ARM64
# with Debian's cross compiler and Debian's arm64 libraries, runs the unit tests under
# qemu-user-static, and renders pictures of every kind the loaders read at seeded settings over
# every option's range with the arm64 build and with this machine's, file by file: no file may
# differ. `--i386` does the same for 32-bit x86 with Debian's i686 cross compiler and i386
# libraries, run natively.
#
# The libraries are Debian's packages of the versions this machine has, unpacked into a folder of
# their own (no foreign package is installed; the architecture is added to apt once, for their
# download), and both that folder and the build are kept outside the checkout, keyed, so that a
# later run only rebuilds what changed.
# Usage: check_ports.sh [--i386] [random settings]   (default 60)
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
arch=arm64
if [ "${1:-}" = --i386 ]; then
  arch=i386
  shift
fi
count=${1:-60}
cache=${RFL_PORTS_CACHE:-/var/cache/rufuremina-ports}
[ "$(id -u)" -eq 0 ] || cache=${RFL_PORTS_CACHE_USER:-$HOME/.cache/rufuremina-ports}
native_arch=$(dpkg --print-architecture)
[ "$native_arch" = amd64 ] || { echo "check_ports.sh compares with an amd64 build; this machine is $native_arch"; exit 2; }
start=$(date +%s)

source "$root/tools/apt.sh"

case $arch in
  arm64)
    triplet=aarch64-linux-gnu
    tools=(g++-aarch64-linux-gnu qemu-user-static)
    toolchain="$root/tools/toolchains/aarch64-linux-gnu.cmake" ;;
  i386)
    triplet=i386-linux-gnu
    tools=(g++-i686-linux-gnu)
    toolchain="$root/tools/toolchains/i686-linux-gnu.cmake" ;;
esac
# What the builds and the pictures need on this machine.
mapfile -t missing < <(rfl_missing_packages "${tools[@]}" cmake ninja-build pkg-config imagemagick webp \
                       libheif-examples libavif-bin help2man)
if ((${#missing[@]})); then
  rfl_apt_get install -y --no-install-recommends "${missing[@]}"
fi

# The foreign libraries: the same versions as this machine's where it has the package.
# The libraries the program links (with the readers' codecs, whose pkg-config files name theirs),
# and the tests' own.
packages=(libc6 libgcc-s1 libstdc++6 libjpeg62-turbo libjpeg62-turbo-dev zlib1g zlib1g-dev
          libspng0 libspng-dev libwebp7 libwebpdemux2 libwebp-dev libheif1 libheif-dev
          libde265-0 libde265-dev libx265-199 libx265-dev libnuma1 libaom3 libaom-dev libdav1d6 libdav1d-dev
          libpng16-16 libpng-dev libgtest-dev)
# ISA-L's inflate, where Debian builds it (not for 32-bit x86, whose build inflates with zlib).
if [ "$arch" = arm64 ]; then packages+=(libisal2 libisal-dev); fi
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
  echo "Adding the $arch architecture to apt and dpkg, for downloads" >&2
  rfl_as_root dpkg --add-architecture "$arch"
  rfl_apt_get update >&2
fi
# One look at apt's lists for all of them: "package | version | source" lines.
offered=$(apt-cache madison "${packages[@]/%/:$arch}" 2>/dev/null | tr -d ' ' | sed "s/:$arch|/|/")
installed=$(dpkg-query -W -f='${Package} ${Version}\n' "${packages[@]/%/:$native_arch}" 2>/dev/null || true)
pinned=()
for package in "${packages[@]}"; do
  version=$(awk -v p="$package" '$1 == p { print $2 }' <<<"$installed")
  if [ -z "$version" ] || ! grep -qxF -- "$package|$version" <<<"$(cut -d'|' -f1,2 <<<"$offered")"; then
    candidate=$(awk -F'|' -v p="$package" '$1 == p { print $2; exit }' <<<"$offered")
    [ -n "$candidate" ] || { echo "no $package for $arch in apt's lists" >&2; exit 1; }
    [ -n "$version" ] && echo "$package $version is not offered for $arch; taking $candidate" >&2
    version=$candidate
  fi
  pinned+=("$package:$arch=$version")
done
# Headers alike for every architecture.
for package in libcli11-dev; do
  pinned+=("$package=$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null ||
                       apt-cache policy "$package" | sed -n 's/^ *Candidate: //p')")
done
key=$(printf '%s\n' "${pinned[@]}" "v2" | sha256sum | cut -c1-16)
sysroot="$cache/$arch-root-$key"
if [ ! -f "$sysroot/done" ]; then
  echo "Unpacking Debian's $arch libraries into $sysroot" >&2
  work=$(mktemp -d "${TMPDIR:-/tmp}/rufuremina-ports.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && apt-get download "${pinned[@]}" >&2)
  rfl_as_root rm -rf "$sysroot.tmp"
  rfl_as_root mkdir -p "$sysroot.tmp"
  for deb in "$work"/*.deb; do rfl_as_root dpkg-deb -x "$deb" "$sysroot.tmp"; done
  rm -rf "$work"
  trap - EXIT
  # Links that name an absolute path point into the folder, not at this machine's files.
  while IFS= read -r link; do
    target=$(readlink "$link")
    [[ $target == /* ]] && rfl_as_root ln -sfn "$sysroot$target" "$link"
  done < <(find "$sysroot.tmp" -type l)
  rfl_as_root touch "$sysroot.tmp/done"
  rfl_as_root mv "$sysroot.tmp" "$sysroot"
fi

# The reference of the inverse DCT test: libjpeg's C code, compiled by the cross build.
libjpeg_source=$(bash "$root/tools/libjpeg_source.sh" | tail -n 1)
unpacked=$(date +%s)

# The foreign build, kept per checkout and per set of libraries, compiler and toolchain file; the
# native batch beside the checkout's other builds.
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER \(.*\))$/\1/p' "$toolchain")
# (The toolchain file's flags are read on the first configuration only: a changed file, a new build.)
build_key=$(printf '%s\n' "$root" "$key" "$("$compiler" --version | head -n 1)" "$(sha256sum < "$toolchain")" |
            sha256sum | cut -c1-16)
build="$cache/$arch-build-$build_key"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$root"
fi
rfl_as_root mkdir -p "$cache"
[ -w "$cache" ] || { echo "$cache is not writable" >&2; exit 1; }
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DRFL_CROSS_SYSROOT="$sysroot" -DRFL_BUILD_APP=OFF -DRFL_BUILD_TESTS=ON -DRFL_LIBJPEG_SOURCE_DIR="$libjpeg_source" \
  "${launcher[@]}" >/dev/null
nice -n 10 cmake --build "$build" -j 2
native="$root/build/ports-native"
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRFL_BUILD_APP=OFF -DRFL_BUILD_TESTS=OFF \
  "${launcher[@]}" >/dev/null
nice -n 10 cmake --build "$native" --target rufuremina-batch -j 2
built=$(date +%s)

# The unit tests, each program through the emulator where there is one. Two of them compare the
# banded and the plain rendering of one build over hundreds of large random scenes: emulated, they
# alone would take over ten minutes, and the comparison with the native batch below holds the same
# bytes across builds. Run natively (i386), every test runs.
excluded=()
[ "$arch" = arm64 ] && excluded=(-E '^(RenderFinal\.Bands|RenderReflection\.EqualsTheRenderingBuiltPixelByPixel)')
ctest --test-dir "$build" --output-on-failure -j 2 "${excluded[@]}"
tested=$(date +%s)

# Pictures of every kind the loaders read.
pictures=$(mktemp -d "${TMPDIR:-/tmp}/rufuremina-ports-pictures.XXXXXX")
trap 'rm -rf "$pictures"' EXIT
jpeg() { convert -seed "$1" -size "$2" plasma:fractal "${@:4}" "$pictures/$3"; }
jpeg 1 1024x768 photo-420.jpg -sampling-factor 2x2 -quality 85
jpeg 2 641x479 photo-422.jpg -sampling-factor 2x1 -quality 90
jpeg 3 333x517 photo-444.jpg -sampling-factor 1x1 -quality 97
jpeg 4 801x599 progressive.jpg -interlace JPEG -quality 80
jpeg 5 255x257 grey.jpg -colorspace Gray -quality 90
jpeg 6 300x201 cmyk.jpg -colorspace CMYK -quality 88
jpeg 7 1x1 tiny.jpg
# A photo taken with the camera turned: EXIF orientation 6 (turn a quarter clockwise to show).
jpeg 8 400x300 rotated-plain.jpg -sampling-factor 2x2
{
  head -c 2 "$pictures/rotated-plain.jpg"
  printf '\xff\xe1\x00\x22Exif\x00\x00II\x2a\x00\x08\x00\x00\x00\x01\x00\x12\x01\x03\x00\x01\x00\x00\x00\x06\x00\x00\x00\x00\x00\x00\x00'
  tail -c +3 "$pictures/rotated-plain.jpg"
} > "$pictures/rotated.jpg"
rm "$pictures/rotated-plain.jpg"
convert -seed 9 -size 301x217 plasma:fractal -type TrueColor "BMP3:$pictures/wide-24.bmp"
convert -seed 10 -size 97x333 plasma:fractal -alpha set -channel A -fx 'i/w' "BMP3:$pictures/alpha-32.bmp"
convert -size 1x1 xc:'#c08040' -type TrueColor "BMP3:$pictures/dot.bmp"
# The other formats: PNG with alpha and in grey, WebP lossy and lossless with alpha, HEIC, AVIF.
convert -seed 11 -size 211x157 plasma:fractal -alpha set -channel A -fx 'j/h' "PNG32:$pictures/alpha.png"
convert -seed 12 -size 129x65 plasma:fractal -colorspace Gray "PNG8:$pictures/palette.png"
convert -seed 13 -size 333x250 plasma:fractal "$pictures/source.png"
convert -seed 14 -size 160x90 plasma:fractal -alpha set -channel A -fx 'i/w' "PNG32:$pictures/cutout-source.png"
cwebp -quiet -q 80 "$pictures/source.png" -o "$pictures/lossy.webp"
cwebp -quiet -lossless -exact "$pictures/cutout-source.png" -o "$pictures/lossless.webp"
heif-enc -q 80 "$pictures/source.png" -o "$pictures/photo.heic" >/dev/null
avifenc -l "$pictures/cutout-source.png" "$pictures/cutout.avif" >/dev/null
rm "$pictures/source.png" "$pictures/cutout-source.png"

foreign="$build/batch/rufuremina-batch"
[ "$arch" = arm64 ] && foreign="$build/batch/rufuremina-batch-emulated"
[ -x "$build/batch/rufuremina-batch-emulated" ] && foreign="$build/batch/rufuremina-batch-emulated"
COMPARE_PICTURES="$pictures" COMPARE_LARGE=${COMPARE_LARGE:-3} \
  bash "$root/tools/compare_builds.sh" "$native/batch/rufuremina-batch" "$foreign" "$count"
done_at=$(date +%s)
echo "$arch: libraries and sources in $((unpacked - start)) s, built in $((built - unpacked)) s, unit tests in $((tested - built)) s, comparison in $((done_at - tested)) s"
