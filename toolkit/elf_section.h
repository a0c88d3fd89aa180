#pragma once
// Reading one named section out of an ELF file (32- or 64-bit, either byte order), the way the
// program finds data that the build placed in its own executable.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Largest section ReadElfSection hands back; bigger ones are treated as absent.
inline constexpr std::uint64_t MaxElfSectionBytes = std::uint64_t(16) << 20;

// The bytes of the first section named `sectionName`. Answers nothing when the file cannot be
// opened, is not an ELF file, has no such section, or when any header, name or the section itself
// lies outside the file. Never throws for the file's content.
std::optional<std::vector<std::uint8_t>> ReadElfSection(const std::string& fileName, std::string_view sectionName);
