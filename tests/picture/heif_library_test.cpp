#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "picture/heif_library.h"

// Only the major and minor version the relabelling decoders were written for serve; any release of
// them does. A refusal names the version found and the one wanted.
TEST(HeifLibrary, VersionsOtherThanTheHeadersMinorAreRefused) {
  const std::uint32_t major = LIBHEIF_NUMERIC_VERSION >> 24, minor = LIBHEIF_NUMERIC_VERSION >> 16 & 0xFF;
  const std::string wanted = " (" + std::to_string(major) + "." + std::to_string(minor) + " wanted)";
  const auto version = [](std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
    return major << 24 | minor << 16 | patch << 8;
  };
  const struct {
    std::uint32_t version;
    std::string refusal;
  } cases[] = {
      {version(major, minor, 0), ""},
      {version(major, minor, 255), ""},
      {version(major, minor + 1, 0), "libheif " + std::to_string(major) + "." + std::to_string(minor + 1) + ".0" + wanted},
      {version(major, minor - 1, 9), "libheif " + std::to_string(major) + "." + std::to_string(minor - 1) + ".9" + wanted},
      {version(major + 1, minor, 2), "libheif " + std::to_string(major + 1) + "." + std::to_string(minor) + ".2" + wanted},
  };
  for (const auto& c : cases) EXPECT_EQ(HeifVersionRefusal(c.version), c.refusal) << std::hex << c.version;
}

// The system's libheif fills every entry of the table; a missing library, and a library that is not
// libheif, are refused with the reason (every missing function named), never a half-filled table.
TEST(HeifLibrary, LoadsTheSystemsLibraryAndRefusesOthers) {
  const struct {
    const char* file;
    std::vector<const char*> refusalHolds;  // empty: it serves
  } cases[] = {
      {"libheif.so.1", {}},
      {"libno-such-library.so.3", {"libno-such-library.so.3"}},
      // zlib, in every process of the program, has none of libheif's functions.
      {"libz.so.1", {"libz.so.1 lacks heif_get_version_number, heif_init,", ", heif_nclx_color_profile_free"}},
  };
  for (const auto& c : cases) {
    const THeifLibraryLoad load = LoadHeifLibrary(c.file);
    int filled = 0, entries = 0;
#define RFL_COUNT(name) \
  ++entries;            \
  filled += load.Functions.name != nullptr;
    RFL_HEIF_FUNCTIONS(RFL_COUNT)
#undef RFL_COUNT
    if (c.refusalHolds.empty()) {
      EXPECT_EQ(load.Refusal, "") << c.file;
      EXPECT_EQ(filled, entries) << c.file;
      EXPECT_EQ(load.Functions.heif_get_version_number() >> 16, std::uint32_t(LIBHEIF_NUMERIC_VERSION) >> 16);
    } else {
      for (const char* words : c.refusalHolds) EXPECT_NE(load.Refusal.find(words), std::string::npos) << load.Refusal;
      EXPECT_EQ(filled, 0) << c.file;
    }
  }
}
