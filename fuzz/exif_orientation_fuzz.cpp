// Feeds arbitrary bytes, as the data of an APP1 marker, to the EXIF orientation reader. Anything but
// an orientation of 1 to 8 (a crash, a read outside the block) is a fault. The first six bytes of
// every input are taken as "Exif\0\0", so that the run spends itself inside the TIFF structure.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "toolkit/exif_orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> block(data, data + size);
  if (block.size() >= 6) std::memcpy(block.data(), "Exif\0\0", 6);
  const int value = int(ExifOrientation(block));
  if (value < 1 || value > 8) __builtin_trap();
  return 0;
}
