#pragma once
// BMP files put together field by field, so that a test states only what it changes.
#include <cstdint>
#include <vector>

struct BmpBuilder {
  std::uint32_t headerSize = 40;  // 12 writes the OS/2 core header
  std::int32_t width = 3;
  std::int32_t height = 2;
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t sizeImage = 0;
  std::uint32_t clrUsed = 0;
  std::vector<std::uint32_t> masks;  // after a 40-byte header, or at the start of a longer one's extra bytes
  std::vector<std::uint8_t> table;   // colour table as stored (3- or 4-byte entries)
  std::vector<std::uint8_t> pixels;  // everything after the table

  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> out;
    auto put16 = [&](std::uint32_t v) {
      out.push_back(std::uint8_t(v));
      out.push_back(std::uint8_t(v >> 8));
    };
    auto put32 = [&](std::uint32_t v) {
      put16(v & 0xFFFF);
      put16(v >> 16);
    };
    const bool masksInHeader = headerSize >= 52;
    const std::uint32_t masksAfter = masksInHeader ? 0 : std::uint32_t(masks.size() * 4);
    const std::uint32_t offBits = 14 + headerSize + masksAfter + std::uint32_t(table.size());
    put16(0x4D42);
    put32(offBits + std::uint32_t(pixels.size()));
    put32(0);
    put32(offBits);
    put32(headerSize);
    if (headerSize == 12) {
      put16(std::uint32_t(width));
      put16(std::uint32_t(height));
      put16(planes);
      put16(bitCount);
    } else {
      put32(std::uint32_t(width));
      put32(std::uint32_t(height));
      put16(planes);
      put16(bitCount);
      put32(compression);
      put32(sizeImage);
      put32(2835);
      put32(2835);
      put32(clrUsed);
      put32(0);
      std::size_t extra = headerSize > 40 ? headerSize - 40 : 0;
      if (masksInHeader)
        for (std::uint32_t m : masks) put32(m), extra -= 4;
      out.insert(out.end(), extra, 0xA5);
    }
    if (!masksInHeader)
      for (std::uint32_t m : masks) put32(m);
    out.insert(out.end(), table.begin(), table.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
  }
};
