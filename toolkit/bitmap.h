#pragma once
// TBitmap: the program's device-independent image.
//
// One contiguous pixel block, rows padded to a multiple of 4 bytes. Rows are stored bottom-up (the
// bottom row first in memory, so the row of index Height()-1 starts the block) unless the image was
// created top-down, which only the BMP reader does for files with a negative height. ScanLine(0) is
// always the top row of the picture.
//
// Pixel layouts: pf1bit/pf4bit pack palette indices most significant bits first; pf8bit holds one
// index a byte; pf15bit and pf16bit hold little-endian 16-bit words (x-R5-G5-B5 and R5-G6-B5);
// pf24bit holds blue, green, red; pf32bit blue, green, red, alpha; pfCustom holds 16- or 32-bit
// words whose channels the three masks give; pfDevice is the screen's format, here 32-bit blue,
// green, red and a fourth byte that carries no meaning.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "toolkit/graphics_types.h"

enum TPixelFormat : std::uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// Largest pixel block an image may own; larger sizes are refused before anything is allocated.
inline constexpr std::uint64_t MaxPixelBlockBytes = std::uint64_t(1) << 30;

// The info header of the BMP file an image was read from: the fields every info header begins with,
// biSize being the size of the header in the file (12 for the OS/2 core header, whose missing fields
// are then 0), and the bytes of a longer header beyond its first 40, kept whole but not interpreted.
// biSize is 0 for an image that was not read from a file.
struct TBitmapInfoHeader {
  std::uint32_t biSize = 0;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 0;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
  std::vector<std::uint8_t> Extra;
};

// Bits per pixel of a format; pfCustom answers 0 because its depth is chosen per image.
int PixelFormatBits(TPixelFormat format);

// Bytes in one row of an image of this width and depth, padded to 4 bytes. No overflow for any
// non-negative 32-bit width.
std::uint64_t RowStride(std::int64_t width, int bitsPerPixel);

// Throws what creating an image of this size and depth would throw (EOutOfResources for a negative
// size or a pixel block beyond MaxPixelBlockBytes) without allocating anything, so that a reader can
// refuse a picture before it spends time decoding it.
void CheckImageSize(int width, int height, int bitsPerPixel);

// A pixel block taken from the system already zeroed (calloc), so that a new image costs neither
// time nor memory for pages that nothing writes to: a small file that declares a huge picture, of
// which it holds only a few rows, stays cheap. Copying copies the bytes.
class TPixelBlock {
 public:
  TPixelBlock() = default;
  // Throws std::bad_alloc when the system has no room.
  explicit TPixelBlock(std::size_t size);
  TPixelBlock(const TPixelBlock& other);
  TPixelBlock& operator=(const TPixelBlock& other);
  TPixelBlock(TPixelBlock&& other) noexcept { swap(other); }
  TPixelBlock& operator=(TPixelBlock&& other) noexcept {
    swap(other);
    return *this;
  }
  ~TPixelBlock();

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  void swap(TPixelBlock& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

class TBitmap {
 public:
  // An empty 0 x 0 image in the screen's format.
  TBitmap() = default;
  // A zero-filled image; throws on a negative size or a pixel block beyond MaxPixelBlockBytes.
  TBitmap(int width, int height, TPixelFormat format);

  // Copying is the whole-image assign: format, size, pixels, colour table, masks and row order.
  TBitmap(const TBitmap&) = default;
  TBitmap& operator=(const TBitmap&) = default;
  TBitmap(TBitmap&&) noexcept = default;
  TBitmap& operator=(TBitmap&&) noexcept = default;
  void Assign(const TBitmap& source) { *this = source; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  TPixelFormat PixelFormat() const { return format_; }
  int BitCount() const { return bitCount_; }
  bool TopDown() const { return topDown_; }
  std::size_t Stride() const { return stride_; }

  // Changes the size, keeping the format; the pixels become zero (callers overwrite them all).
  void SetWidth(int width);
  void SetHeight(int height);
  void SetSize(int width, int height);

  // Changes the pixel format. An empty image only takes the new format. Otherwise the pixels are
  // converted: any format to pf32bit (the fourth byte becomes 0), pf32bit to pf24bit (the fourth
  // byte is dropped), any format to pf24bit through pf32bit; other targets throw. The result is
  // bottom-up. A bottom-up pfDevice image becomes pf32bit in place, without a second pixel block.
  void SetPixelFormat(TPixelFormat format);

  // Makes a new zero-filled image, the one way to build top-down or custom-depth images (BMP reader).
  // customBitCount is the depth of a pfCustom image (16 or 32) and is ignored otherwise.
  void Create(int width, int height, TPixelFormat format, bool topDown = false, int customBitCount = 0);

  // Row `row` of the picture, 0 the top row. Throws when the row is outside 0..Height()-1.
  std::uint8_t* ScanLine(int row);
  const std::uint8_t* ScanLine(int row) const;

  // The whole pixel block in storage order.
  std::uint8_t* Bits() { return bits_.data(); }
  const std::uint8_t* Bits() const { return bits_.data(); }
  std::size_t BitsSize() const { return bits_.size(); }

  // Colour table of indexed images (up to 256 entries). A new pf8bit image receives the halftone
  // palette, a new pf4bit image the 16 standard colours and a new pf1bit image black and white.
  std::vector<TRGBQuad>& Palette() { return palette_; }
  const std::vector<TRGBQuad>& Palette() const { return palette_; }

  // Channel masks of 15-bit, 16-bit and custom images; 0 for the other formats.
  std::uint32_t RedMask() const { return redMask_; }
  std::uint32_t GreenMask() const { return greenMask_; }
  std::uint32_t BlueMask() const { return blueMask_; }
  void SetMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue);

  // The header of the file the image was read from. Any change of size or format forgets it, because
  // it would no longer describe the pixels.
  const TBitmapInfoHeader& InfoHeader() const { return infoHeader_; }
  void SetInfoHeader(TBitmapInfoHeader header) { infoHeader_ = std::move(header); }

 private:
  void Allocate(int width, int height);
  void ResetFormatState();

  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = pfDevice;
  int bitCount_ = 32;
  bool topDown_ = false;
  std::size_t stride_ = 0;
  TPixelBlock bits_;
  std::vector<TRGBQuad> palette_;
  std::uint32_t redMask_ = 0;
  std::uint32_t greenMask_ = 0;
  std::uint32_t blueMask_ = 0;
  TBitmapInfoHeader infoHeader_;
};

// The colour table that every new 8-bit image receives: a 6 x 6 x 6 colour cube followed by 40 greys.
const std::vector<TRGBQuad>& HalftonePalette();

// Converts one row of pixels in `source`'s format (its pixel format, width, colour table and masks
// describe the row; the row need not be one of its own) into `source.Width()` 32-bit pixels, as
// ConvertTo32Bit converts each row.
void ConvertRowTo32Bit(const TBitmap& source, const std::uint8_t* row, TBGRA* out);

// Converts any image to a new bottom-up pf32bit image whose fourth byte is 0 (a pf32bit source keeps
// its fourth bytes). Used by SetPixelFormat and by drawing.
TBitmap ConvertTo32Bit(const TBitmap& source);
