#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "picture/heif_library.h"

// Only the major and minor version the relabelling decoders were written for serve; any release of
// them does.
TEST(HeifLibrary, VersionsOtherThanTheHeadersMinorAreRefused) {
  constexpr std::uint32_t Header = LIBHEIF_NUMERIC_VERSION;
  const auto version = [](std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
    return major << 24 | minor << 16 | patch << 8;
  };
  const std::uint32_t major = Header >> 24, minor = Header >> 16 & 0xFF;
  const struct {
    std::uint32_t version;
    const char* refusalHolds;  // nullptr: it serves
  } cases[] = {
      {Header, nullptr},
      {version(major, minor, 0), nullptr},
      {version(major, minor, 255), nullptr},
      {version(major, minor + 1, 0), "."},
      {version(major, minor - 1, 9), "."},
      {version(major + 1, minor, 0), "."},
      {version(1, 16, 2), "libheif 1.16.2"},
      {0, "libheif 0.0.0"},
  };
  for (const auto& c : cases) {
    const std::string refusal = HeifVersionRefusal(c.version);
    if (c.refusalHolds == nullptr) {
      EXPECT_EQ(refusal, "") << std::hex << c.version;
    } else {
      EXPECT_NE(refusal.find(c.refusalHolds), std::string::npos) << std::hex << c.version << ": " << refusal;
      // It says what it wanted, too.
      EXPECT_NE(refusal.find(std::to_string(major) + "." + std::to_string(minor) + " wanted"), std::string::npos) << refusal;
    }
  }
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
