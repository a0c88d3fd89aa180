# Sourced by the web build scripts: the environment Debian's emscripten needs on this machine.
# Debian's emscripten finds its node modules (acorn, terser...) only here.
export NODE_PATH=/usr/share/nodejs
# emscripten 3.1.6 predates node's built-in fetch, which breaks its loader under node 20.
export NODE_OPTIONS=--no-experimental-fetch
# Where the WebAssembly builds of zlib and libjpeg-turbo are kept between runs and between clones.
RFL_WEB_CACHE=${RFL_WEB_CACHE:-/var/cache/rufuremina-web}
[ "$(id -u)" -eq 0 ] || RFL_WEB_CACHE=${RFL_WEB_CACHE_USER:-$HOME/.cache/rufuremina-web}
export RFL_WEB_CACHE
