// Feeds arbitrary bytes to the BMP reader. Refusals are expected; anything else (a crash, a
// sanitizer report, an allocation beyond the run's limit) is a fault. Pictures that read are also
// converted to 32 bits and written back, the way the program goes on to use them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture/bmp_file.h"
#include "toolkit/errors.h"
#include "toolkit/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryStream stream(std::vector<std::uint8_t>(data, data + size));
  TBitmap image(2, 2, pf24bit);
  try {
    ReadBitmapFile(stream, image);
    // Converting writes every pixel; for the huge pictures a few header bytes can declare, that
    // would only slow the run down without reaching new code.
    if (image.Empty() || std::uint64_t(image.Width()) * std::uint64_t(image.Height()) > (1u << 22)) return 0;
    const TBitmap wide = ConvertTo32Bit(image);
    TMemoryStream out;
    WriteBitmapFile(wide, out);
  } catch (const Exception&) {
  }
  return 0;
}
