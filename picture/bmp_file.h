#pragma once
// BMP files: every variant the program accepts is read into a TBitmap, and the program's own 24-bit
// and 32-bit images are written.
//
// What a read gives, by the file's bit count and compression:
//   1, 4, 8 bits               pf1bit, pf4bit, pf8bit with the file's colour table
//   16 bits                    pf15bit; with bit-field masks pf16bit when green is 0x07E0, else pfCustom
//   24 bits                    pf24bit
//   32 bits                    pf32bit keeping the file's fourth bytes; with bit-field masks pfCustom
//   8 or 4 bits, run-length    pfDevice (blue, green, red, fourth byte 0)
// Rows keep the file's order: a file with a negative height gives a top-down image. The image keeps
// the file's info header (TBitmap::InfoHeader) and, beyond 8 bits, a colour table of up to 256
// entries as its palette; a longer one, which no pixel uses, is skipped.
#include <cstdint>
#include <string>

#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

// Replaces `image` with the picture read from the file, all of whose bytes count, or from the
// stream's bytes between its position and its end. No bytes at all give an empty 0 x 0 image.
//
// Throws EFOpenError (SFOpenError) when the file cannot be opened, EReadError (SReadError) when the
// bytes end inside the headers, the masks or the colour table, and EInvalidGraphic (SInvalidBitmap)
// for anything that is not a BMP picture the program accepts: another signature, planes other than
// 1, a width or height of 0 (or a width below 0), another bit count, more than 256 colours at 1, 4
// or 8 bits, a header size below 40 other than 12, a pixel block above 1 GiB, a compression other
// than run-length or bit-field masks, or run-length data that leaves the picture. Pixel data
// shorter than the header declares is not an error: the rows it lacks are 0. On any error `image`
// keeps what it held and the file is closed.
void ReadBitmapFile(const std::string& fileName, TBitmap& image);
void ReadBitmapFile(TStream& stream, TBitmap& image);

// Reads the picture as ReadBitmapFile does, already converted as SetPixelFormat(pf32bit) would
// convert it, without ever holding the whole picture in the file's format: uncompressed rows are
// converted one at a time as they are read, run-length pictures become 32-bit in place. A plain
// 32-bit file (no bit-field masks) is read as ReadBitmapFile reads it and sets `carriesAlpha`: its
// fourth bytes are the file's. Every other picture has fourth bytes 0. No bytes at all give an
// empty image. Throws what ReadBitmapFile throws.
TBitmap ReadBitmapFileAs32Bit(TStream& stream, bool& carriesAlpha);

// What the headers of a BMP file say about its pixels, read without reading the pixels. Throws
// what ReadBitmapFile throws for the headers; a file without bytes gives all zeros.
struct TBitmapFileHeader {
  int Width = 0;
  int Height = 0;
  bool RunLength = false;
  std::uint64_t PixelDataBytes = 0;  // the pixel bytes the file holds, up to what it declares
  std::uint64_t RowBytes = 0;        // one uncompressed row in the file's format
};
TBitmapFileHeader ReadBitmapFileHeader(TStream& stream);

// Writes `image` as an uncompressed bottom-up BMP with the 54 bytes of file and info header: pf32bit
// as a 32-bit file whose fourth bytes carry the alpha, pf24bit as a 24-bit file whose row fill bytes
// are 0, and any other format as a 24-bit file of its colours.
//
// To a file, the bytes go to a temporary file in the same folder that replaces the target only once
// complete, so a failure leaves an existing file as it was. Throws EFCreateError (SFCreateError) when
// the file cannot be created, EWriteError (SWriteError) when a write fails, and EInvalidGraphic for
// an empty image, which no BMP file can hold.
void WriteBitmapFile(const TBitmap& image, const std::string& fileName);
void WriteBitmapFile(const TBitmap& image, TStream& stream);
