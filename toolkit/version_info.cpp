#include "toolkit/version_info.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "toolkit/elf_section.h"
#include "toolkit/errors.h"
#include "toolkit/strings.h"

std::vector<std::uint8_t> VersionTableBytes(const TVersionResource& r) {
  std::vector<std::uint8_t> bytes;
  version_detail::EmitVersionTable(r, [&](std::uint8_t b) { bytes.push_back(b); });
  return bytes;
}

namespace {

// Walks the table's bytes; every read past the end fails the whole parse.
class TReader {
 public:
  explicit TReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool Take(std::size_t count, std::span<const std::uint8_t>& out) {
    if (count > bytes_.size() - at_) return false;
    out = bytes_.subspan(at_, count);
    at_ += count;
    return true;
  }
  bool U16(std::uint32_t& out) { return Number(2, out); }
  bool U32(std::uint32_t& out) { return Number(4, out); }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  bool Number(std::size_t size, std::uint32_t& out) {
    std::span<const std::uint8_t> b;
    if (!Take(size, b)) return false;
    out = std::uint32_t(LoadUnsigned(b.data(), size, TByteOrder::LittleEndian));
    return true;
  }
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

bool SamePath(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

}  // namespace

std::optional<TVersionTable> TVersionTable::Parse(std::span<const std::uint8_t> bytes) {
  TReader in(bytes);
  std::span<const std::uint8_t> magic;
  if (!in.Take(8, magic) || std::memcmp(magic.data(), "RFLVINFO", 8) != 0) return std::nullopt;
  TVersionTable table;
  TFixedFileInfo& f = table.fixed_;
  for (std::uint32_t* word : {&f.Signature, &f.StrucVersion, &f.FileVersionMS, &f.FileVersionLS,
                              &f.ProductVersionMS, &f.ProductVersionLS, &f.FileFlagsMask, &f.FileFlags, &f.FileOS,
                              &f.FileType, &f.FileSubtype, &f.FileDateMS, &f.FileDateLS})
    if (!in.U32(*word)) return std::nullopt;
  std::uint32_t count = 0;
  if (!in.U32(count)) return std::nullopt;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t pathLength = 0;
    std::uint32_t valueLength = 0;
    std::span<const std::uint8_t> path;
    std::span<const std::uint8_t> value;
    if (!in.U16(pathLength) || !in.Take(pathLength, path) || !in.U32(valueLength) || !in.Take(valueLength, value))
      return std::nullopt;
    table.values_.push_back({std::string(path.begin(), path.end()), std::vector<std::uint8_t>(value.begin(), value.end())});
  }
  // Trailing bytes are allowed: the linker may pad the section.
  return table;
}

std::optional<std::span<const std::uint8_t>> TVersionTable::Query(std::string_view path) const {
  for (const TValue& v : values_)
    if (SamePath(v.path, path)) return std::span<const std::uint8_t>(v.bytes);
  return std::nullopt;
}

std::string ReadVersionString(const std::string& fileName, int index) {
  if (index < 0 || index >= int(VersionStringNames.size()))
    throw std::out_of_range("version string index " + std::to_string(index));
  const auto section = ReadElfSection(fileName, VersionSectionName);
  if (!section) return {};
  return ReadVersionString(std::span<const std::uint8_t>(*section), index);
}

std::string ReadVersionString(std::span<const std::uint8_t> bytes, int index) {
  if (index < 0 || index >= int(VersionStringNames.size()))
    throw std::out_of_range("version string index " + std::to_string(index));
  if (bytes.empty()) return {};
  const auto table = TVersionTable::Parse(bytes);
  if (!table) throw Exception(SVersionInfoFailed);
  const auto translation = table->Query(VersionTranslationPath);
  if (!translation || translation->size() < 4) throw Exception(SVersionInfoFailed);
  const auto& t = *translation;
  const TVersionTranslation first{LoadLE16(t.data()), LoadLE16(t.data() + 2)};

  const auto value = table->Query(VersionStringPath(first, VersionStringNames[std::size_t(index)]));
  if (!value || value->empty()) return {};
  return std::string(value->begin(), value->end() - 1);
}
