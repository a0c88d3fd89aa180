#pragma once
// TJPEGImage: a JPEG picture held as its file bytes and decoded by libjpeg when it is assigned to a
// bitmap.
//
// Decoding runs at full size with the floating-point inverse DCT and block smoothing, in the
// colour space libjpeg chooses for the file. Colour files become opaque pf32bit images (blue,
// green, red, alpha 255), which libjpeg writes directly; one-component (grey) files are quantised
// by libjpeg to at most 236 grey levels and become pf8bit images whose colour table is the
// quantiser's palette. Decoder warnings (a truncated file, for example) are ignored: the picture
// decodes as far as the data goes.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/bitmap.h"
#include "toolkit/errors.h"
#include "toolkit/stream.h"

// A fatal decoder error. The message is SJPEGError with libjpeg's message number.
class EJPEG : public Exception {
 public:
  explicit EJPEG(int messageCode);
  int MessageCode() const { return messageCode_; }

 private:
  int messageCode_;
};

// Most colours the grey-scale quantiser may use.
inline constexpr int JPEGQuantisedColours = 236;

class TJPEGImage {
 public:
  TJPEGImage() = default;

  // Takes the whole file (or the stream from its position to the end) as the picture's data.
  // Nothing is decoded yet; a file that cannot be opened gives the stream's open error, a file
  // larger than an image may be gives EOutOfResources.
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(TStream& stream);

  // The held bytes, as loaded.
  const std::vector<std::uint8_t>& Data() const { return data_; }
  bool Empty() const { return data_.empty(); }

  // The size of the picture the held data decodes to, read from the file's header alone, however
  // large a picture the header declares. Throws EJPEG, as AssignTo would, when the header cannot be
  // read.
  struct TDimensions {
    int Width = 0;
    int Height = 0;
  };
  TDimensions Dimensions() const;

  // Decodes the held data and replaces `target` by the picture; on any error (EJPEG, or
  // EOutOfResources for a picture beyond the image size limit, refused before decoding starts)
  // `target` keeps its contents. A large single-scan colour picture is decoded in two parts at once
  // where the shared worker pool has a thread free, with the same pixels and errors as one decoder.
  void AssignTo(TBitmap& target) const;

 private:
  std::vector<std::uint8_t> data_;
};

namespace jpeg_detail {
// The picture AssignTo gives, with the rows from `split` on (0 < split < its height) formed by a
// second decoder that passes over the rows above them, the two run one after the other: the
// two-part decoding without its timing, for the tests. Any other split decodes with one decoder.
TBitmap DecodeInTwoParts(const std::vector<std::uint8_t>& data, int split);
}  // namespace jpeg_detail
