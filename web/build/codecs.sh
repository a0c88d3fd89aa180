# Sourced by third_party.sh: builds the picture decoders (libspng, libwebp, libde265, dav1d, libheif)
# for WebAssembly from their unpacked Debian sources into "$stage" (include/, lib/, lib/pkgconfig/).
# Every library is built from its C code: no SIMD, no assembly, so the page decodes with the code
# the desktop's vector paths are measured against. The page's engine runs on one thread, so the
# libraries are built without threads and asked for none.
# Expects: $work (scratch folder), $stage (install prefix), $codec_cflags, $codec_cxxflags.

# The CMake options every library's configure shares: a static Release library installed into the
# stage, found there by the libraries built after it, with plain node running configure checks.
codec_cmake() {
  local src=$1 build=$2
  shift 2
  # pkg-config sees the stage alone: nothing of the machine's own libraries (libheif's GNOME parts
  # look for gdk-pixbuf) enters a WebAssembly build.
  PKG_CONFIG_LIBDIR="$stage/lib/pkgconfig" PKG_CONFIG_PATH="" emcmake cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="$codec_cflags" -DCMAKE_CXX_FLAGS_RELEASE="$codec_cxxflags" \
    -DCMAKE_INSTALL_PREFIX="$stage" -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include \
    -DCMAKE_FIND_ROOT_PATH="$stage" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" "$@" >&2
  PKG_CONFIG_LIBDIR="$stage/lib/pkgconfig" PKG_CONFIG_PATH="" nice -n 10 cmake --build "$build" -j 2 >&2
  cmake --install "$build" >&2
}

# Rewrites a source file by a perl substitution over the whole file, and fails loudly when it
# changes nothing (a source that no longer reads as expected).
edit_source() {
  local file=$1 perl_expression=$2
  cp "$file" "$file.orig"
  perl -0pi -e "$perl_expression" "$file"
  if cmp -s "$file" "$file.orig"; then echo "$file: the text to change was not found" >&2; exit 1; fi
}

# libspng: the architecture-specific filters off (SPNG_DISABLE_OPT); zlib from the stage. Its
# static-only configure names the shared target, so both are built: emscripten makes "shared"
# libraries static, and libspng.a is what the pkg-config file's -lspng finds.
build_spng() {
  codec_cmake "$1" "$work/spng-build" -DENABLE_OPT=OFF -DSPNG_SHARED=ON -DSPNG_STATIC=ON \
    -DBUILD_EXAMPLES=OFF -DZLIB_INCLUDE_DIR="$stage/include" -DZLIB_LIBRARY="$stage/lib/libz.a"
}

# libwebp: the decoder and the demuxer (an animation's first frame); no SIMD, no threads, no tools.
build_webp() {
  local tools=(ANIM_UTILS CWEBP DWEBP GIF2WEBP IMG2WEBP VWEBP WEBPINFO LIBWEBPMUX WEBPMUX EXTRAS)
  codec_cmake "$1" "$work/webp-build" -DWEBP_ENABLE_SIMD=OFF -DWEBP_USE_THREAD=OFF \
    $(printf -- '-DWEBP_BUILD_%s=OFF ' "${tools[@]}")
}

# libde265: the decoding library alone, without its SSE code.
build_de265() {
  codec_cmake "$1" "$work/de265-build" -DDISABLE_SSE=ON -DENABLE_SDL=OFF -DENABLE_DECODER=OFF \
    -DENABLE_ENCODER=OFF
}

# dav1d: meson, cross-compiled by a cross file naming emscripten's tools; no assembly, no tools, no
# log messages (which would reach the page's console).
# Two edits to the unpacked source: meson's threads dependency would compile with -pthread (a
# shared-memory module), and dav1d would size its thread pool from the browser's processor count
# (libheif asks for its default of one thread per processor), so it counts one processor.
build_dav1d() {
  local src=$1
  edit_source "$src/meson.build" "s/thread_dependency = dependency\('threads'\)/thread_dependency = declare_dependency()/"
  printf '#include <unistd.h>\n#undef _SC_NPROCESSORS_ONLN\n' > "$work/one_processor.h"
  cat > "$work/emscripten.cross" <<CROSS
[binaries]
c = '$(command -v emcc)'
cpp = '$(command -v em++)'
ar = '$(command -v emar)'
strip = '$(command -v emstrip || command -v llvm-strip || echo strip)'
exe_wrapper = '$(command -v node)'

[built-in options]
c_args = [$(printf "'%s', " $codec_cflags)'-include', '$work/one_processor.h']

[host_machine]
system = 'emscripten'
cpu_family = 'wasm32'
cpu = 'wasm32'
endian = 'little'
CROSS
  meson setup "$work/dav1d-build" "$src" --cross-file "$work/emscripten.cross" --prefix "$stage" \
    --libdir lib --buildtype release --default-library static -Denable_asm=false -Denable_tools=false \
    -Denable_tests=false -Denable_examples=false -Dbitdepths=8,16 -Dlogging=false >&2
  nice -n 10 ninja -C "$work/dav1d-build" -j 2 >&2
  meson install -C "$work/dav1d-build" >&2
}

# libheif: built in with libde265 and dav1d only (no encoders, no plugin loading, no examples).
# Two edits to the unpacked source, both undoing what the library does only under emscripten: its
# JavaScript bindings (the engine has its own), and its libde265 decoder's switching off the
# deblocking and SAO filters, which would give other pixels than the desktop's; the decoder then
# runs without worker threads, as the engine has none (the pixels are the same).
build_heif() {
  local src=$1
  edit_source "$src/libheif/heif.cc" 's/#if defined\(__EMSCRIPTEN__\)\n#include "heif_emscripten.h"\n#endif\n//'
  edit_source "$src/libheif/plugins/heif_decoder_libde265.cc" \
    's/#if defined\(__EMSCRIPTEN__\)\n.*?#else\n.*?#endif\n/  \/\/ No worker threads: decoding runs in the caller.\n/s'
  codec_cmake "$src" "$work/heif-build" -DENABLE_PLUGIN_LOADING=OFF -DWITH_EXAMPLES=OFF \
    -DWITH_LIBDE265=ON -DWITH_LIBDE265_PLUGIN=OFF -DWITH_DAV1D=ON -DWITH_DAV1D_PLUGIN=OFF \
    -DWITH_X265=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF -DWITH_RAV1E=OFF -DWITH_SvtEnc=OFF \
    -DWITH_DEFLATE_HEADER_COMPRESSION=ON -DENABLE_MULTITHREADING_SUPPORT=OFF \
    -DLIBDE265_INCLUDE_DIR="$stage/include" -DLIBDE265_LIBRARY="$stage/lib/libde265.a" \
    -DDAV1D_INCLUDE_DIR="$stage/include" -DDAV1D_LIBRARY="$stage/lib/libdav1d.a" \
    -DZLIB_INCLUDE_DIR="$stage/include" -DZLIB_LIBRARY="$stage/lib/libz.a"
}
