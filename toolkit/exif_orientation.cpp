#include "toolkit/exif_orientation.h"

#include <cstring>

#include "toolkit/byte_order.h"

namespace {

constexpr std::uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::size_t kEntrySize = 12;

// The TIFF structure after the signature, in its own byte order.
class Tiff {
 public:
  Tiff(std::span<const std::uint8_t> bytes, TByteOrder order) : bytes_(bytes), order_(order) {}
  bool Has(std::uint64_t offset, std::uint64_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  std::uint16_t U16(std::size_t at) const { return std::uint16_t(LoadUnsigned(bytes_.data() + at, 2, order_)); }
  std::uint32_t U32(std::size_t at) const { return std::uint32_t(LoadUnsigned(bytes_.data() + at, 4, order_)); }

 private:
  std::span<const std::uint8_t> bytes_;
  TByteOrder order_;
};

}  // namespace

bool IsExifBlock(std::span<const std::uint8_t> app1) {
  return app1.size() >= sizeof kExifSignature && std::memcmp(app1.data(), kExifSignature, sizeof kExifSignature) == 0;
}

bool SwapsSides(TOrientation orientation) { return orientation >= TOrientation::Transposed; }

TOrientation ExifOrientation(std::span<const std::uint8_t> app1) {
  if (app1.size() < sizeof kExifSignature + 8 || !IsExifBlock(app1))
    return TOrientation::Upright;
  const std::span<const std::uint8_t> bytes = app1.subspan(sizeof kExifSignature);
  TByteOrder order = TByteOrder::LittleEndian;
  if (bytes[0] == 'M' && bytes[1] == 'M')
    order = TByteOrder::BigEndian;
  else if (!(bytes[0] == 'I' && bytes[1] == 'I'))
    return TOrientation::Upright;
  const Tiff tiff(bytes, order);
  if (tiff.U16(2) != 42) return TOrientation::Upright;
  const std::uint32_t directory = tiff.U32(4);
  if (!tiff.Has(directory, 2)) return TOrientation::Upright;
  const std::uint16_t entries = tiff.U16(directory);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::uint64_t entry = std::uint64_t(directory) + 2 + std::uint64_t(i) * kEntrySize;
    if (!tiff.Has(entry, kEntrySize)) break;  // a directory cut short keeps the entries before the cut
    const auto at = std::size_t(entry);
    if (tiff.U16(at) != kOrientationTag) continue;
    // One SHORT, held in the first two bytes of the value field.
    if (tiff.U16(at + 2) != kTypeShort || tiff.U32(at + 4) != 1) return TOrientation::Upright;
    const std::uint16_t value = tiff.U16(at + 8);
    if (value < 1 || value > 8) return TOrientation::Upright;
    return TOrientation(value);
  }
  return TOrientation::Upright;
}
