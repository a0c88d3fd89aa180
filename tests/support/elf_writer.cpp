#include "tests/support/elf_writer.h"

#include "toolkit/byte_order.h"

std::vector<std::uint8_t> MakeElf(const std::vector<TSection>& sections, bool wide, bool bigEndian) {
  std::vector<std::uint8_t> out(wide ? 64 : 52, 0);
  auto put = [&](std::size_t at, std::uint64_t value, int size) {
    if (out.size() < at + std::size_t(size)) out.resize(at + std::size_t(size), 0);
    StoreUnsigned(out.data() + at, std::size_t(size), value, bigEndian ? TByteOrder::BigEndian : TByteOrder::LittleEndian);
  };
  out[0] = 0x7F, out[1] = 'E', out[2] = 'L', out[3] = 'F';
  out[4] = wide ? 2 : 1;
  out[5] = bigEndian ? 2 : 1;
  out[6] = 1;

  std::vector<std::uint8_t> names{0};
  struct TPlaced { std::uint64_t name, offset, size; };
  std::vector<TPlaced> placed;
  for (const TSection& s : sections) {
    placed.push_back({names.size(), out.size(), s.bytes.size()});
    names.insert(names.end(), s.name.begin(), s.name.end());
    names.push_back(0);
    out.insert(out.end(), s.bytes.begin(), s.bytes.end());
  }
  const std::string namesName = ".shstrtab";
  placed.push_back({names.size(), out.size(), 0});
  names.insert(names.end(), namesName.begin(), namesName.end());
  names.push_back(0);
  placed.back().size = names.size();
  out.insert(out.end(), names.begin(), names.end());

  const std::size_t entry = wide ? 64 : 40;
  const std::size_t table = out.size();
  out.resize(table + entry * (placed.size() + 1), 0);  // section 0 stays empty
  for (std::size_t i = 0; i < placed.size(); ++i) {
    const std::size_t at = table + entry * (i + 1);
    put(at, placed[i].name, 4);
    put(at + 4, i + 1 == placed.size() ? 3 : 1, 4);  // string table, else program data
    put(at + (wide ? 0x18 : 0x10), placed[i].offset, wide ? 8 : 4);
    put(at + (wide ? 0x20 : 0x14), placed[i].size, wide ? 8 : 4);
  }
  put(wide ? 0x28 : 0x20, table, wide ? 8 : 4);
  put(wide ? 0x3A : 0x2E, entry, 2);
  put(wide ? 0x3C : 0x30, placed.size() + 1, 2);
  put(wide ? 0x3E : 0x32, placed.size(), 2);
  return out;
}

