#include "picture/bmp_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "picture/bmp_rle.h"
#include "toolkit/byte_order.h"
#include "toolkit/errors.h"
#include "toolkit/safe_file.h"

namespace {

constexpr std::uint16_t kSignature = 0x4D42;  // "BM"
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
// Headers this long or longer carry the three masks themselves, right after the first 40 bytes.
constexpr std::uint32_t kHeaderWithMasksSize = 52;
constexpr std::size_t kMasksSize = 12;

enum : std::uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

[[noreturn]] void Invalid() { throw EInvalidGraphic(SInvalidBitmap); }

// The bytes between the stream's position and its end. Every read is held against what is left,
// so that no header field can make the reader allocate more than the file holds.
class Source {
 public:
  explicit Source(TStream& stream) : stream_(stream), left_(std::uint64_t(stream.Remaining())) {}
  std::uint64_t Left() const { return left_; }
  void Read(void* buffer, std::uint64_t count) {
    if (count > left_) throw EReadError(SReadError);
    stream_.ReadBuffer(buffer, std::size_t(count));
    left_ -= count;
  }
  void Skip(std::uint64_t count) {
    if (count > left_) throw EReadError(SReadError);
    stream_.Seek(std::int64_t(count), TSeekOrigin::soCurrent);
    left_ -= count;
  }
  std::vector<std::uint8_t> ReadBytes(std::uint64_t count) {
    if (count > left_) throw EReadError(SReadError);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    Read(bytes.data(), count);
    return bytes;
  }

 private:
  TStream& stream_;
  std::uint64_t left_;
};

// Reads the header size and the header it announces: the OS/2 core header (its missing fields 0)
// or an info header of 40 bytes or more, whose bytes beyond 40 travel along in Extra.
TBitmapInfoHeader ReadInfoHeader(Source& source) {
  std::uint8_t sizeField[4];
  source.Read(sizeField, sizeof sizeField);
  TBitmapInfoHeader info;
  info.biSize = LoadLE32(sizeField);
  if (info.biSize == kCoreHeaderSize) {
    std::uint8_t core[8];
    source.Read(core, sizeof core);
    info.biWidth = LoadLE16(core);
    info.biHeight = LoadLE16(core + 2);
    info.biPlanes = LoadLE16(core + 4);
    info.biBitCount = LoadLE16(core + 6);
    return info;
  }
  if (info.biSize < kInfoHeaderSize) Invalid();
  std::uint8_t rest[kInfoHeaderSize - 4];
  source.Read(rest, sizeof rest);
  info.biWidth = std::int32_t(LoadLE32(rest));
  info.biHeight = std::int32_t(LoadLE32(rest + 4));
  info.biPlanes = LoadLE16(rest + 8);
  info.biBitCount = LoadLE16(rest + 10);
  info.biCompression = LoadLE32(rest + 12);
  info.biSizeImage = LoadLE32(rest + 16);
  info.biXPelsPerMeter = std::int32_t(LoadLE32(rest + 20));
  info.biYPelsPerMeter = std::int32_t(LoadLE32(rest + 24));
  info.biClrUsed = LoadLE32(rest + 28);
  info.biClrImportant = LoadLE32(rest + 32);
  info.Extra = source.ReadBytes(info.biSize - kInfoHeaderSize);
  return info;
}

// What the header says about the pixels, checked before anything is allocated for them.
struct PixelLayout {
  int width = 0;
  int height = 0;  // rows, whatever their order
  bool topDown = false;
  int bits = 0;
  std::uint32_t compression = BI_RGB;
  std::uint32_t colours = 0;       // colour-table entries in the file, any number beyond 8 bits
  std::uint64_t blockBytes = 0;    // stride x height of the uncompressed rows
};

PixelLayout CheckHeader(const TBitmapInfoHeader& info) {
  if (info.biPlanes != 1) Invalid();
  PixelLayout layout;
  layout.bits = info.biBitCount;
  switch (layout.bits) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: Invalid();
  }
  // A negative height marks rows stored top row first; 0 rows, or a height whose size has no
  // positive counterpart, describe no picture.
  if (info.biWidth <= 0 || info.biHeight == 0 || info.biHeight == INT32_MIN) Invalid();
  layout.width = info.biWidth;
  layout.topDown = info.biHeight < 0;
  layout.height = layout.topDown ? -info.biHeight : info.biHeight;

  layout.compression = info.biCompression;
  switch (layout.compression) {
    case BI_RGB: break;
    // Run-length data is always stored bottom row first.
    case BI_RLE8: if (layout.bits != 8 || layout.topDown) Invalid(); break;
    case BI_RLE4: if (layout.bits != 4 || layout.topDown) Invalid(); break;
    case BI_BITFIELDS:
      if (layout.bits != 16 && layout.bits != 32) Invalid();
      if (info.biSize != kInfoHeaderSize && info.biSize < kHeaderWithMasksSize) Invalid();
      break;
    default: Invalid();  // JPEG or PNG inside a BMP, Huffman and the like
  }

  layout.colours = info.biClrUsed != 0 ? info.biClrUsed : layout.bits <= 8 ? 1u << layout.bits : 0;
  // Indexed pixels take their colours from the table, which an image holds up to 256 of. Deeper
  // pixels use no table, and a file may still carry one of any length.
  if (layout.bits <= 8 && layout.colours > 256) Invalid();

  const std::uint64_t stride = RowStride(layout.width, layout.bits);
  if (std::uint64_t(layout.height) > MaxPixelBlockBytes / stride) Invalid();
  layout.blockBytes = stride * std::uint64_t(layout.height);
  // Run-length pictures are decoded into the screen's 32-bit format, which must fit as well.
  if (layout.compression == BI_RLE8 || layout.compression == BI_RLE4) {
    const std::uint64_t deviceStride = RowStride(layout.width, 32);
    if (std::uint64_t(layout.height) > MaxPixelBlockBytes / deviceStride) Invalid();
  }
  return layout;
}

std::vector<TRGBQuad> ReadColourTable(Source& source, std::uint32_t count, std::size_t entrySize) {
  const std::vector<std::uint8_t> bytes = source.ReadBytes(std::uint64_t(count) * entrySize);
  std::vector<TRGBQuad> table(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = bytes.data() + i * entrySize;
    table[i] = {entry[0], entry[1], entry[2], entrySize == 4 ? entry[3] : std::uint8_t(0)};
  }
  return table;
}

TPixelFormat UncompressedFormat(const PixelLayout& layout, std::uint32_t greenMask) {
  switch (layout.bits) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16:
      if (layout.compression != BI_BITFIELDS) return pf15bit;
      return greenMask == 0x07E0 ? pf16bit : pfCustom;
    case 24: return pf24bit;
    default: return layout.compression == BI_BITFIELDS ? pfCustom : pf32bit;
  }
}

// Writes the rows of a 24- or 32-bit image bottom row first, each padded with zero bytes, through a
// buffer of whole rows so that a file receives few large writes.
void WriteRows(const TBitmap& image, std::size_t stride, TStream& stream) {
  const std::size_t rowBytes = std::size_t(image.Width()) * std::size_t(image.BitCount() / 8);
  if (!image.TopDown() && rowBytes == stride) {  // the storage already is the file's row order
    stream.WriteBuffer(image.Bits(), image.BitsSize());
    return;
  }
  const std::size_t rowsPerChunk = std::max<std::size_t>(1, (std::size_t(1) << 20) / stride);
  std::vector<std::uint8_t> chunk(rowsPerChunk * stride, 0);
  int y = image.Height() - 1;
  while (y >= 0) {
    std::size_t rows = 0;
    for (; rows < rowsPerChunk && y >= 0; ++rows, --y)
      std::memcpy(chunk.data() + rows * stride, image.ScanLine(y), rowBytes);
    stream.WriteBuffer(chunk.data(), rows * stride);
  }
}

}  // namespace

void ReadBitmapFile(const std::string& fileName, TBitmap& image) {
  TFileStream file(fileName, TFileStream::fmOpenRead);
  ReadBitmapFile(file, image);
}

namespace {

// Everything before the pixel data, checked: the headers, the masks and the colour table.
struct Prelude {
  TBitmapInfoHeader info;
  PixelLayout layout;
  std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue
  std::vector<TRGBQuad> table;
  std::uint64_t present = 0;  // pixel bytes the file holds, up to what the header declares
  bool empty = false;         // a file without bytes: an empty picture
};

Prelude ReadPrelude(Source& source) {
  Prelude p;
  if (source.Left() == 0) {
    p.empty = true;
    return p;
  }

  std::uint8_t fileHeader[kFileHeaderSize];
  source.Read(fileHeader, sizeof fileHeader);
  // Only the signature counts: the pixels follow the colour table, whatever the offset field says.
  if (LoadLE16(fileHeader) != kSignature) Invalid();

  p.info = ReadInfoHeader(source);
  p.layout = CheckHeader(p.info);

  if (p.layout.compression == BI_BITFIELDS) {
    std::uint8_t bytes[kMasksSize];
    if (p.info.biSize == kInfoHeaderSize)
      source.Read(bytes, sizeof bytes);
    else
      std::memcpy(bytes, p.info.Extra.data(), sizeof bytes);
    for (int i = 0; i < 3; ++i) p.masks[i] = LoadLE32(bytes + 4 * i);
  }

  const std::size_t entrySize = p.info.biSize == kCoreHeaderSize ? 3 : 4;
  if (p.layout.colours <= 256)
    p.table = ReadColourTable(source, p.layout.colours, entrySize);
  else  // an unused table too long for an image's palette: passed over
    source.Skip(std::uint64_t(p.layout.colours) * entrySize);

  // A file may end before its pixel data does; only the bytes present are read.
  const std::uint64_t declared = p.info.biSizeImage != 0 ? p.info.biSizeImage : p.layout.blockBytes;
  p.present = std::min(declared, source.Left());
  return p;
}

bool RunLength(const PixelLayout& layout) { return layout.compression == BI_RLE8 || layout.compression == BI_RLE4; }

TBitmap DecodeRunLength(Source& source, const Prelude& p) {
  const std::vector<std::uint8_t> data = source.ReadBytes(p.present);
  return DecodeRunLength(data, p.layout.bits, p.layout.width, p.layout.height, p.table);
}

// An empty uncompressed image in the file's format with its masks and colour table: `rows` rows of
// it, or none to describe the format alone.
TBitmap UncompressedImage(Prelude& p, int rows) {
  TBitmap image;
  image.Create(p.layout.width, rows, UncompressedFormat(p.layout, p.masks[1]), p.layout.topDown, p.layout.bits);
  if (p.layout.compression == BI_BITFIELDS) image.SetMasks(p.masks[0], p.masks[1], p.masks[2]);
  if (!p.table.empty()) image.Palette() = std::move(p.table);
  return image;
}

// Reads an uncompressed picture in the file's format, its pixel bytes straight into the image.
TBitmap ReadUncompressed(Source& source, Prelude& p) {
  TBitmap image = UncompressedImage(p, p.layout.height);
  source.Read(image.Bits(), std::min(p.present, p.layout.blockBytes));
  image.SetInfoHeader(std::move(p.info));
  return image;
}

// Reads the rows of an uncompressed picture one at a time through a row of the file's format and
// converts each into the 32-bit picture. Rows the file lacks are converted from zero bytes, as the
// zero-filled image they would have been read into.
TBitmap ReadConvertingRows(Source& source, Prelude& p) {
  TBitmap row = UncompressedImage(p, 1);
  TBitmap picture(p.layout.width, p.layout.height, pf32bit);
  std::uint8_t* const bytes = row.ScanLine(0);
  const std::size_t stride = row.Stride();
  std::uint64_t left = std::min(p.present, p.layout.blockBytes);
  for (int stored = 0; stored < p.layout.height; ++stored) {
    const std::size_t take = std::size_t(std::min<std::uint64_t>(left, stride));
    source.Read(bytes, take);
    std::fill(bytes + take, bytes + stride, std::uint8_t(0));
    left -= take;
    const int y = p.layout.topDown ? stored : p.layout.height - 1 - stored;
    ConvertRowTo32Bit(row, bytes, reinterpret_cast<TBGRA*>(picture.ScanLine(y)));
  }
  return picture;
}

}  // namespace

void ReadBitmapFile(TStream& stream, TBitmap& image) {
  Source source(stream);
  Prelude p = ReadPrelude(source);
  if (p.empty) {
    image = TBitmap();
    return;
  }
  if (RunLength(p.layout)) {
    TBitmap result = DecodeRunLength(source, p);
    result.SetInfoHeader(std::move(p.info));
    image = std::move(result);
  } else {
    image = ReadUncompressed(source, p);
  }
}

TBitmap ReadBitmapFileAs32Bit(TStream& stream, bool& carriesAlpha) {
  Source source(stream);
  Prelude p = ReadPrelude(source);
  carriesAlpha = false;
  if (p.empty) return TBitmap();
  if (RunLength(p.layout)) {
    TBitmap picture = DecodeRunLength(source, p);
    picture.SetPixelFormat(pf32bit);
    return picture;
  }
  if (UncompressedFormat(p.layout, p.masks[1]) == pf32bit) {  // already the picture's form
    carriesAlpha = true;
    return ReadUncompressed(source, p);
  }
  return ReadConvertingRows(source, p);
}

TBitmapFileHeader ReadBitmapFileHeader(TStream& stream) {
  Source source(stream);
  const Prelude p = ReadPrelude(source);
  TBitmapFileHeader header;
  if (p.empty) return header;
  header.Width = p.layout.width;
  header.Height = p.layout.height;
  header.RunLength = RunLength(p.layout);
  header.PixelDataBytes = p.present;
  header.RowBytes = p.layout.blockBytes / std::uint64_t(p.layout.height);
  return header;
}

void WriteBitmapFile(const TBitmap& image, const std::string& fileName) {
  WriteFileSafely(fileName, [&image](TStream& stream) { WriteBitmapFile(image, stream); });
}

void WriteBitmapFile(const TBitmap& image, TStream& stream) {
  if (image.Empty()) Invalid();
  TBitmap converted;
  const TBitmap* source = &image;
  if (image.PixelFormat() != pf24bit && image.PixelFormat() != pf32bit) {
    converted = ConvertTo32Bit(image);
    converted.SetPixelFormat(pf24bit);
    source = &converted;
  }

  const int bits = source->BitCount();
  const std::size_t stride = std::size_t(RowStride(source->Width(), bits));
  // The image holds at most 1 GiB of pixels, so every size fits its 32-bit field.
  const auto imageSize = std::uint32_t(stride * std::size_t(source->Height()));
  constexpr std::uint32_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;

  std::uint8_t header[kHeadersSize] = {};
  StoreLE16(header, kSignature);
  StoreLE32(header + 2, kHeadersSize + imageSize);
  StoreLE32(header + 10, kHeadersSize);
  StoreLE32(header + 14, kInfoHeaderSize);
  StoreLE32(header + 18, std::uint32_t(source->Width()));
  StoreLE32(header + 22, std::uint32_t(source->Height()));
  StoreLE16(header + 26, 1);
  StoreLE16(header + 28, std::uint16_t(bits));
  StoreLE32(header + 30, BI_RGB);
  StoreLE32(header + 34, imageSize);
  stream.WriteBuffer(header, sizeof header);
  WriteRows(*source, stride, stream);
}
