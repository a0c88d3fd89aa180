// Feeds arbitrary bytes to the JPEG load the program runs when a picture is opened: the header's
// cost, then the reader through a memory stream, the scan limits, the orientation, the decode and
// the 32-bit source picture. Every picture up to the image limit is decoded, however large its
// header declares it, so that inputs whose scans or sizes cost far more than their bytes are found
// by the run's time limit. Refusals are expected; anything else (a crash, a sanitizer report, an
// allocation beyond the run's limit, a picture that is not opaque 32 bits of the declared size,
// upright) is a fault.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture/loading.h"
#include "toolkit/errors.h"
#include "toolkit/stream.h"

namespace {

void Check(bool holds) {
  if (!holds) __builtin_trap();
}

// Every pixel opaque. Kept out of the coverage tracing: a comparison traced for each of a quarter
// of a billion pixels would spend the run's time limit in the check instead of in the loader.
__attribute__((no_sanitize("coverage"))) bool AllOpaque(const TBitmap& picture) {
  const std::uint8_t* bytes = picture.Bits();
  bool opaque = true;
  for (std::size_t i = 3; i < picture.BitsSize(); i += 4) opaque &= bytes[i] == 255;
  return opaque;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  TPictureCost declared;
  bool known = false;
  try {
    TMemoryStream header(bytes);
    declared = ReadPictureCost(header, TPictureKind::JPEG);
    known = true;
  } catch (const Exception&) {
  }
  try {
    TMemoryStream stream(bytes);
    const TBitmap picture = ReadSourcePicture(stream, TPictureKind::JPEG);
    Check(known);  // a file whose header cannot be read never loads
    Check(picture.PixelFormat() == pf32bit);
    const bool asStored = picture.Width() == declared.Width && picture.Height() == declared.Height;
    const bool turned = picture.Width() == declared.Height && picture.Height() == declared.Width;
    Check(asStored || turned);
    Check(AllOpaque(picture));
  } catch (const Exception&) {
  }
  return 0;
}
