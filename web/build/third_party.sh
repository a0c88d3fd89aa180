#!/usr/bin/env bash
# Builds the page's third-party libraries for WebAssembly from Debian's source packages of the very
# versions the desktop program links, once: zlib, libjpeg-turbo, and the picture decoders (libspng,
# libwebp, libde265, dav1d and libheif; codecs.sh). The results are cached outside the checkout
# under a key made of the versions, the compiler, the flags and the decoders' recipe, and later runs
# (and fresh clones) reuse them.
# Prints the cache folder (with include/, lib/ and lib/pkgconfig/) on its last line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh"
source "$here/../../tools/apt.sh"
source "$here/../../tools/debian_source.sh"

# The version installed for this machine's own architecture: a machine with a second one (arm64
# beside amd64) may hold a library in two versions.
native=$(dpkg --print-architecture)
installed_version() { dpkg-query -W -f='${Version}' "$1:$native"; }
zlib_version=$(installed_version zlib1g)
jpeg_version=$(installed_version libjpeg62-turbo)
# The decoders' libraries as the desktop links them: [source package]=installed binary package.
declare -A codec_packages=([libspng]=libspng0 [libwebp]=libwebp7 [libde265]=libde265-0 [dav1d]=libdav1d6
  [libheif]=libheif1)
codec_sources=(libspng libwebp libde265 dav1d libheif)
declare -A codec_version=()
for src in "${codec_sources[@]}"; do
  codec_version[$src]=$(installed_version "${codec_packages[$src]}")
done
# sed reads to the end: a reader that stops early makes emcc fail on the broken pipe.
emcc_version=$(emcc --version | sed -n 1p)
# Each operation rounded on its own, as in every build of the program (cmake/arithmetic.cmake).
cflags="-O3 -ffp-contract=off"
# SIMD off: libjpeg's C code decodes the same samples on every processor and in WebAssembly.
jpeg_options="-DWITH_SIMD=0 -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 -DWITH_JPEG8=0 -DWITH_JPEG7=0"
# The decoders: C as above; the C++ ones (libde265, libheif) with exceptions, as the engine's own
# code, so that an allocation failure inside them unwinds to the loader's error instead of aborting.
codec_cflags=$cflags
codec_cxxflags="$cflags -fexceptions"
key=$(printf '%s\n' "$zlib_version" "$jpeg_version" "$emcc_version" "$cflags" "$jpeg_options" \
      "${codec_sources[@]}" "${codec_version[@]}" "$codec_cxxflags" "$(cat "$here/codecs.sh")" "v2" |
      sha256sum | cut -c1-16)
out="$RFL_WEB_CACHE/$key"
if [ -f "$out/done" ]; then
  echo "$out"
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
rfl_add_source_entries

work=$(mktemp -d "${TMPDIR:-/tmp}/rufuremina-web-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src" "$work/stage"
# The sources of the versions installed, or the nearest of the same upstream release (the engine's
# byte test against the desktop program judges whether they decode alike).
zlib_source=$(cd "$work/src" && rfl_fetch_source zlib "$zlib_version")
jpeg_source=$(cd "$work/src" && rfl_fetch_source libjpeg-turbo "$jpeg_version")
declare -A codec_source=()
for src in "${codec_sources[@]}"; do
  codec_source[$src]=$(cd "$work/src" && rfl_fetch_source "$src" "${codec_version[$src]}")
done
source_dir() { find "$work/src" -maxdepth 1 -type d -name "$1-*" -print -quit; }
zlib_src=$(find "$work/src" -maxdepth 1 -type d -name 'zlib-*' -print -quit)
jpeg_src=$(find "$work/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' -print -quit)

# zlib: its own configure, the static library only.
(cd "$zlib_src" && CFLAGS="$cflags" emconfigure ./configure --static >&2 && emmake make -j2 libz.a >&2)
mkdir -p "$work/stage/lib" "$work/stage/include"
cp "$zlib_src/libz.a" "$work/stage/lib/"
cp "$zlib_src/zlib.h" "$zlib_src/zconf.h" "$work/stage/include/"

# libjpeg-turbo: CMake's cross-compiling emulator must be plain node, or its configure checks run
# through emscripten's wrapper and record a wrong size of size_t.
emcmake cmake -S "$jpeg_src" -B "$work/jpeg-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$cflags" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" -DCMAKE_INSTALL_PREFIX="$work/stage" $jpeg_options >&2
cmake --build "$work/jpeg-build" --target jpeg-static -j 2 >&2
cp "$work/jpeg-build/libjpeg.a" "$work/stage/lib/"
# jpegint.h: the decoder's table of inverse DCT routines, which the program's own transform takes over.
cp "$jpeg_src/jpeglib.h" "$jpeg_src/jerror.h" "$jpeg_src/jmorecfg.h" "$jpeg_src/jpegint.h" "$work/jpeg-build/jconfig.h" \
  "$work/stage/include/"

export stage="$work/stage"
source "$here/codecs.sh"
for src in "${codec_sources[@]}"; do
  "build_${src#lib}" "$(source_dir "$src")"
done

# The stage's pkg-config files, for the engine's configure: zlib gets one (libspng requires it);
# libspng's is named as Debian's (meson) build names it; every library here is static, so each
# file names what its library needs among its public requirements, where an ordinary query finds
# them (less the C++ library, which em++ links by itself); and each finds its prefix from where it
# lies, so that the stage can move into the cache.
cat > "$stage/lib/pkgconfig/zlib.pc" <<PC
prefix=$stage
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: zlib
Description: zlib compression library
Version: $(rfl_upstream_version "$zlib_version")
Libs: -L\${libdir} -lz
Cflags: -I\${includedir}
PC
mv "$stage/lib/pkgconfig/libspng.pc" "$stage/lib/pkgconfig/spng.pc"
for pc in "$stage"/lib/pkgconfig/*.pc; do
  perl -0pi -e '
    s/\Q$ENV{stage}\E/\$\{pcfiledir\}\/..\/../g;
    s/[ \t]*-lstdc\+\+//g;
    for my $field ("Requires", "Libs") {
      next unless s/^$field\.private:[ \t]*(.*)\n//m;
      my $private = $1;
      s/^($field:.*)$/$1 $private/m or $_ .= "$field: $private\n";
    }' "$pc"
done

{
  printf 'zlib %s (source %s)\nlibjpeg-turbo %s (source %s)\n' "$zlib_version" "$zlib_source" "$jpeg_version" \
    "$jpeg_source"
  for src in "${codec_sources[@]}"; do
    printf '%s %s (source %s)\n' "$src" "${codec_version[$src]}" "${codec_source[$src]}"
  done
  printf '%s\nflags %s %s; C++ decoders %s\n' "$emcc_version" "$cflags" "$jpeg_options" "$codec_cxxflags"
} > "$stage/versions"
"${sudo_cmd[@]}" mkdir -p "$RFL_WEB_CACHE"
"${sudo_cmd[@]}" rm -rf "$out.tmp"
"${sudo_cmd[@]}" cp -r "$work/stage" "$out.tmp"
"${sudo_cmd[@]}" touch "$out.tmp/done"
"${sudo_cmd[@]}" mv "$out.tmp" "$out"
echo "$out"
