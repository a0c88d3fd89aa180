#include "picture/heif_library.h"

#ifndef __EMSCRIPTEN__
#include <dlfcn.h>
#endif

#include "picture/messages.h"
#include "toolkit/errors.h"

namespace {

// The version as its numbers, "1.15.1".
std::string VersionText(std::uint32_t version) {
  return std::to_string(version >> 24) + "." + std::to_string(version >> 16 & 0xFF) + "." +
         std::to_string(version >> 8 & 0xFF);
}

}  // namespace

std::string HeifVersionRefusal(std::uint32_t version) {
  constexpr std::uint32_t Wanted = LIBHEIF_NUMERIC_VERSION;
  if (version >> 16 == Wanted >> 16) return {};
  return "libheif " + VersionText(version) + " (" + std::to_string(Wanted >> 24) + "." +
         std::to_string(Wanted >> 16 & 0xFF) + " wanted)";
}

#ifdef __EMSCRIPTEN__

THeifLibraryLoad LoadHeifLibrary(const char*) {
  THeifLibraryLoad load;
#define RFL_HEIF_ADDRESS(name) load.Functions.name = &::name;
  RFL_HEIF_FUNCTIONS(RFL_HEIF_ADDRESS)
#undef RFL_HEIF_ADDRESS
  return load;
}

#else

THeifLibraryLoad LoadHeifLibrary(const char* file) {
  THeifLibraryLoad load;
  // Every function bound now: a library that lacks one its codecs need fails here, not mid-picture.
  void* library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    load.Refusal = reason ? reason : std::string(file) + " cannot be opened";
    return load;
  }
  std::string missing;
#define RFL_HEIF_SYMBOL(name)                                                              \
  load.Functions.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));        \
  if (load.Functions.name == nullptr) missing += std::string(missing.empty() ? "" : ", ") + #name;
  RFL_HEIF_FUNCTIONS(RFL_HEIF_SYMBOL)
#undef RFL_HEIF_SYMBOL
  if (!missing.empty()) {
    // The library stays open (another part of the process may use it); the table is not to be used.
    load.Functions = {};
    load.Refusal = std::string(file) + " lacks " + missing;
    return load;
  }
  load.Refusal = HeifVersionRefusal(std::uint32_t(load.Functions.heif_get_version_number()));
  if (!load.Refusal.empty()) load.Functions = {};
  return load;
}

#endif

const THeifLibrary& HeifLibrary() {
  // Loaded and set up once, whether it serves or not: a library missing now is missing for the
  // process's life.
  static const THeifLibraryLoad load = [] {
    THeifLibraryLoad opened = LoadHeifLibrary("libheif.so.1");
    if (opened.Refusal.empty()) opened.Functions.heif_init(nullptr);
    return opened;
  }();
  if (!load.Refusal.empty()) throw EInvalidGraphic(std::string(SPictureNotSupported) + ": " + load.Refusal);
  return load.Functions;
}
