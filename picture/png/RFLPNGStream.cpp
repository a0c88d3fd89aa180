#include "picture/png/RFLPNGStream.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

#include "toolkit/byte_order.h"

namespace {

constexpr std::uint8_t Signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr const char* SoftwareName = "RFLPNG ver 3.4";
constexpr std::int32_t PaletteIndexFlag = 0x1000000;

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

// 5- and 6-bit channels widened to 8 bits so that all bits set gives 255.
inline std::uint8_t Widen5(unsigned v) { return std::uint8_t(v * 8 + v / 4); }
inline std::uint8_t Widen6(unsigned v) { return std::uint8_t(v * 4 + v / 16); }

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

}  // namespace

PngTime CurrentUtcTime() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  return PngTime{std::uint16_t(utc.tm_year + 1900), std::uint8_t(utc.tm_mon + 1), std::uint8_t(utc.tm_mday),
                 std::uint8_t(utc.tm_hour), std::uint8_t(utc.tm_min), std::uint8_t(utc.tm_sec)};
}

void TRFLPNGWriteStream::SetIdatSize(int size) {
  if (size < MinIdatSize || size > MaxIdatSize) throw ERFLPNG(SIdatSizeError);
  idatSize_ = size;
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
  hasAlpha_ = false;
  grayOutput_ = false;
  mask_ = nullptr;
  const TBitmap& image = Image();
  // A PNG image has at least one pixel; an empty picture cannot be written as one.
  if (image.Empty()) throw ERFLPNG(SWriteImageError);

  source_ = &image;
  switch (image.PixelFormat()) {
    case pf1bit: sourceBits_ = 1; break;
    case pf4bit: sourceBits_ = 4; break;
    case pf8bit: sourceBits_ = 8; break;
    case pf32bit: sourceBits_ = 32; break;
    case pfDevice: sourceBits_ = image.BitCount() == 32 ? 32 : 24; break;
    case pf15bit:
    case pf16bit:
    case pfCustom:
      // Pixels in the two usual 16-bit layouts are expanded directly. Any other layout (a bit-field
      // file may keep 5-6-5 with blue on top, or use other masks) goes through a 32-bit copy made
      // through its masks, so that its colours survive.
      if (image.BitCount() == 16 && image.RedMask() == 0x7C00 && image.GreenMask() == 0x03E0 &&
          image.BlueMask() == 0x001F) {
        sourceBits_ = 15;
      } else if (image.BitCount() == 16 && image.RedMask() == 0xF800 && image.GreenMask() == 0x07E0 &&
                 image.BlueMask() == 0x001F) {
        sourceBits_ = 16;
      } else {
        converted_ = ConvertTo32Bit(image);
        source_ = &converted_;
        sourceBits_ = 32;
      }
      break;
    default: sourceBits_ = 24; break;
  }
  outputBits_ = (sourceBits_ == 15 || sourceBits_ == 16) ? 24 : sourceBits_;

  if (AlphaMask != nullptr && AlphaMask != &image && !AlphaMask->Empty() && AlphaMask->Width() == image.Width() &&
      AlphaMask->Height() == image.Height() && AlphaMask->PixelFormat() == pf8bit)
    mask_ = AlphaMask;

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
  const bool masked = mask_ != nullptr;
  if (Grayscale) {
    grayOutput_ = true;
    if (outputBits_ == 24 || outputBits_ == 32) outputBits_ = 8;
  }
  if (outputBits_ <= 8) {
    bitDepth_ = outputBits_;
    if (grayOutput_ && outputBits_ == 8 && masked) {
      colourType_ = 4;
      rowBits_ = 16;
      hasAlpha_ = true;
    } else {
      colourType_ = grayOutput_ ? 0 : 3;
      rowBits_ = outputBits_;
    }
  } else {
    bitDepth_ = 8;
    colourType_ = masked ? 6 : 2;
    rowBits_ = masked ? 32 : 24;
    hasAlpha_ = masked;
  }
}

void TRFLPNGWriteStream::WriteTextChunk(const std::string& keyword, const std::string& text) {
  if (keyword.empty() || keyword.size() > 79) return;
  std::vector<std::uint8_t> data(keyword.begin(), keyword.end());
  data.push_back(0);
  data.insert(data.end(), text.begin(), text.end());
  WriteChunk("tEXt", data.data(), std::uint32_t(data.size()));
}

void TRFLPNGWriteStream::WriteColourChunk(const char* type, std::int32_t colour, bool transparency) {
  const auto& palette = source_->Palette();
  std::uint8_t data[256];
  if (grayOutput_) {
    if ((colour & PaletteIndexFlag) && sourceBits_ <= 8) {
      const std::size_t index = std::size_t(colour & 0xFF);
      if (index >= palette.size()) return;  // no such entry: no colour to name
      const TRGBQuad& q = palette[index];
      colour = std::int32_t(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
    }
    const int gray = GrayLevel(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    const int sample = sourceBits_ == 1 ? (gray >= 128 ? 1 : 0) : sourceBits_ == 4 ? gray / 16 : gray;
    StoreBE16(data, std::uint32_t(sample));
    WriteChunk(type, data, 2);
  } else if (sourceBits_ <= 8) {
    const int index = (colour & PaletteIndexFlag) ? (colour & 0xFF) : NearestPaletteIndex(palette, colour);
    if (index < 0) return;
    if (!transparency) {
      data[0] = std::uint8_t(index);
      WriteChunk(type, data, 1);
    } else {
      std::memset(data, 255, std::size_t(index));
      data[index] = 0;
      WriteChunk(type, data, std::uint32_t(index + 1));
    }
  } else {
    StoreBE16(data, std::uint32_t(colour & 0xFF));
    StoreBE16(data + 2, std::uint32_t((colour >> 8) & 0xFF));
    StoreBE16(data + 4, std::uint32_t((colour >> 16) & 0xFF));
    WriteChunk(type, data, 6);
  }
}

void TRFLPNGWriteStream::WriteHeaderChunks() {
  std::uint8_t data[32];
  StoreBE32(data, std::uint32_t(source_->Width()));
  StoreBE32(data + 4, std::uint32_t(source_->Height()));
  data[8] = std::uint8_t(bitDepth_);
  data[9] = std::uint8_t(colourType_);
  data[10] = 0;  // deflate
  data[11] = 0;  // adaptive filtering with the five basic filters
  data[12] = Interlaced != 0 ? 1 : 0;
  WriteChunk("IHDR", data, 13);

  PngTime time;
  bool haveTime = false;
  if (UseCurrentTime) {
    time = Clock ? Clock() : CurrentUtcTime();
    haveTime = true;
  } else if (ImageTime != nullptr) {
    time = *ImageTime;
    haveTime = true;
  }
  if (haveTime && time.Year > 0 && time.Month >= 1 && time.Month <= 12 && time.Day >= 1 && time.Day <= 31 &&
      time.Hour <= 23 && time.Minute <= 59 && time.Second <= 60) {
    StoreBE16(data, time.Year);
    data[2] = time.Month;
    data[3] = time.Day;
    data[4] = time.Hour;
    data[5] = time.Minute;
    data[6] = time.Second;
    WriteChunk("tIME", data, 7);
  }

  if (!Comment.empty()) WriteTextChunk("Comment", Comment);
  WriteTextChunk("Software", SoftwareName);

  const std::uint8_t tpng[8] = {'R', 'F', 'L', '3', std::uint8_t(RowHook && !RowHookKey.empty() ? 1 : 0), 0, 0, 0};
  WriteChunk("tpNG", tpng, 8);

  if (GifControl != nullptr && ((*GifControl)[0] != 0 || (*GifControl)[1] != 0 || (*GifControl)[2] != 0 ||
                                (*GifControl)[3] != 0))
    WriteChunk("gIFg", GifControl->data(), 4);

  // Gamma x 100000 truncated; PNG integers stop at 2^31 - 1, and a NaN is no gamma at all.
  const long double gamma = static_cast<long double>(Gamma) * 100000;
  if (gamma >= 1 && gamma < 2147483648.0L) {
    StoreBE32(data, std::uint32_t(std::trunc(gamma)));
    WriteChunk("gAMA", data, 4);
  }

  if (Chromaticities != nullptr && (*Chromaticities)[0] != 0 && (*Chromaticities)[1] != 0) {
    for (int i = 0; i < 8; ++i) StoreBE32(data + 4 * i, (*Chromaticities)[std::size_t(i)]);
    WriteChunk("cHRM", data, 32);
  }

  if (SignificantBits > 0 && !grayOutput_) {
    std::uint32_t bits = std::uint32_t(SignificantBits);
    if (sourceBits_ == 15) bits = 0x050505 | (bits & 0xFF000000);
    if (sourceBits_ == 16) bits = 0x050605 | (bits & 0xFF000000);
    if (hasAlpha_ && (sourceBits_ == 15 || sourceBits_ == 16)) bits = (bits & 0xFFFFFF) | 0x08000000;
    StoreLE32(data, bits);
    WriteChunk("sBIT", data, hasAlpha_ ? 4 : 3);
  }

  const auto& palette = source_->Palette();
  if (!grayOutput_ && outputBits_ <= 8 && !palette.empty()) {
    // A PNG palette holds no more entries than the bit depth can index.
    const std::size_t count = std::min<std::size_t>(palette.size(), std::size_t(1) << outputBits_);
    std::vector<std::uint8_t> entries(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
      entries[3 * i] = palette[i].rgbRed;
      entries[3 * i + 1] = palette[i].rgbGreen;
      entries[3 * i + 2] = palette[i].rgbBlue;
    }
    WriteChunk("PLTE", entries.data(), std::uint32_t(entries.size()));
  }

  if (BackgroundColor != -1) WriteColourChunk("bKGD", BackgroundColor, false);
  if (TransparentColor != -1 && !hasAlpha_) WriteColourChunk("tRNS", TransparentColor, true);

  if (PixelsPerUnitX >= 1 && PixelsPerUnitY >= 1) {
    long double x = PixelsPerUnitX, y = PixelsPerUnitY;
    std::uint8_t unit = PhysicalUnit == 1 || PhysicalUnit == 2 ? 1 : 0;
    if (PhysicalUnit == 2) {
      // Dots per inch to dots per metre.
      x = std::trunc(x * 100 / 254 * 100);
      y = std::trunc(y * 100 / 254 * 100);
    }
    // PNG integers stop at 2^31 - 1: a resolution beyond that is not written rather than wrapped.
    if (x <= INT32_MAX && y <= INT32_MAX) {
      StoreBE32(data, std::uint32_t(x));
      StoreBE32(data + 4, std::uint32_t(y));
      data[8] = unit;
      WriteChunk("pHYs", data, 9);
    }
  }
}

void TRFLPNGWriteStream::BuildGrayTable() {
  grayTable_.fill(0);
  // Only palette images look their grey levels up; deeper images compute them per pixel.
  if (!grayOutput_ || sourceBits_ > 8) return;
  const auto& palette = source_->Palette();
  if (palette.empty()) {
    for (int i = 0; i < (1 << sourceBits_); ++i) grayTable_[std::size_t(i)] = std::uint8_t(i);
  } else if (sourceBits_ == 1) {
    // Only entry 0 is used: 255 says the palette runs from light to dark, so the bits are inverted.
    grayTable_[0] = palette.size() >= 2 && EntryGray(palette[1]) < EntryGray(palette[0]) ? 255 : 0;
  } else {
    const std::size_t count = std::min<std::size_t>(palette.size(), std::size_t(1) << sourceBits_);
    for (std::size_t i = 0; i < count; ++i)
      grayTable_[i] = sourceBits_ == 4 ? EntryGray(palette[i]) / 16 : EntryGray(palette[i]);
  }
}

void TRFLPNGWriteStream::WriteImageRows() {
  compressor_.BitsPerPixel = rowBits_;
  compressor_.FilterMode = FilterMode;
  compressor_.BiasClass = outputBits_;
  compressor_.AllocateRows(source_->Width());
  BuildGrayTable();
  compressor_.OnBufferFull = [this](const std::uint8_t* data, int count) {
    WriteChunk("IDAT", data, std::uint32_t(count));
    return 0;
  };
  // The start's result is not checked, on purpose: a compressor that could not start refuses the
  // first row, which then fails with SWriteImageError like any other row that cannot be written.
  compressor_.StartCompression(CompressionLevel >= 0 && CompressionLevel <= 9 ? CompressionLevel : -1, idatSize_);
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
  const bool interlaced = Interlaced != 0;
  BeginProgressPhase(interlaced ? InterlacedRowCount(height) : height, 0);
  const Pass* passes = interlaced ? Adam7 : &WholeImage;
  const int passCount = interlaced ? 7 : 1;
  const bool hook = RowHook && !RowHookKey.empty();
  int rowNumber = 0;
  for (int p = 0; p < passCount; ++p) {
    const Pass& pass = passes[p];
    const int passWidth = PassExtent(width, pass.Column, pass.ColumnStep);
    const int passHeight = PassExtent(height, pass.Row, pass.RowStep);
    if (passWidth == 0 || passHeight == 0) continue;
    const int rowBytes = int((std::int64_t(passWidth) * rowBits_ + 7) / 8);
    compressor_.StartPass(rowBytes);
    for (int i = 0; i < passHeight; ++i) {
      const int y = pass.Row + i * pass.RowStep;
      std::uint8_t* row = compressor_.CurrentRow();
      ConvertRow(source_->ScanLine(y), hasAlpha_ ? mask_->ScanLine(y) : nullptr, pass.Column, pass.ColumnStep,
                 passWidth, row);
      if (hook) RowHook(*this, row, rowBytes, rowNumber, RowHookKey);
      if (compressor_.CompressRow() < 0) throw ERFLPNG(SWriteImageError);
      compressor_.SwapRows();
      ++rowNumber;
      if (rowNumber % 4 == 2 || height < 4) StepProgress(rowNumber);
      if (StopRequested()) return;
    }
  }
}

void TRFLPNGWriteStream::ConvertRow(const std::uint8_t* in, const std::uint8_t* mask, int first, int step,
                                    int count, std::uint8_t* out) const {
  const bool plain = step == 1;
  switch (sourceBits_) {
    case 1: {
      const bool invert = grayOutput_ && grayTable_[0] == 255;
      const int bytes = (count + 7) / 8;
      if (plain) {
        std::memcpy(out, in, std::size_t(bytes));
      } else {
        std::memset(out, 0, std::size_t(bytes));
        for (int i = 0, x = first; i < count; ++i, x += step)
          out[i >> 3] |= std::uint8_t(((in[x >> 3] >> (7 - (x & 7))) & 1) << (7 - (i & 7)));
      }
      if (invert)
        for (int i = 0; i < bytes; ++i) out[i] = std::uint8_t(~out[i]);
      return;
    }
    case 4: {
      const int bytes = (count + 1) / 2;
      if (plain && !grayOutput_) {
        std::memcpy(out, in, std::size_t(bytes));
        return;
      }
      std::memset(out, 0, std::size_t(bytes));
      for (int i = 0, x = first; i < count; ++i, x += step) {
        int v = (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        if (grayOutput_) v = grayTable_[std::size_t(v)] & 15;
        out[i >> 1] |= std::uint8_t(v << ((i & 1) ? 0 : 4));
      }
      return;
    }
    case 8:
      if (!grayOutput_) {
        if (plain) {
          std::memcpy(out, in, std::size_t(count));
        } else {
          for (int i = 0, x = first; i < count; ++i, x += step) out[i] = in[x];
        }
        return;
      }
      for (int i = 0, x = first; i < count; ++i, x += step) {
        *out++ = grayTable_[in[x]];
        if (hasAlpha_) *out++ = std::uint8_t(~mask[x]);
      }
      return;
    case 15:
    case 16:
      for (int i = 0, x = first; i < count; ++i, x += step) {
        const unsigned w = LoadLE16(in + 2 * x);
        std::uint8_t r, g, b;
        if (sourceBits_ == 15) {
          r = Widen5((w >> 10) & 31);
          g = Widen5((w >> 5) & 31);
        } else {
          r = Widen5((w >> 11) & 31);
          g = Widen6((w >> 5) & 63);
        }
        b = Widen5(w & 31);
        if (grayOutput_) {
          *out++ = GrayLevel(r, g, b);
        } else {
          *out++ = r;
          *out++ = g;
          *out++ = b;
        }
        if (hasAlpha_) *out++ = std::uint8_t(~mask[x]);
      }
      return;
    default: {
      const int bytesPerPixel = sourceBits_ == 32 ? 4 : 3;
      const std::uint8_t* p = in + std::size_t(first) * std::size_t(bytesPerPixel);
      const std::size_t advance = std::size_t(step) * std::size_t(bytesPerPixel);
      const std::uint8_t* m = hasAlpha_ ? mask + first : nullptr;
      if (grayOutput_) {
        for (int i = 0; i < count; ++i, p += advance) {
          *out++ = GrayLevel(p[2], p[1], p[0]);
          if (m) *out++ = std::uint8_t(~m[std::size_t(i) * std::size_t(step)]);
        }
      } else if (m) {
        for (int i = 0; i < count; ++i, p += advance) {
          out[0] = p[2];
          out[1] = p[1];
          out[2] = p[0];
          out[3] = std::uint8_t(~m[std::size_t(i) * std::size_t(step)]);
          out += 4;
        }
      } else {
        for (int i = 0; i < count; ++i, p += advance) {
          out[0] = p[2];
          out[1] = p[1];
          out[2] = p[0];
          out += 3;
        }
      }
      return;
    }
  }
}
