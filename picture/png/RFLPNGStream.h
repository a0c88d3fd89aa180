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
#include "picture/png/RFLZLIB.h"
#include "picture/png/messages.h"
#include "toolkit/bitmap.h"
#include "toolkit/errors.h"

// Errors of the PNG library, with the texts of picture/png/messages.h.
class ERFLPNG : public Exception {
 public:
  using Exception::Exception;
};

// A date and time as the tIME chunk stores it (UTC). All zero is no valid time: no tIME chunk.
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

// Colour types of a PNG image.
enum class TPngColourType : std::uint8_t {
  Grayscale = 0,
  Truecolour = 2,
  Indexed = 3,
  GrayscaleAlpha = 4,
  TruecolourAlpha = 6,
};

// A colour setting (BackgroundColor, TransparentColor) with this bit set names a palette index in
// its low byte instead of a colour 0x00BBGGRR.
inline constexpr std::int32_t PaletteIndexFlag = 0x1000000;

// PhysicalUnit: the pixels-per-unit values are a ratio only, per metre, or dots per inch (written
// as dots per metre).
enum TPngPhysicalUnit : std::uint8_t { puNone = 0, puMetre = 1, puInch = 2 };

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

// The settings of a PNG save. The picture object holds one and hands it to the encoder of every
// save; the defaults are the encoder's, and the picture's but for Gamma and ImageTime.
struct TPngSettings {
  int IdatSize = 32768;                      // bytes of every IDAT chunk but the last; 256..100000
  int CompressionLevel = -1;                 // deflate level; outside 0..9 the library default (6)
  std::uint8_t FilterMode = FilterModeNone;  // a TPngFilterMode; above 5 acts as None
  bool Interlaced = false;                   // Adam7
  bool Grayscale = false;                    // grey levels instead of colours
  std::string Comment;                       // tEXt "Comment" when not empty
  std::int32_t BackgroundColor = -1;         // bKGD: -1 none, 0x00BBGGRR, or PaletteIndexFlag | index
  std::int32_t TransparentColor = -1;        // tRNS, like BackgroundColor; none when the image has alpha
  double Gamma = 0;                          // gAMA when Gamma x 100000, truncated, is above 0
  std::int32_t SignificantBits = 0;          // sBIT bytes, least significant first; 0 none
  std::uint8_t PhysicalUnit = puNone;        // a TPngPhysicalUnit
  std::int32_t PixelsPerUnitX = 0;           // pHYs when both are at least 1
  std::int32_t PixelsPerUnitY = 0;
  bool UseCurrentTime = true;                // tIME from the encoder's clock; otherwise from ImageTime
  PngTime ImageTime;                         // tIME unless UseCurrentTime; none while not a valid time
  TPngChromaticities Chromaticities{};       // cHRM when the first two values are not 0
  TPngGifControl GifControl{};               // gIFg when not all 0
  TPngWriteRowHook RowHook;                  // runs only when RowHookKey is not empty
  std::string RowHookKey;
};

// What one encoding writes, chosen from the bitmap and the settings.
struct TPngOutputFormat {
  int SourceBits = 24;   // 1, 4, 8, 15, 16, 24 or 32: the layout of the rows read
  int OutputBits = 24;   // SourceBits, but 24 for 15 and 16, and 8 for grey output of deeper images
  int RowBits = 24;      // bits of a PNG pixel: 1, 4, 8, 16, 24 or 32
  int BitDepth = 8;
  TPngColourType ColourType = TPngColourType::Truecolour;
  bool HasAlpha = false;
  bool GrayOutput = false;
};

class TRFLPNGWriteStream : public TRFLCustomGraphicWriteStream {
 public:
  static constexpr int MinIdatSize = 256;
  static constexpr int MaxIdatSize = 100000;

  TRFLPNGWriteStream() = default;

  // Every encoding first checks Settings.IdatSize: outside 256..100000 it throws
  // ERFLPNG(SIdatSizeError) before any byte is written.
  TPngSettings Settings;
  TUtcClock Clock = CurrentUtcTime;
  // When set, called with an image row's number before that row (and its mask row) is read: for an
  // image whose rows are still being made while it is written. Changes no byte of the file.
  std::function<void(int row)> BeforeRow;

  // Sets Settings.IdatSize; throws ERFLPNG(SIdatSizeError) outside 256..100000.
  void SetIdatSize(int size);
  int IdatSize() const { return Settings.IdatSize; }

  // Encodes `image` with `alphaMask` offered as its transparency, which is used when it is 8-bit,
  // of the image's size, not empty and not the image itself; otherwise the image has no alpha.
  void WriteImage(const TBitmap& image, const TBitmap& alphaMask, TStream& stream,
                  const TProgressEvent& onProgress = {});
  // Encodes `image` without alpha.
  using TRFLCustomGraphicWriteStream::WriteImage;

  // Writes one chunk: length (big-endian), type, data, CRC-32 over type and data (big-endian).
  void WriteChunk(const char* type, const void* data, std::uint32_t length);

 protected:
  void Encode() override;

 private:
  void ChooseOutputFormat();
  void WriteHeaderChunks();
  void BuildGrayTable();
  void WriteImageRows();
  void WritePasses();

  const TBitmap* offeredMask_ = nullptr;  // during WriteImage with a mask only
  const TBitmap* source_ = nullptr;       // the image, or its 32-bit copy (see SourceBits)
  TBitmap converted_;
  const TBitmap* mask_ = nullptr;         // the accepted mask, or null
  TPngOutputFormat format_;
  std::array<std::uint8_t, 256> grayTable_{};
  RowCompressor compressor_;
};
