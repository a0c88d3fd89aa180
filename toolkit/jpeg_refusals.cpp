#include "toolkit/jpeg_refusals.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "toolkit/messages.h"

std::string JPEGRefusalText(int messageCode) {
  switch (messageCode) {
    case JERR_BAD_PRECISION: return SJPEGTwelveBit;
    // Processes this build of libjpeg leaves out (arithmetic coding where omitted) or never knew
    // (lossless, hierarchical frames).
    case JERR_NOT_COMPILED:
    case JERR_SOF_UNSUPPORTED: return SJPEGUnsupportedKind;
    case JERR_NO_SOI: return SJPEGNotJPEG;
    case JERR_INPUT_EMPTY: return SFileEmpty;
    default: {
      std::string text(SJPEGError);
      text.replace(text.find("%d"), 2, std::to_string(messageCode));
      return text;
    }
  }
}
