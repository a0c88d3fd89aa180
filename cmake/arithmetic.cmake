# The arithmetic every build computes with, for every target of every build (the programs, the
# tests, the benchmarks, the fuzz targets and the web engine, native or cross-compiled): one
# rounding for each operation written, so that the same sources give the same bytes on every
# processor.
#
# - No contraction: a * b + c stays a multiplication and an addition, each rounded, where a
#   processor with fused multiply-add (ARM64, x86 with FMA) would otherwise round once. (GCC
#   contracts by default outside ISO mode; clang within an expression.) No -ffast-math either.
# - 32-bit x86: float and double in SSE2 registers, rounded to their own precision at every step,
#   as on x86-64; the x87 unit's default would keep intermediate results in 64 bits of precision and
#   round them later. long double stays the x87 format, as the extended type expects.
#
# tests/tools/arithmetic_flags_test.sh checks every compile command of a build for these flags.

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-ffp-contract=off)
else()
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER_ID}: the build knows how to turn off floating-point "
                      "contraction only for GCC and clang")
endif()

# (Emscripten calls its WebAssembly processor x86; it has no x87 unit.)
if(NOT EMSCRIPTEN AND (CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" OR
   (CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 4)))
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS "-msse2 -mfpmath=sse")
  check_cxx_source_compiles("
    #if !defined(__SSE2_MATH__)
    #error x87 arithmetic
    #endif
    int main() { return 0; }" RFL_SSE2_MATH)
  unset(CMAKE_REQUIRED_FLAGS)
  if(NOT RFL_SSE2_MATH)
    message(FATAL_ERROR "32-bit x86: the compiler does not take -msse2 -mfpmath=sse. The build needs "
                        "SSE2 arithmetic for float and double (a processor from 2001 on); the x87 unit's "
                        "arithmetic would change the pixels.")
  endif()
  add_compile_options(-msse2 -mfpmath=sse)
endif()
