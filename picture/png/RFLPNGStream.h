#pragma once
// TRFLPNGWriteStream: encodes one bitmap, optionally with an 8-bit transparency mask, as a PNG
// file. It chooses bit depth and colour type from the bitmap, writes the chunks in a fixed order,
// converts each bitmap row into PNG sample order, walks the rows plainly or in the seven Adam7
// passes, and hands them to the row compressor, whose full buffers become IDAT chunks.
//
// Alpha comes from the mask only: alpha = 255 - mask byte. The fourth byte of a 32-bit pixel is
// never read.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "picture/png/RFLStream.h"
#include "picture/png/messages.h"
#include "picture/png/RFLZLIB.h"
#include "toolkit/bitmap.h"
#include "toolkit/errors.h"

// Errors of the PNG library, with the texts of picture/png/messages.h.
class ERFLPNG : public Exception {
 public:
  using Exception::Exception;
};

// A date and time as the tIME chunk stores it (UTC).
struct PngTime {
  std::uint16_t Year = 0;
  std::uint8_t Month = 0;
  std::uint8_t Day = 0;
  std::uint8_t Hour = 0;
  std::uint8_t Minute = 0;
  std::uint8_t Second = 0;
  friend bool operator==(const PngTime&, const PngTime&) = default;
};

// Answers the current date and time in UTC. Replaceable so that tests can fix the clock.
using TUtcClock = std::function<PngTime()>;
PngTime CurrentUtcTime();

// cHRM values in chunk order: white x, white y, red x, red y, green x, green y, blue x, blue y.
using TPngChromaticities = std::array<std::uint32_t, 8>;
// gIFg contents: disposal method, user-input flag, 16-bit delay as stored.
using TPngGifControl = std::array<std::uint8_t, 4>;

// Grey level of a colour: (77 red + 150 green + 29 blue) / 256.
inline std::uint8_t GrayLevel(int red, int green, int blue) {
  return std::uint8_t((77 * red + 150 * green + 29 * blue) / 256);
}

class TRFLPNGWriteStream;
// Called for every converted row before it is compressed; may change the row in place.
// Arguments: the encoder, the row (no filter byte), its length, the row number over all passes
// (from 0), and the key.
using TPngWriteRowHook = std::function<void(TRFLPNGWriteStream& sender, std::uint8_t* row, int length,
                                            int rowNumber, const std::string& key)>;

class TRFLPNGWriteStream : public TRFLCustomGraphicWriteStream {
 public:
  static constexpr int MinIdatSize = 256;
  static constexpr int MaxIdatSize = 100000;

  TRFLPNGWriteStream() = default;

  // Bytes of every IDAT chunk but the last. Throws ERFLPNG(SIdatSizeError) outside 256..100000.
  void SetIdatSize(int size);
  int IdatSize() const { return idatSize_; }

  int CompressionLevel = -1;      // deflate level; outside 0..9 the library default (6)
  int FilterMode = 1;             // 0 adaptive, 1 None, 2 Sub, 3 Up, 4 Average, 5 Paeth; above 5: None
  int Interlaced = 0;             // 0 plain, otherwise Adam7
  bool Grayscale = false;         // write grey levels instead of colours
  std::string Comment;            // tEXt "Comment" when not empty
  std::int32_t BackgroundColor = -1;   // bKGD: -1 none, 0x00BBGGRR, or 0x1000000 | palette index
  std::int32_t TransparentColor = -1;  // tRNS, encoded like BackgroundColor; ignored with alpha
  double Gamma = 0;               // gAMA when Gamma x 100000 (truncated) is above 0
  std::int32_t SignificantBits = 0;    // sBIT bytes, least significant first; 0 none
  std::int32_t PhysicalUnit = 0;  // pHYs: 0 no unit, 1 per metre, 2 values are dots per inch
  std::int32_t PixelsPerUnitX = 0;
  std::int32_t PixelsPerUnitY = 0;
  bool UseCurrentTime = true;     // tIME from Clock; otherwise from ImageTime
  const PngTime* ImageTime = nullptr;
  const TPngChromaticities* Chromaticities = nullptr;
  const TPngGifControl* GifControl = nullptr;
  TPngWriteRowHook RowHook;
  std::string RowHookKey;         // the hook runs only when this is not empty
  const TBitmap* AlphaMask = nullptr;  // used when 8-bit, of the image's size and not the image
  TUtcClock Clock = CurrentUtcTime;

  // Writes one chunk: length (big-endian), type, data, CRC-32 over type and data (big-endian).
  void WriteChunk(const char* type, const void* data, std::uint32_t length);

  // The state of the last encoding, for inspection.
  int SourceBits() const { return sourceBits_; }
  int OutputBits() const { return outputBits_; }
  int RowBits() const { return rowBits_; }
  bool HasAlpha() const { return hasAlpha_; }
  const std::array<std::uint8_t, 256>& GrayTable() const { return grayTable_; }

 protected:
  void Encode() override;

 private:
  void ChooseOutputFormat();
  void WriteHeaderChunks();
  void WriteTextChunk(const std::string& keyword, const std::string& text);
  void WriteColourChunk(const char* type, std::int32_t colour, bool transparency);
  void BuildGrayTable();
  void WriteImageRows();
  void WritePasses();
  void ConvertRow(const std::uint8_t* pixels, const std::uint8_t* mask, int firstColumn, int columnStep,
                  int count, std::uint8_t* out) const;

  int idatSize_ = 32768;
  const TBitmap* source_ = nullptr;  // the image, or its 32-bit copy for unusual 16-bit or bit-field layouts
  TBitmap converted_;
  const TBitmap* mask_ = nullptr;
  int sourceBits_ = 24;
  int outputBits_ = 24;
  int rowBits_ = 24;
  int bitDepth_ = 8;
  int colourType_ = 2;
  bool hasAlpha_ = false;
  bool grayOutput_ = false;
  std::array<std::uint8_t, 256> grayTable_{};
  RowCompressor compressor_;
};
