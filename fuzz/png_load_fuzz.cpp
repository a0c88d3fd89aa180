// Feeds arbitrary bytes to the PNG load: the header's cost, then the reader (see load_check.h).
#include "fuzz/load_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzLoad(data, size, TPictureKind::Png);
  return 0;
}
