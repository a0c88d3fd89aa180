#pragma once
// Unsigned integers stored as bytes in a given order: least significant byte first (BMP files, the
// version table, little-endian ELF files, 16- and 32-bit pixel words) or most significant first
// (PNG files, big-endian ELF files). The pointer is any byte address; no alignment is needed.
#include <cstddef>
#include <cstdint>

enum class TByteOrder { LittleEndian, BigEndian };

// The `size`-byte unsigned integer (1 to 8 bytes) at `at`.
constexpr std::uint64_t LoadUnsigned(const std::uint8_t* at, std::size_t size, TByteOrder order) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t shift = 8 * (order == TByteOrder::LittleEndian ? i : size - 1 - i);
    value |= std::uint64_t(at[i]) << shift;
  }
  return value;
}

// Stores the low `size` bytes (1 to 8) of `value` at `at`.
constexpr void StoreUnsigned(std::uint8_t* at, std::size_t size, std::uint64_t value, TByteOrder order) {
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t shift = 8 * (order == TByteOrder::LittleEndian ? i : size - 1 - i);
    at[i] = std::uint8_t(value >> shift);
  }
}

constexpr std::uint16_t LoadLE16(const std::uint8_t* at) {
  return std::uint16_t(LoadUnsigned(at, 2, TByteOrder::LittleEndian));
}
constexpr std::uint32_t LoadLE32(const std::uint8_t* at) {
  return std::uint32_t(LoadUnsigned(at, 4, TByteOrder::LittleEndian));
}
constexpr void StoreLE16(std::uint8_t* at, std::uint16_t value) {
  StoreUnsigned(at, 2, value, TByteOrder::LittleEndian);
}
constexpr void StoreLE32(std::uint8_t* at, std::uint32_t value) {
  StoreUnsigned(at, 4, value, TByteOrder::LittleEndian);
}
constexpr void StoreBE16(std::uint8_t* at, std::uint16_t value) { StoreUnsigned(at, 2, value, TByteOrder::BigEndian); }
constexpr void StoreBE32(std::uint8_t* at, std::uint32_t value) { StoreUnsigned(at, 4, value, TByteOrder::BigEndian); }
