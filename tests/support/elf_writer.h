#pragma once
// Minimal ELF files for tests: a header, the sections' bytes, the section names, then the section
// headers. Enough for a reader that looks sections up by name.
#include <cstdint>
#include <string>
#include <vector>

struct TSection {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> MakeElf(const std::vector<TSection>& sections, bool wide, bool bigEndian);
