#include "picture/png/RFLPNGStream.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

#include "numeric/extended.h"
#include "toolkit/byte_order.h"

namespace {

constexpr std::uint8_t Signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr const char* SoftwareName = "RFLPNG ver 3.4";

// The methods of the image header: the only compression and filter methods a PNG knows, and the
// two interlace methods.
constexpr std::uint8_t CompressionMethodDeflate = 0;
constexpr std::uint8_t FilterMethodAdaptive = 0;  // each row names one of the five basic filters
constexpr std::uint8_t InterlaceMethodNone = 0;
constexpr std::uint8_t InterlaceMethodAdam7 = 1;

// A tEXt keyword holds 1 to 79 bytes.
constexpr std::size_t MaxKeywordLength = 79;

std::uint8_t EntryGray(const TRGBQuad& q) { return GrayLevel(q.rgbRed, q.rgbGreen, q.rgbBlue); }

// The first palette entry with the least sum of channel differences; -1 without a palette.
int NearestPaletteIndex(const std::vector<TRGBQuad>& palette, std::int32_t colour) {
  const int r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
  int best = -1;
  int bestDistance = 0;
  const int count = int(std::min<std::size_t>(palette.size(), 256));
  for (int i = 0; i < count; ++i) {
    const TRGBQuad& q = palette[std::size_t(i)];
    const int distance = std::abs(q.rgbRed - r) + std::abs(q.rgbGreen - g) + std::abs(q.rgbBlue - b);
    if (best < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
      if (distance == 0) break;
    }
  }
  return best;
}

// ---- The chunks before the image data, one writer each; every writer decides itself whether its
// chunk is written.

void WriteImageHeaderChunk(TRFLPNGWriteStream& png, const TBitmap& image, const TPngOutputFormat& format,
                           bool interlaced) {
  std::uint8_t data[13];
  StoreBE32(data, std::uint32_t(image.Width()));
  StoreBE32(data + 4, std::uint32_t(image.Height()));
  data[8] = std::uint8_t(format.BitDepth);
  data[9] = std::uint8_t(format.ColourType);
  data[10] = CompressionMethodDeflate;
  data[11] = FilterMethodAdaptive;
  data[12] = interlaced ? InterlaceMethodAdam7 : InterlaceMethodNone;
  png.WriteChunk("IHDR", data, 13);
}

// With UseCurrentTime the clock's time, otherwise ImageTime; nothing unless it is a valid date.
void WriteTimeChunk(TRFLPNGWriteStream& png, const TPngSettings& settings, const TUtcClock& clock) {
  PngTime time = settings.ImageTime;
  if (settings.UseCurrentTime) time = clock ? clock() : CurrentUtcTime();
  if (time.Year == 0 || time.Month < 1 || time.Month > 12 || time.Day < 1 || time.Day > 31 || time.Hour > 23 ||
      time.Minute > 59 || time.Second > 60)
    return;
  std::uint8_t data[7];
  StoreBE16(data, time.Year);
  data[2] = time.Month;
  data[3] = time.Day;
  data[4] = time.Hour;
  data[5] = time.Minute;
  data[6] = time.Second;
  png.WriteChunk("tIME", data, 7);
}

void WriteTextChunk(TRFLPNGWriteStream& png, const std::string& keyword, const std::string& text) {
  if (keyword.empty() || keyword.size() > MaxKeywordLength) return;
  std::vector<std::uint8_t> data(keyword.begin(), keyword.end());
  data.push_back(0);
  data.insert(data.end(), text.begin(), text.end());
  png.WriteChunk("tEXt", data.data(), std::uint32_t(data.size()));
}

void WriteCommentChunk(TRFLPNGWriteStream& png, const std::string& comment) {
  if (!comment.empty()) WriteTextChunk(png, "Comment", comment);
}

// The library's own chunk: its mark, then whether a row hook changed the rows.
void WriteLibraryChunk(TRFLPNGWriteStream& png, bool rowsHooked) {
  const std::uint8_t data[8] = {'R', 'F', 'L', '3', std::uint8_t(rowsHooked ? 1 : 0), 0, 0, 0};
  png.WriteChunk("tpNG", data, 8);
}

void WriteGifControlChunk(TRFLPNGWriteStream& png, const TPngGifControl& control) {
  if (control == TPngGifControl{}) return;
  png.WriteChunk("gIFg", control.data(), 4);
}

void WriteGammaChunk(TRFLPNGWriteStream& png, double gamma) {
  // Gamma x 100000 truncated; PNG integers stop at 2^31 - 1, and a NaN is no gamma at all.
  const Extended scaled = Extended(gamma) * 100000;
  if (!(scaled >= 1 && scaled < 2147483648.0)) return;
  std::uint8_t data[4];
  StoreBE32(data, std::uint32_t(ExtTrunc(scaled)));
  png.WriteChunk("gAMA", data, 4);
}

void WriteChromaticitiesChunk(TRFLPNGWriteStream& png, const TPngChromaticities& values) {
  if (values[0] == 0 || values[1] == 0) return;  // no white point: no chromaticities
  std::uint8_t data[32];
  for (std::size_t i = 0; i < values.size(); ++i) StoreBE32(data + 4 * i, values[i]);
  png.WriteChunk("cHRM", data, 32);
}

// Grey output has no sBIT; 15- and 16-bit sources force their own channel depths.
void WriteSignificantBitsChunk(TRFLPNGWriteStream& png, std::int32_t significantBits, const TPngOutputFormat& format) {
  if (significantBits <= 0 || format.GrayOutput) return;
  std::uint32_t bits = std::uint32_t(significantBits);
  const bool highColour = format.SourceBits == 15 || format.SourceBits == 16;
  if (format.SourceBits == 15) bits = 0x050505 | (bits & 0xFF000000);
  if (format.SourceBits == 16) bits = 0x050605 | (bits & 0xFF000000);
  if (format.HasAlpha && highColour) bits = (bits & 0xFFFFFF) | 0x08000000;
  std::uint8_t data[4];
  StoreLE32(data, bits);
  png.WriteChunk("sBIT", data, format.HasAlpha ? 4 : 3);
}

void WritePaletteChunk(TRFLPNGWriteStream& png, const std::vector<TRGBQuad>& palette, const TPngOutputFormat& format) {
  if (format.GrayOutput || format.OutputBits > 8 || palette.empty()) return;
  // A PNG palette holds no more entries than the bit depth can index.
  const std::size_t count = std::min<std::size_t>(palette.size(), std::size_t(1) << format.OutputBits);
  std::vector<std::uint8_t> entries(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    entries[3 * i] = palette[i].rgbRed;
    entries[3 * i + 1] = palette[i].rgbGreen;
    entries[3 * i + 2] = palette[i].rgbBlue;
  }
  png.WriteChunk("PLTE", entries.data(), std::uint32_t(entries.size()));
}

// bKGD or tRNS from a colour setting, in the form of the output: a grey sample, a palette index
// (for tRNS: opaque entries up to a transparent one), or three 16-bit channels.
void WriteColourChunk(TRFLPNGWriteStream& png, const char* type, std::int32_t colour, bool transparency,
                      const std::vector<TRGBQuad>& palette, const TPngOutputFormat& format) {
  std::uint8_t data[256];
  if (format.GrayOutput) {
    if ((colour & PaletteIndexFlag) && format.SourceBits <= 8) {
      const std::size_t index = std::size_t(colour & 0xFF);
      if (index >= palette.size()) return;  // no such entry: no colour to name
      const TRGBQuad& q = palette[index];
      colour = std::int32_t(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
    }
    const int gray = GrayLevel(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    const int sample = format.SourceBits == 1 ? (gray >= 128 ? 1 : 0) : format.SourceBits == 4 ? gray / 16 : gray;
    StoreBE16(data, std::uint16_t(sample));
    png.WriteChunk(type, data, 2);
  } else if (format.SourceBits <= 8) {
    const int index = (colour & PaletteIndexFlag) ? (colour & 0xFF) : NearestPaletteIndex(palette, colour);
    if (index < 0) return;
    if (!transparency) {
      data[0] = std::uint8_t(index);
      png.WriteChunk(type, data, 1);
    } else {
      std::memset(data, 255, std::size_t(index));
      data[index] = 0;
      png.WriteChunk(type, data, std::uint32_t(index + 1));
    }
  } else {
    StoreBE16(data, std::uint16_t(colour & 0xFF));
    StoreBE16(data + 2, std::uint16_t((colour >> 8) & 0xFF));
    StoreBE16(data + 4, std::uint16_t((colour >> 16) & 0xFF));
    png.WriteChunk(type, data, 6);
  }
}

void WriteBackgroundChunk(TRFLPNGWriteStream& png, std::int32_t colour, const std::vector<TRGBQuad>& palette,
                          const TPngOutputFormat& format) {
  if (colour != -1) WriteColourChunk(png, "bKGD", colour, false, palette, format);
}

// An image with alpha carries its transparency in the alpha samples, never in tRNS.
void WriteTransparencyChunk(TRFLPNGWriteStream& png, std::int32_t colour, const std::vector<TRGBQuad>& palette,
                            const TPngOutputFormat& format) {
  if (colour != -1 && !format.HasAlpha) WriteColourChunk(png, "tRNS", colour, true, palette, format);
}

void WritePhysicalSizeChunk(TRFLPNGWriteStream& png, std::uint8_t unit, std::int32_t perUnitX, std::int32_t perUnitY) {
  if (perUnitX < 1 || perUnitY < 1) return;
  Extended x = perUnitX, y = perUnitY;
  if (unit == puInch) {
    // Dots per inch to dots per metre.
    x = ExtTrunc(x * 100 / 254 * 100);
    y = ExtTrunc(y * 100 / 254 * 100);
  }
  // PNG integers stop at 2^31 - 1: a resolution beyond that is not written rather than wrapped.
  if (x > INT32_MAX || y > INT32_MAX) return;
  std::uint8_t data[9];
  StoreBE32(data, std::uint32_t(x));
  StoreBE32(data + 4, std::uint32_t(y));
  data[8] = unit == puMetre || unit == puInch ? puMetre : puNone;
  png.WriteChunk("pHYs", data, 9);
}

// ---- Rows: one converter per source layout. Each writes Count pixels of a bitmap row, those at
// columns First, First + Step, ..., in PNG sample order; with a mask row, alpha follows every pixel
// of a grey or colour output.

struct TRowPixels {
  const std::uint8_t* In;    // the bitmap row
  const std::uint8_t* Mask;  // the mask row when the output has alpha, else null
  int First, Step, Count;
};

// 5- and 6-bit channels widened to 8 bits so that all bits set gives 255.
inline std::uint8_t Widen5(unsigned v) { return std::uint8_t(v * 8 + v / 4); }
inline std::uint8_t Widen6(unsigned v) { return std::uint8_t(v * 4 + v / 16); }

// Packed 1-bit indices, copied, or gathered bit by bit; inverted for a grey light-to-dark palette.
void Convert1BitRow(const TRowPixels& row, bool invert, std::uint8_t* out) {
  const int bytes = (row.Count + 7) / 8;
  if (row.Step == 1) {
    std::memcpy(out, row.In, std::size_t(bytes));
  } else {
    std::memset(out, 0, std::size_t(bytes));
    for (int i = 0, x = row.First; i < row.Count; ++i, x += row.Step)
      out[i >> 3] |= std::uint8_t(((row.In[x >> 3] >> (7 - (x & 7))) & 1) << (7 - (i & 7)));
  }
  if (invert)
    for (int i = 0; i < bytes; ++i) out[i] = std::uint8_t(~out[i]);
}

// Packed 4-bit indices, copied, or gathered nibble by nibble; through `grayTable` for grey output.
void Convert4BitRow(const TRowPixels& row, const std::uint8_t* grayTable, std::uint8_t* out) {
  const int bytes = (row.Count + 1) / 2;
  if (row.Step == 1 && grayTable == nullptr) {
    std::memcpy(out, row.In, std::size_t(bytes));
    return;
  }
  std::memset(out, 0, std::size_t(bytes));
  for (int i = 0, x = row.First; i < row.Count; ++i, x += row.Step) {
    int v = (row.In[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
    if (grayTable) v = grayTable[std::size_t(v)] & 15;
    out[i >> 1] |= std::uint8_t(v << ((i & 1) ? 0 : 4));
  }
}

// 8-bit indices, copied; for grey output their grey levels, then alpha.
void Convert8BitRow(const TRowPixels& row, const std::uint8_t* grayTable, std::uint8_t* out) {
  if (grayTable == nullptr) {
    if (row.Step == 1) {
      std::memcpy(out, row.In, std::size_t(row.Count));
    } else {
      for (int i = 0, x = row.First; i < row.Count; ++i, x += row.Step) out[i] = row.In[x];
    }
    return;
  }
  for (int i = 0, x = row.First; i < row.Count; ++i, x += row.Step) {
    *out++ = grayTable[row.In[x]];
    if (row.Mask) *out++ = std::uint8_t(~row.Mask[x]);
  }
}

// Little-endian 16-bit pixels, x-R5-G5-B5 or (`green6`) R5-G6-B5, widened to red, green, blue or
// their grey level, then alpha.
void Convert16BitRow(const TRowPixels& row, bool green6, bool gray, std::uint8_t* out) {
  for (int i = 0, x = row.First; i < row.Count; ++i, x += row.Step) {
    const unsigned w = LoadLE16(row.In + 2 * x);
    std::uint8_t r, g, b;
    if (!green6) {
      r = Widen5((w >> 10) & 31);
      g = Widen5((w >> 5) & 31);
    } else {
      r = Widen5((w >> 11) & 31);
      g = Widen6((w >> 5) & 63);
    }
    b = Widen5(w & 31);
    if (gray) {
      *out++ = GrayLevel(r, g, b);
    } else {
      *out++ = r;
      *out++ = g;
      *out++ = b;
    }
    if (row.Mask) *out++ = std::uint8_t(~row.Mask[x]);
  }
}

// Blue, green, red (and a fourth byte that is skipped) to red, green, blue or their grey level,
// then alpha.
void ConvertTrueColourRow(const TRowPixels& row, int bytesPerPixel, bool gray, std::uint8_t* out) {
  const std::uint8_t* p = row.In + std::size_t(row.First) * std::size_t(bytesPerPixel);
  const std::size_t advance = std::size_t(row.Step) * std::size_t(bytesPerPixel);
  const std::uint8_t* m = row.Mask ? row.Mask + row.First : nullptr;
  if (gray) {
    for (int i = 0; i < row.Count; ++i, p += advance) {
      *out++ = GrayLevel(p[2], p[1], p[0]);
      if (m) *out++ = std::uint8_t(~m[std::size_t(i) * std::size_t(row.Step)]);
    }
  } else if (m) {
    for (int i = 0; i < row.Count; ++i, p += advance) {
      out[0] = p[2];
      out[1] = p[1];
      out[2] = p[0];
      out[3] = std::uint8_t(~m[std::size_t(i) * std::size_t(row.Step)]);
      out += 4;
    }
  } else {
    for (int i = 0; i < row.Count; ++i, p += advance) {
      out[0] = p[2];
      out[1] = p[1];
      out[2] = p[0];
      out += 3;
    }
  }
}

void ConvertRow(const TRowPixels& row, const TPngOutputFormat& format, const std::array<std::uint8_t, 256>& grayTable,
                std::uint8_t* out) {
  const std::uint8_t* gray = format.GrayOutput ? grayTable.data() : nullptr;
  switch (format.SourceBits) {
    case 1: return Convert1BitRow(row, format.GrayOutput && grayTable[0] == 255, out);
    case 4: return Convert4BitRow(row, gray, out);
    case 8: return Convert8BitRow(row, gray, out);
    case 15:
    case 16: return Convert16BitRow(row, format.SourceBits == 16, format.GrayOutput, out);
    default: return ConvertTrueColourRow(row, format.SourceBits == 32 ? 4 : 3, format.GrayOutput, out);
  }
}

// The Adam7 passes: starting row, row step, starting column, column step.
struct Pass {
  int Row, RowStep, Column, ColumnStep;
};
constexpr Pass Adam7[7] = {{0, 8, 0, 8}, {0, 8, 4, 8}, {4, 8, 0, 4}, {0, 4, 2, 4},
                           {2, 4, 0, 2}, {0, 2, 1, 2}, {1, 2, 0, 1}};
constexpr Pass WholeImage = {0, 1, 0, 1};

int PassExtent(int size, int first, int step) { return (size - first + step - 1) / step; }

// Rows written for an image of height h in Adam7 order, as the progress schedule counts them.
int InterlacedRowCount(int h) {
  int total = 2 * ((h + 7) / 8) + (h + 3) / 4 + (h + 1) / 2;
  if (h >= 5) total += (h + 3) / 8;
  if (h >= 3) total += (h + 1) / 4;
  if (h >= 2) total += h / 2;
  return total;
}

// The layout the encoder reads a bitmap's rows in: its bits per pixel, 15 and 16 for the two usual
// 16-bit layouts, or ConvertedTo32Bits for any other 16-bit or bit-field layout (a bit-field file
// may keep 5-6-5 with blue on top, or use other masks), which goes through a 32-bit copy made
// through its masks so that its colours survive.
constexpr int ConvertedTo32Bits = 0;
int SourceBitsOf(const TBitmap& image) {
  switch (image.PixelFormat()) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf32bit: return 32;
    case pfDevice: return image.BitCount() == 32 ? 32 : 24;
    case pf15bit:
    case pf16bit:
    case pfCustom:
      if (image.BitCount() == 16 && image.RedMask() == 0x7C00 && image.GreenMask() == 0x03E0 &&
          image.BlueMask() == 0x001F)
        return 15;
      if (image.BitCount() == 16 && image.RedMask() == 0xF800 && image.GreenMask() == 0x07E0 &&
          image.BlueMask() == 0x001F)
        return 16;
      return ConvertedTo32Bits;
    default: return 24;
  }
}

// An offered mask is used only when it is 8-bit, of the image's size, not empty and not the image.
bool FitsAsMask(const TBitmap& mask, const TBitmap& image) {
  return &mask != &image && !mask.Empty() && mask.Width() == image.Width() && mask.Height() == image.Height() &&
         mask.PixelFormat() == pf8bit;
}

void CheckIdatSize(int size) {
  if (size < TRFLPNGWriteStream::MinIdatSize || size > TRFLPNGWriteStream::MaxIdatSize) throw ERFLPNG(SIdatSizeError);
}

}  // namespace

PngTime CurrentUtcTime() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  return PngTime{std::uint16_t(utc.tm_year + 1900), std::uint8_t(utc.tm_mon + 1), std::uint8_t(utc.tm_mday),
                 std::uint8_t(utc.tm_hour), std::uint8_t(utc.tm_min), std::uint8_t(utc.tm_sec)};
}

void TRFLPNGWriteStream::SetIdatSize(int size) {
  CheckIdatSize(size);
  Settings.IdatSize = size;
}

void TRFLPNGWriteStream::WriteImage(const TBitmap& image, const TBitmap& alphaMask, TStream& stream,
                                    const TProgressEvent& onProgress) {
  offeredMask_ = &alphaMask;
  try {
    TRFLCustomGraphicWriteStream::WriteImage(image, stream, onProgress);
  } catch (...) {
    offeredMask_ = nullptr;
    throw;
  }
  offeredMask_ = nullptr;
}

void TRFLPNGWriteStream::WriteChunk(const char* type, const void* data, std::uint32_t length) {
  WriteUInt32BE(length);
  WriteBytes(type, 4);
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
  if (data != nullptr && length > 0) {
    WriteBytes(data, length);
    crc = crc32(crc, static_cast<const Bytef*>(data), uInt(length));
  }
  WriteUInt32BE(std::uint32_t(crc));
}

void TRFLPNGWriteStream::Encode() {
  CheckIdatSize(Settings.IdatSize);
  format_ = TPngOutputFormat{};
  mask_ = nullptr;
  const TBitmap& image = Image();
  // A PNG image has at least one pixel; an empty picture cannot be written as one.
  if (image.Empty()) throw ERFLPNG(SWriteImageError);

  source_ = &image;
  format_.SourceBits = SourceBitsOf(image);
  if (format_.SourceBits == ConvertedTo32Bits) {
    converted_ = ConvertTo32Bit(image);
    source_ = &converted_;
    format_.SourceBits = 32;
  }
  format_.OutputBits = (format_.SourceBits == 15 || format_.SourceBits == 16) ? 24 : format_.SourceBits;
  if (offeredMask_ != nullptr && FitsAsMask(*offeredMask_, image)) mask_ = offeredMask_;

  BeginProgress();
  BeginProgressPhase(10, 30);
  WriteBytes(Signature, sizeof Signature);
  ChooseOutputFormat();
  WriteHeaderChunks();
  StepProgress(10);
  if (!StopRequested()) {
    WriteImageRows();
    if (!StopRequested()) {
      WriteChunk("IEND", nullptr, 0);
      EndProgress();
    }
  }
  converted_ = TBitmap();
}

void TRFLPNGWriteStream::ChooseOutputFormat() {
  TPngOutputFormat& f = format_;
  const bool masked = mask_ != nullptr;
  if (Settings.Grayscale) {
    f.GrayOutput = true;
    if (f.OutputBits == 24 || f.OutputBits == 32) f.OutputBits = 8;
  }
  if (f.OutputBits <= 8) {
    f.BitDepth = f.OutputBits;
    if (f.GrayOutput && f.OutputBits == 8 && masked) {
      f.ColourType = TPngColourType::GrayscaleAlpha;
      f.RowBits = 16;
      f.HasAlpha = true;
    } else {
      f.ColourType = f.GrayOutput ? TPngColourType::Grayscale : TPngColourType::Indexed;
      f.RowBits = f.OutputBits;
    }
  } else {
    f.BitDepth = 8;
    f.ColourType = masked ? TPngColourType::TruecolourAlpha : TPngColourType::Truecolour;
    f.RowBits = masked ? 32 : 24;
    f.HasAlpha = masked;
  }
}

void TRFLPNGWriteStream::WriteHeaderChunks() {
  const TPngSettings& s = Settings;
  const auto& palette = source_->Palette();
  // The order of the chunks in the file.
  WriteImageHeaderChunk(*this, *source_, format_, s.Interlaced);
  WriteTimeChunk(*this, s, Clock);
  WriteCommentChunk(*this, s.Comment);
  WriteTextChunk(*this, "Software", SoftwareName);
  WriteLibraryChunk(*this, s.RowHook && !s.RowHookKey.empty());
  WriteGifControlChunk(*this, s.GifControl);
  WriteGammaChunk(*this, s.Gamma);
  WriteChromaticitiesChunk(*this, s.Chromaticities);
  WriteSignificantBitsChunk(*this, s.SignificantBits, format_);
  WritePaletteChunk(*this, palette, format_);
  WriteBackgroundChunk(*this, s.BackgroundColor, palette, format_);
  WriteTransparencyChunk(*this, s.TransparentColor, palette, format_);
  WritePhysicalSizeChunk(*this, s.PhysicalUnit, s.PixelsPerUnitX, s.PixelsPerUnitY);
}

void TRFLPNGWriteStream::BuildGrayTable() {
  grayTable_.fill(0);
  const int bits = format_.SourceBits;
  // Only palette images look their grey levels up; deeper images compute them per pixel.
  if (!format_.GrayOutput || bits > 8) return;
  const auto& palette = source_->Palette();
  if (palette.empty()) {
    for (int i = 0; i < (1 << bits); ++i) grayTable_[std::size_t(i)] = std::uint8_t(i);
  } else if (bits == 1) {
    // Only entry 0 is used: 255 says the palette runs from light to dark, so the bits are inverted.
    grayTable_[0] = palette.size() >= 2 && EntryGray(palette[1]) < EntryGray(palette[0]) ? 255 : 0;
  } else {
    const std::size_t count = std::min<std::size_t>(palette.size(), std::size_t(1) << bits);
    for (std::size_t i = 0; i < count; ++i)
      grayTable_[i] = bits == 4 ? EntryGray(palette[i]) / 16 : EntryGray(palette[i]);
  }
}

void TRFLPNGWriteStream::WriteImageRows() {
  compressor_.BitsPerPixel = format_.RowBits;
  compressor_.FilterMode = Settings.FilterMode;
  compressor_.BiasClass = format_.OutputBits;
  compressor_.AllocateRows(source_->Width());
  BuildGrayTable();
  compressor_.OnBufferFull = [this](const std::uint8_t* data, int count) {
    WriteChunk("IDAT", data, std::uint32_t(count));
    return 0;
  };
  const int level = Settings.CompressionLevel;
  // The start's result is not checked, on purpose: a compressor that could not start refuses the
  // first row, which then fails with SWriteImageError like any other row that cannot be written.
  compressor_.StartCompression(level >= 0 && level <= 9 ? level : -1, Settings.IdatSize);
  try {
    WritePasses();
  } catch (...) {
    // What was compressed still goes out, then the first error is the one reported.
    try {
      compressor_.FinishCompression();
    } catch (...) {
    }
    compressor_.EndCompression();
    compressor_.FreeRows();
    throw;
  }
  const int finished = compressor_.FinishCompression();
  compressor_.EndCompression();
  compressor_.FreeRows();
  // A stream that could not be finished lacks its end: the file would not be a whole PNG.
  if (finished < 0) throw ERFLPNG(SWriteImageError);
}

void TRFLPNGWriteStream::WritePasses() {
  const int width = source_->Width(), height = source_->Height();
  const bool interlaced = Settings.Interlaced;
  BeginProgressPhase(interlaced ? InterlacedRowCount(height) : height, 0);
  const Pass* passes = interlaced ? Adam7 : &WholeImage;
  const int passCount = interlaced ? 7 : 1;
  const bool hook = Settings.RowHook && !Settings.RowHookKey.empty();
  int rowNumber = 0;
  for (int p = 0; p < passCount; ++p) {
    const Pass& pass = passes[p];
    const int passWidth = PassExtent(width, pass.Column, pass.ColumnStep);
    const int passHeight = PassExtent(height, pass.Row, pass.RowStep);
    if (passWidth == 0 || passHeight == 0) continue;
    const int rowBytes = int((std::int64_t(passWidth) * format_.RowBits + 7) / 8);
    compressor_.StartPass(rowBytes);
    for (int i = 0; i < passHeight; ++i) {
      const int y = pass.Row + i * pass.RowStep;
      std::uint8_t* row = compressor_.CurrentRow();
      const TRowPixels pixels{source_->ScanLine(y), format_.HasAlpha ? mask_->ScanLine(y) : nullptr, pass.Column,
                              pass.ColumnStep, passWidth};
      ConvertRow(pixels, format_, grayTable_, row);
      if (hook) Settings.RowHook(*this, row, rowBytes, rowNumber, Settings.RowHookKey);
      if (compressor_.CompressRow() < 0) throw ERFLPNG(SWriteImageError);
      compressor_.SwapRows();
      ++rowNumber;
      if (rowNumber % 4 == 2 || height < 4) StepProgress(rowNumber);
      if (StopRequested()) return;
    }
  }
}
