# Cross-compiling for ARM64 (64-bit ARM Linux) with Debian's cross compiler (g++-aarch64-linux-gnu).
# The arm64 libraries and their headers come from RFL_CROSS_SYSROOT: Debian's arm64 packages
# unpacked into a folder (tools/check_ports.sh makes one), or / where the machine has them
# installed as multiarch packages. Programs the build and the tests run go through qemu-user-static
# with the same folder as their root for libraries, so that the loader and the C library the
# programs find are one consistent set.
#
#   cmake -S . -B build/arm64 -DCMAKE_TOOLCHAIN_FILE=tools/toolchains/aarch64-linux-gnu.cmake \
#     -DRFL_CROSS_SYSROOT=/path/to/arm64-root -DRFL_BUILD_APP=OFF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

if(NOT RFL_CROSS_SYSROOT)
  set(RFL_CROSS_SYSROOT /)
endif()
# The configuration checks are projects of their own: they need the same folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES RFL_CROSS_SYSROOT)

# Libraries, headers and CMake packages only from the arm64 folder; programs from this machine.
set(CMAKE_FIND_ROOT_PATH ${RFL_CROSS_SYSROOT})
# pkg-config (the readers' libraries) reads the folder's files and names its paths.
set(ENV{PKG_CONFIG_LIBDIR} ${RFL_CROSS_SYSROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${RFL_CROSS_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${RFL_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The arm64 packages' own configuration headers (libjpeg's jconfig.h), and the libraries' own
# dependencies at link time.
set(multiarch_include ${RFL_CROSS_SYSROOT}/usr/include/aarch64-linux-gnu)
set(CMAKE_C_FLAGS_INIT "-isystem ${multiarch_include}")
set(CMAKE_CXX_FLAGS_INIT "-isystem ${multiarch_include}")
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,-rpath-link,${RFL_CROSS_SYSROOT}/lib/aarch64-linux-gnu:${RFL_CROSS_SYSROOT}/usr/lib/aarch64-linux-gnu")

find_program(RFL_QEMU_AARCH64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${RFL_QEMU_AARCH64} -L ${RFL_CROSS_SYSROOT})
