# Cross-compiling for 32-bit x86 with Debian's cross compiler (g++-i686-linux-gnu), with SSE2
# arithmetic (cmake/arithmetic.cmake). The i386 libraries and their headers come from
# RFL_CROSS_SYSROOT: Debian's i386 packages unpacked into a folder (tools/check_ports.sh --i386
# makes one), or / where the machine has them installed as multiarch packages. The programs run on
# this machine's processor as they are: they name that folder's loader and libraries, one
# consistent set, in themselves.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)

if(NOT RFL_CROSS_SYSROOT)
  set(RFL_CROSS_SYSROOT /)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES RFL_CROSS_SYSROOT)

set(CMAKE_FIND_ROOT_PATH ${RFL_CROSS_SYSROOT})
# pkg-config (the readers' libraries) reads the folder's files and names its paths.
set(ENV{PKG_CONFIG_LIBDIR} ${RFL_CROSS_SYSROOT}/usr/lib/i386-linux-gnu/pkgconfig:${RFL_CROSS_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${RFL_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(libs ${RFL_CROSS_SYSROOT}/lib/i386-linux-gnu:${RFL_CROSS_SYSROOT}/usr/lib/i386-linux-gnu)
set(CMAKE_C_FLAGS_INIT "-isystem ${RFL_CROSS_SYSROOT}/usr/include/i386-linux-gnu")
set(CMAKE_CXX_FLAGS_INIT "-isystem ${RFL_CROSS_SYSROOT}/usr/include/i386-linux-gnu")
# The search path is written as the older DT_RPATH, which the loader also follows for the libraries'
# own dependencies and for a library the program opens itself (libheif, opened for the first HEIF
# picture, and its codecs); the newer DT_RUNPATH would serve the program's direct ones only.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,-rpath-link,${libs} -Wl,--disable-new-dtags -Wl,-rpath,${libs} -Wl,--dynamic-linker=${RFL_CROSS_SYSROOT}/lib/i386-linux-gnu/ld-linux.so.2")
