#pragma once
// Version information: a table of named values that the build places in the program file itself,
// and the lookup that the About box reads its product name, version and legal notice through.
//
// The table (section VersionSectionName of the executable) holds a fixed part and a list of values
// addressed by path, as a version resource does:
//   "\VarFileInfo\Translation"             4 bytes per translation: language, code page (16 bits each)
//   "\StringFileInfo\LLLLCCCC\<name>"      a UTF-8 string with its terminating zero, for the
//                                          translation with language LLLL and code page CCCC
//                                          (4 upper-case hexadecimal digits each)
// Byte layout, little-endian: the 8 bytes "RFLVINFO"; the fixed part (13 32-bit words); the number
// of values (32 bits); then per value the path length (16 bits), the path, the value length
// (32 bits) and the value.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/byte_order.h"
#include "toolkit/messages.h"

// The section of the program file that holds the table.
inline constexpr const char* VersionSectionName = ".rflversion";

// The twelve standard names of version strings, by index.
inline constexpr std::array<const char*, 12> VersionStringNames = {
    "Comments",     "CompanyName",      "FileDescription", "FileVersion",  "InternalName", "LegalCopyright",
    "LegalTrademarks", "OriginalFilename", "PrivateBuild", "ProductName", "ProductVersion", "SpecialBuild"};

inline constexpr int VersionProductName = 9;
inline constexpr int VersionProductVersion = 10;
inline constexpr int VersionLegalCopyright = 5;

// The fixed part, field for field as a version resource holds it.
struct TFixedFileInfo {
  std::uint32_t Signature = 0xFEEF04BD;
  std::uint32_t StrucVersion = 0x00010000;
  std::uint32_t FileVersionMS = 0;  // major << 16 | minor
  std::uint32_t FileVersionLS = 0;  // release << 16 | build
  std::uint32_t ProductVersionMS = 0;
  std::uint32_t ProductVersionLS = 0;
  std::uint32_t FileFlagsMask = 0;
  std::uint32_t FileFlags = 0;
  std::uint32_t FileOS = 0;
  std::uint32_t FileType = 0;
  std::uint32_t FileSubtype = 0;
  std::uint32_t FileDateMS = 0;
  std::uint32_t FileDateLS = 0;
};

struct TVersionTranslation {
  std::uint16_t Language = 0;
  std::uint16_t CodePage = 0;
};

struct TVersionString {
  std::string_view Name;
  std::string_view Value;  // UTF-8; the table stores it with a terminating zero
};

struct TVersionStringTable {
  TVersionTranslation Translation;
  std::span<const TVersionString> Strings;
};

// A whole table as the build describes it.
struct TVersionResource {
  TFixedFileInfo Fixed;
  std::span<const TVersionTranslation> Translations;  // none: the table has no translation value
  std::span<const TVersionStringTable> StringTables;
};

// Where the table keeps its translations.
inline constexpr std::string_view VersionTranslationPath = "\\VarFileInfo\\Translation";

// "\StringFileInfo\" + language and code page as 4 upper-case hex digits each + "\": the part of a
// string's path before its name. Held in a fixed array, so that the build can form it at compile time.
constexpr std::array<char, 25> VersionStringFolder(TVersionTranslation translation) {
  constexpr std::string_view start = "\\StringFileInfo\\";
  constexpr char hex[] = "0123456789ABCDEF";
  std::array<char, 25> folder{};
  std::size_t at = 0;
  for (char c : start) folder[at++] = c;
  for (std::uint16_t v : {translation.Language, translation.CodePage})
    for (int shift = 12; shift >= 0; shift -= 4) folder[at++] = hex[(v >> shift) & 15];
  folder[at] = '\\';
  return folder;
}

// The folder, then the name. The build writes the table's paths with it and the lookup asks for
// them with it, so both always agree.
inline std::string VersionStringPath(TVersionTranslation translation, std::string_view name) {
  const std::array<char, 25> folder = VersionStringFolder(translation);
  return std::string(folder.begin(), folder.end()).append(name);
}

namespace version_detail {

// Feeds the table's bytes to `put`, one at a time; run once to count and once to fill.
template <class Put>
constexpr void EmitVersionTable(const TVersionResource& r, Put&& put) {
  auto number = [&](std::uint32_t v, std::size_t size) {
    std::uint8_t bytes[4] = {};
    StoreUnsigned(bytes, size, v, TByteOrder::LittleEndian);
    for (std::size_t i = 0; i < size; ++i) put(bytes[i]);
  };
  auto u16 = [&](std::uint32_t v) { number(v, 2); };
  auto u32 = [&](std::uint32_t v) { number(v, 4); };
  auto text = [&](std::string_view s) { for (char c : s) put(std::uint8_t(c)); };

  text("RFLVINFO");
  const TFixedFileInfo& f = r.Fixed;
  for (std::uint32_t word : {f.Signature, f.StrucVersion, f.FileVersionMS, f.FileVersionLS, f.ProductVersionMS,
                             f.ProductVersionLS, f.FileFlagsMask, f.FileFlags, f.FileOS, f.FileType, f.FileSubtype,
                             f.FileDateMS, f.FileDateLS})
    u32(word);
  std::size_t values = r.Translations.empty() ? 0 : 1;
  for (const auto& table : r.StringTables) values += table.Strings.size();
  u32(std::uint32_t(values));
  if (!r.Translations.empty()) {
    u16(std::uint32_t(VersionTranslationPath.size()));
    text(VersionTranslationPath);
    u32(std::uint32_t(4 * r.Translations.size()));
    for (const auto& t : r.Translations) { u16(t.Language); u16(t.CodePage); }
  }
  for (const auto& table : r.StringTables) {
    for (const auto& s : table.Strings) {
      const std::array<char, 25> folder = VersionStringFolder(table.Translation);
      u16(std::uint32_t(folder.size() + s.Name.size()));
      text(std::string_view(folder.data(), folder.size()));
      text(s.Name);
      u32(std::uint32_t(s.Value.size() + 1));
      text(s.Value);
      put(0);
    }
  }
}

}  // namespace version_detail

constexpr std::size_t VersionTableSize(const TVersionResource& r) {
  std::size_t n = 0;
  version_detail::EmitVersionTable(r, [&](std::uint8_t) { ++n; });
  return n;
}

// The table's bytes at compile time, for the build to place in the program file.
template <std::size_t N>
constexpr std::array<std::uint8_t, N> BuildVersionTable(const TVersionResource& r) {
  std::array<std::uint8_t, N> bytes{};
  std::size_t at = 0;
  version_detail::EmitVersionTable(r, [&](std::uint8_t b) { if (at < N) bytes[at++] = b; });
  return bytes;
}

// The same bytes at run time.
std::vector<std::uint8_t> VersionTableBytes(const TVersionResource& r);

// A table read back from its bytes.
class TVersionTable {
 public:
  // Nothing when the bytes are not a whole, well-formed table.
  static std::optional<TVersionTable> Parse(std::span<const std::uint8_t> bytes);

  const TFixedFileInfo& Fixed() const { return fixed_; }
  // The value at `path` (compared without regard to ASCII letter case), or nothing.
  std::optional<std::span<const std::uint8_t>> Query(std::string_view path) const;

 private:
  struct TValue {
    std::string path;
    std::vector<std::uint8_t> bytes;
  };
  TFixedFileInfo fixed_;
  std::vector<TValue> values_;
};

// The version string `index` (0..11, see VersionStringNames) of the program file `fileName`:
// the first translation of the file's table, then that translation's string of that name.
// A file without a table (none, not readable, not an ELF file) answers the empty string; a missing
// string answers the empty string; a table without a usable translation, or a damaged table, throws
// Exception(SVersionInfoFailed).
std::string ReadVersionString(const std::string& fileName, int index);
// The same lookup in a table's bytes as the program file holds them (empty: no table).
std::string ReadVersionString(std::span<const std::uint8_t> table, int index);

// The table the build placed in this program (linked in with rflversion), for a program that cannot
// read its own file: the web page's engine.
std::span<const std::uint8_t> ProgramVersionTable();
