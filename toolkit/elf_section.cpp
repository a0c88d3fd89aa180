#include "toolkit/elf_section.h"

#include <cstring>
#include <fstream>

#include "toolkit/byte_order.h"

namespace {

// Reads bounded pieces of a file; every request outside the file fails instead of reading.
class TFileBytes {
 public:
  explicit TFileBytes(const std::string& fileName) : file_(fileName, std::ios::binary) {
    if (!file_) return;
    file_.seekg(0, std::ios::end);
    const std::streamoff end = file_.tellg();
    if (end < 0) return;
    size_ = std::uint64_t(end);
    ok_ = true;
  }
  bool Ok() const { return ok_; }

  std::optional<std::vector<std::uint8_t>> Read(std::uint64_t offset, std::uint64_t count) {
    if (!ok_ || offset > size_ || count > size_ - offset) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(offset));
    if (count > 0 && !file_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count)))
      return std::nullopt;
    return bytes;
  }

 private:
  std::ifstream file_;
  std::uint64_t size_ = 0;
  bool ok_ = false;
};

// Unsigned fields of either byte order from a header already read whole.
struct TFields {
  const std::vector<std::uint8_t>& bytes;
  bool bigEndian;

  std::uint64_t At(std::size_t offset, std::size_t size) const {
    return LoadUnsigned(bytes.data() + offset, size, bigEndian ? TByteOrder::BigEndian : TByteOrder::LittleEndian);
  }
};

struct TSectionHeader {
  std::uint64_t name = 0;
  std::uint64_t type = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t link = 0;
};

constexpr std::uint64_t SectionTypeNoBits = 8;
constexpr std::uint64_t SectionIndexExtended = 0xFFFF;

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadElfSection(const std::string& fileName, std::string_view sectionName) {
  TFileBytes file(fileName);
  const auto ident = file.Read(0, 16);
  if (!ident || std::memcmp(ident->data(), "\x7F" "ELF", 4) != 0) return std::nullopt;
  const int elfClass = (*ident)[4];
  const int encoding = (*ident)[5];
  if ((elfClass != 1 && elfClass != 2) || (encoding != 1 && encoding != 2)) return std::nullopt;
  const bool wide = elfClass == 2;
  const bool bigEndian = encoding == 2;

  const auto header = file.Read(0, wide ? 64 : 52);
  if (!header) return std::nullopt;
  const TFields h{*header, bigEndian};
  const std::uint64_t tableOffset = wide ? h.At(0x28, 8) : h.At(0x20, 4);
  const std::uint64_t entrySize = h.At(wide ? 0x3A : 0x2E, 2);
  std::uint64_t count = h.At(wide ? 0x3C : 0x30, 2);
  std::uint64_t namesIndex = h.At(wide ? 0x3E : 0x32, 2);
  const std::uint64_t minimumEntry = wide ? 64 : 40;
  if (tableOffset == 0 || entrySize < minimumEntry) return std::nullopt;

  auto sectionHeader = [&](std::uint64_t index) -> std::optional<TSectionHeader> {
    if (index > (std::uint64_t(-1) - tableOffset) / entrySize) return std::nullopt;
    const auto bytes = file.Read(tableOffset + index * entrySize, minimumEntry);
    if (!bytes) return std::nullopt;
    const TFields s{*bytes, bigEndian};
    TSectionHeader out;
    out.name = s.At(0, 4);
    out.type = s.At(4, 4);
    out.offset = wide ? s.At(0x18, 8) : s.At(0x10, 4);
    out.size = wide ? s.At(0x20, 8) : s.At(0x14, 4);
    out.link = wide ? s.At(0x28, 4) : s.At(0x18, 4);
    return out;
  };

  // Files with very many sections keep the real count and the names' index in section 0.
  if (count == 0 || namesIndex == SectionIndexExtended) {
    const auto first = sectionHeader(0);
    if (!first) return std::nullopt;
    if (count == 0) count = first->size;
    if (namesIndex == SectionIndexExtended) namesIndex = first->link;
  }
  if (namesIndex >= count) return std::nullopt;

  const auto namesHeader = sectionHeader(namesIndex);
  if (!namesHeader || namesHeader->type == SectionTypeNoBits || namesHeader->size > MaxElfSectionBytes)
    return std::nullopt;
  const auto names = file.Read(namesHeader->offset, namesHeader->size);
  if (!names) return std::nullopt;

  for (std::uint64_t index = 0; index < count; ++index) {
    const auto section = sectionHeader(index);
    if (!section) return std::nullopt;  // the table runs past the end of the file
    if (section->name >= names->size()) continue;
    const char* name = reinterpret_cast<const char*>(names->data()) + section->name;
    const std::size_t room = names->size() - std::size_t(section->name);
    const std::size_t length = strnlen(name, room);
    if (length == room || std::string_view(name, length) != sectionName) continue;
    if (section->type == SectionTypeNoBits || section->size > MaxElfSectionBytes) return std::nullopt;
    return file.Read(section->offset, section->size);
  }
  return std::nullopt;
}
