// Feeds arbitrary bytes to the JPEG load the program runs when a picture is opened: the reader
// through a memory stream, the size check, the decode and the conversion to the 32-bit source
// picture. Refusals are expected; anything else (a crash, a sanitizer report, an allocation beyond
// the run's limit, a picture that is not opaque 32 bits of the declared size) is a fault.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture/loading.h"
#include "toolkit/errors.h"
#include "toolkit/jpeg_image.h"
#include "toolkit/stream.h"

namespace {

// Pictures above this many pixels go through exactly the same code as smaller ones, only for
// longer: a few header bytes can declare a quarter of a billion pixels that fit the image limit,
// and decoding those would spend the run on a handful of inputs. Pictures beyond the limit are
// still loaded, to see them refused.
constexpr std::uint64_t kMostPixelsDecoded = std::uint64_t(1) << 22;

void Check(bool holds) {
  if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  try {
    TJPEGImage probe;
    TMemoryStream header(bytes);
    probe.LoadFromStream(header);
    const TJPEGImage::TDimensions declared = probe.Dimensions();
    const std::uint64_t pixels = std::uint64_t(declared.Width) * std::uint64_t(declared.Height);
    const bool fits = RowStride(declared.Width, 32) * std::uint64_t(declared.Height) <= MaxPixelBlockBytes;
    if (fits && pixels > kMostPixelsDecoded) return 0;

    TMemoryStream stream(bytes);
    const TBitmap picture = ReadSourcePicture(stream, TPictureKind::JPEG);
    Check(fits);
    Check(picture.PixelFormat() == pf32bit);
    Check(picture.Width() == declared.Width && picture.Height() == declared.Height);
    for (int y = 0; y < picture.Height(); ++y) {
      const std::uint8_t* row = picture.ScanLine(y);
      for (int x = 0; x < picture.Width(); ++x) Check(row[4 * x + 3] == 255);
    }
  } catch (const Exception&) {
  }
  return 0;
}
