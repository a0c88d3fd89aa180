#pragma once
// libheif, opened the first time a HEIF or AVIF picture is read rather than when the program
// starts. Linked into the program, libheif and its codecs (libde265, x265, aom, dav1d) set
// themselves up in every process, about 3 ms of each start, though most pictures are JPEG or PNG.
// The desktop builds open libheif.so.1 with dlopen and take its functions with dlsym; the page's
// static build fills the same table with the functions' own addresses.
//
// The readers call libheif only through the table, each member typed from libheif's own header,
// so that a function whose signature changes fails to compile.
#include <libheif/heif.h>
#include <libheif/heif_plugin.h>

#include <cstdint>
#include <string>

// The functions of libheif the program calls, X(name) each.
#define RFL_HEIF_FUNCTIONS(X)                   \
  X(heif_get_version_number)                    \
  X(heif_init)                                  \
  X(heif_has_compatible_brand)                  \
  X(heif_get_decoder_descriptors)               \
  X(heif_register_decoder_plugin)               \
  X(heif_context_alloc)                         \
  X(heif_context_free)                          \
  X(heif_context_set_maximum_image_size_limit)  \
  X(heif_context_set_max_decoding_threads)      \
  X(heif_context_read_from_reader)              \
  X(heif_context_get_primary_image_handle)      \
  X(heif_image_handle_release)                  \
  X(heif_image_handle_get_width)                \
  X(heif_image_handle_get_height)               \
  X(heif_image_handle_get_luma_bits_per_pixel)  \
  X(heif_image_handle_get_chroma_bits_per_pixel) \
  X(heif_image_handle_get_nclx_color_profile)   \
  X(heif_image_handle_is_premultiplied_alpha)   \
  X(heif_decoding_options_alloc)                \
  X(heif_decoding_options_free)                 \
  X(heif_decode_image)                          \
  X(heif_image_create)                          \
  X(heif_image_release)                         \
  X(heif_image_add_plane)                       \
  X(heif_image_get_plane)                       \
  X(heif_image_get_plane_readonly)              \
  X(heif_image_get_colorspace)                  \
  X(heif_image_get_chroma_format)               \
  X(heif_image_get_width)                       \
  X(heif_image_get_height)                      \
  X(heif_image_get_primary_width)               \
  X(heif_image_get_primary_height)              \
  X(heif_image_get_bits_per_pixel_range)        \
  X(heif_image_has_channel)                     \
  X(heif_image_get_nclx_color_profile)          \
  X(heif_image_set_nclx_color_profile)          \
  X(heif_nclx_color_profile_free)

struct THeifLibrary {
#define RFL_HEIF_MEMBER(name) decltype(&::name) name = nullptr;
  RFL_HEIF_FUNCTIONS(RFL_HEIF_MEMBER)
#undef RFL_HEIF_MEMBER
};

// A library opened for the table, or why it cannot serve (empty when it can).
struct THeifLibraryLoad {
  THeifLibrary Functions;
  std::string Refusal;
};

// The major and minor version the program's decoders were written for (the header's), which the
// library must have: their descriptors differ between versions. Empty when `version` (as
// heif_get_version_number gives it) has them, else why not.
std::string HeifVersionRefusal(std::uint32_t version);

// Opens the shared library `file` (a name the dynamic loader looks up, or a path), takes every
// function of the table from it and checks its version, without setting it up (heif_init). The
// library stays open for the rest of the process. The page's build ignores `file`: its libheif is
// built in.
THeifLibraryLoad LoadHeifLibrary(const char* file);

// libheif's table, libheif.so.1 loaded, checked and set up (heif_init) on the first call, once per
// process and from any thread. Throws EInvalidGraphic (SPictureNotSupported, ": " and the reason)
// on every call when the library, one of its functions or its version is missing.
const THeifLibrary& HeifLibrary();
