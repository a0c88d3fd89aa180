#pragma once
// JPEG pictures decoded by libjpeg.
//
// Decoding runs at full size with the floating-point inverse DCT and block smoothing, in the
// colour space libjpeg chooses for the file. Colour files become opaque pf32bit images (blue,
// green, red, alpha 255), which libjpeg writes directly; CMYK and YCCK files (which libjpeg turns
// into CMYK) are converted to the same form, red being C' x K' / 255 rounded (green from M', blue
// from Y'), where C' = 255 - C, or C itself in Adobe's inverted files (those with an APP14 marker);
// one-component (grey) files are quantised by libjpeg to at most 236 grey levels. Decoder warnings
// (a truncated file, for example) are ignored: the picture decodes as far as the data goes.
//
// The cost of a decode is bounded by the picture's size, whatever the file holds: a file with more
// than JPEGMostScans scans, or whose scans together go over its picture more often than
// JPEGMostPasses times, is refused with EJPEGTooManyScans as soon as the scan that goes too far
// begins. A picture beyond the image limit is refused before anything is decoded.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/bitmap.h"
#include "toolkit/errors.h"
#include "toolkit/stream.h"

// A fatal decoder error: a sentence for the common refusals, otherwise SJPEGError with libjpeg's
// message number (JPEGRefusalText).
class EJPEG : public Exception {
 public:
  explicit EJPEG(int messageCode);
  int MessageCode() const { return messageCode_; }

 protected:
  EJPEG(int messageCode, const std::string& message) : Exception(message), messageCode_(messageCode) {}

 private:
  int messageCode_;
};

// A file whose scans would cost far more than decoding its picture (SJPEGTooManyScans). It has no
// libjpeg message number: MessageCode() is 0.
class EJPEGTooManyScans : public EJPEG {
 public:
  EJPEGTooManyScans() : EJPEG(0, SJPEGTooManyScans) {}
};

// Most colours the grey-scale quantiser may use.
inline constexpr int JPEGQuantisedColours = 236;

// Most scans a file may have. Real progressive files have about ten; libjpeg-turbo's own tools
// stop at this many.
inline constexpr int JPEGMostScans = 500;
// Most times the scans may cover the picture's blocks, counting the blocks of each scan's components
// against the blocks of all of the picture's (a scan of 4:2:0 luma is two thirds of a pass). Real files
// make about five passes; even a progression of one coefficient of one component a scan (64
// passes) stays within it. A scan without data still costs a pass over its blocks.
inline constexpr int JPEGMostPasses = 72;
// Scans of small pictures may cover this many blocks in all however often they cover the picture:
// then only JPEGMostScans limits them. A fraction of a second of decoding.
inline constexpr std::uint64_t JPEGAlwaysAllowedScanBlocks = std::uint64_t(1) << 24;

// A picture decoded in two parts holds its file's bytes: at most this many before its scan's data
// (markers, tables, metadata), and at most one byte a pixel of that data. A file with more is
// decoded by one decoder that reads as it goes.
inline constexpr std::uint64_t JPEGMostHeldHeaderBytes = std::uint64_t(1) << 20;

// What a JPEG file's header declares, read without decoding any pixels.
struct TJPEGHeader {
  int Width = 0;  // as stored, before any orientation tag is applied
  int Height = 0;
  // The decoder's working memory for this file beyond the picture: the coefficients of a file with
  // several scans (refused beyond the image limit), the input buffer and a few rows of samples;
  // for a picture that may be decoded in two parts, also the file's bytes it holds and the second
  // decoder's rows.
  std::uint64_t DecoderBytes = 0;
};

// Reads the header from the stream's position (libjpeg reads up to the first scan). Throws EJPEG
// when it cannot be read.
TJPEGHeader ReadJPEGHeader(TStream& stream);

// Decodes the JPEG file from the stream's position into the program's source picture: a new
// opaque pf32bit image, grey files expanded from their quantised levels, turned upright by the
// orientation tag of the file's EXIF block (a damaged block counts as none). The stream is read in
// pieces and no further than the picture needs: markers that are not kept are skipped, not read; a
// file of one scan is read up to its last row of blocks, one of several scans up to its end of
// image or as far as its scans' data can reach. A large single-scan colour photo upright as stored
// is taken into memory up to its end of image (within JPEGMostHeldHeaderBytes and one byte a
// pixel) and decoded in two parts at once where the shared worker pool has a thread free, with the
// pixels one decoder gives. Throws EJPEG (EJPEGTooManyScans included) and
// EOutOfResources (SImageTooLarge) for a picture beyond the image limit at 32 bits, before any of
// it is decoded.
TBitmap ReadJPEGPicture(TStream& stream);

// TJPEGImage: a JPEG picture held as its file bytes and decoded when it is assigned to a bitmap.
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

  // Decodes the held data as stored (no orientation) and replaces `target` by the picture: colour
  // and CMYK files as opaque pf32bit, grey files as pf8bit images of quantised levels whose colour
  // table is the quantiser's palette. On any error (EJPEG, or EOutOfResources for a picture beyond
  // the image size limit, refused before decoding starts) `target` keeps its contents. A large
  // single-scan colour picture is decoded in two parts at once where the shared worker pool has a
  // thread free, with the same pixels and errors as one decoder.
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
