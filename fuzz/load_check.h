#pragma once
// The common body of the readers' fuzz targets: the header's cost, then the load through a memory
// stream, as the program runs them when a picture is opened. Refusals are expected; anything else
// (a crash, a sanitizer report, an allocation beyond the run's limit, a picture that loads although
// its header was refused, or whose size is not the declared one) is a fault.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture/loading.h"
#include "toolkit/errors.h"
#include "toolkit/stream.h"

inline void FuzzCheck(bool holds) {
  if (!holds) __builtin_trap();
}

inline void FuzzLoad(const std::uint8_t* data, std::size_t size, TPictureKind kind) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  TPictureCost declared;
  bool known = false;
  try {
    TMemoryStream header(bytes);
    declared = ReadPictureCost(header, kind);
    known = true;
  } catch (const Exception&) {
  }
  try {
    TMemoryStream stream(bytes);
    const TBitmap picture = ReadSourcePicture(stream, kind);
    FuzzCheck(known);
    FuzzCheck(picture.PixelFormat() == pf32bit);
    FuzzCheck(picture.Width() == declared.Width && picture.Height() == declared.Height);
  } catch (const Exception&) {
  }
}
