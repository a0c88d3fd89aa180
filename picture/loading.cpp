#include "picture/loading.h"

#include "picture/bmp_file.h"
#include "picture/heif_reader.h"
#include "picture/messages.h"
#include "picture/png_reader.h"
#include "picture/webp_reader.h"
#include "toolkit/errors.h"
#include "toolkit/jpeg_image.h"
#include "toolkit/strings.h"

namespace {

// The extension with its dot, lower-cased; empty when the name part has no dot.
std::string LowerExtension(const std::string& fileName) {
  const std::string name = SplitFileName(fileName).Name;
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) return {};
  return LowerAscii(std::string_view(name).substr(dot));
}

// Opens the picture file (a plain file only, without waiting on anything else) and hands it to
// `read`; no file is opened for a name whose extension selects no reader.
template <typename Read>
auto ReadPictureFile(const std::string& fileName, TPictureKind kind, Read read) {
  if (kind == TPictureKind::None) throw EInvalidGraphic(SInvalidBitmap);
  TFileStream file(fileName, TFileStream::fmOpenRead);
  return read(file, kind);
}

// The size and the decoder's own memory a reader's header declares; the pixels are reckoned by the
// caller, alike for every format.
template <auto ReadHeader>
TPictureCost HeaderCost(TStream& stream) {
  const auto header = ReadHeader(stream);
  TPictureCost cost;
  cost.Width = header.Width;
  cost.Height = header.Height;
  cost.DecoderBytes = header.DecoderBytes;
  return cost;
}

TPictureCost BitmapCost(TStream& stream) {
  const TBitmapFileHeader header = ReadBitmapFileHeader(stream);
  TPictureCost cost;
  cost.Width = header.Width;
  cost.Height = header.Height;
  // Run-length data is read whole before it is decoded; uncompressed rows pass one at a time.
  cost.DecoderBytes = header.RunLength ? header.PixelDataBytes : header.RowBytes;
  return cost;
}

// Each reader's header, by the kind that selects it.
TPictureCost DeclaredCost(TStream& stream, TPictureKind kind) {
  static constexpr struct {
    TPictureKind Kind;
    TPictureCost (*Cost)(TStream&);
  } readers[] = {
      {TPictureKind::Bitmap, BitmapCost},
      {TPictureKind::JPEG, HeaderCost<ReadJPEGHeader>},
      {TPictureKind::Png, HeaderCost<ReadPngHeader>},
      {TPictureKind::WebP, HeaderCost<ReadWebPHeader>},
      {TPictureKind::Heif, HeaderCost<ReadHeifHeader>},
  };
  for (const auto& reader : readers)
    if (reader.Kind == kind) return reader.Cost(stream);
  throw EInvalidGraphic(SInvalidBitmap);
}

}  // namespace

TPictureKind PictureKindOf(const std::string& fileName) {
  const std::string extension = LowerExtension(fileName);
  if (extension == ".bmp") return TPictureKind::Bitmap;
  if (extension == ".jpg" || extension == ".jpeg") return TPictureKind::JPEG;
  if (extension == ".png") return TPictureKind::Png;
  if (extension == ".webp") return TPictureKind::WebP;
  if (extension == ".heic" || extension == ".heif" || extension == ".avif") return TPictureKind::Heif;
  return TPictureKind::None;
}

std::string UnsupportedPictureMessage(const std::string& fileName) {
  return SUnsupportedPictureKinds + SplitFileName(fileName).Name + SUnsupportedPictureEnd;
}

void MakeOpaque(TBitmap& image) {
  image.SetPixelFormat(pf32bit);
  for (int y = 0; y < image.Height(); ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) row[4 * x + 3] = 255;
  }
}

TBitmap ReadSourcePicture(const std::string& fileName, TPictureKind kind) {
  return ReadPictureFile(fileName, kind, [](TStream& file, TPictureKind k) { return ReadSourcePicture(file, k); });
}

TBitmap ReadSourcePicture(TStream& stream, TPictureKind kind) {
  TBitmap picture;
  if (kind == TPictureKind::Bitmap) {
    // Converted to 32 bits as it is read; only a plain 32-bit file carries alpha in its fourth
    // bytes, with bit-field masks it does not.
    bool carriesAlpha = false;
    picture = ReadBitmapFileAs32Bit(stream, carriesAlpha);
    if (!carriesAlpha) MakeOpaque(picture);
  } else if (kind == TPictureKind::JPEG) {
    // Opaque 32 bits and upright as decoded. A few bytes of header can declare gigabytes of pixels:
    // a picture that cannot be held at 32 bits is refused before any time is spent decoding it.
    picture = ReadJPEGPicture(stream);
  } else if (kind == TPictureKind::Png) {
    picture = ReadPngPicture(stream);
  } else if (kind == TPictureKind::WebP) {
    picture = ReadWebPPicture(stream);
  } else if (kind == TPictureKind::Heif) {
    picture = ReadHeifPicture(stream);
  } else {
    throw EInvalidGraphic(SInvalidBitmap);
  }
  // A picture without pixels has no proportions to fit and nothing to sample.
  if (picture.Empty()) throw EInvalidGraphic(SInvalidBitmap);
  return picture;
}

TPictureCost ReadPictureCost(const std::string& fileName, TPictureKind kind) {
  return ReadPictureFile(fileName, kind, [](TStream& file, TPictureKind k) { return ReadPictureCost(file, k); });
}

TPictureCost ReadPictureCost(TStream& stream, TPictureKind kind) {
  TPictureCost cost = DeclaredCost(stream, kind);
  if (cost.Width == 0 || cost.Height == 0) throw EInvalidGraphic(SInvalidBitmap);
  CheckImageSize(cost.Width, cost.Height, 32);
  cost.PixelBytes = RowStride(cost.Width, 32) * std::uint64_t(cost.Height);
  return cost;
}
