#include "picture/loading.h"

#include "picture/bmp_file.h"
#include "picture/messages.h"
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

}  // namespace

TPictureKind PictureKindOf(const std::string& fileName) {
  const std::string extension = LowerExtension(fileName);
  if (extension == ".bmp") return TPictureKind::Bitmap;
  if (extension == ".jpg" || extension == ".jpeg") return TPictureKind::JPEG;
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
  if (kind == TPictureKind::None) throw EInvalidGraphic(SInvalidBitmap);
  TFileStream file(fileName, TFileStream::fmOpenRead);
  return ReadSourcePicture(file, kind);
}

TBitmap ReadSourcePicture(TStream& stream, TPictureKind kind) {
  TBitmap picture;
  if (kind == TPictureKind::Bitmap) {
    ReadBitmapFile(stream, picture);
    // Only a plain 32-bit file carries alpha in its fourth bytes; with bit-field masks it does not.
    if (picture.PixelFormat() != pf32bit) MakeOpaque(picture);
  } else if (kind == TPictureKind::JPEG) {
    TJPEGImage jpeg;
    jpeg.LoadFromStream(stream);
    // A few bytes of header can declare gigabytes of pixels: a picture that cannot be held at the
    // 32 bits it is used at is refused before any time is spent decoding it.
    const TJPEGImage::TDimensions size = jpeg.Dimensions();
    CheckImageSize(size.Width, size.Height, 32);
    jpeg.AssignTo(picture);
    // Colour pictures arrive opaque at 32 bits; grey ones as quantised indices.
    if (picture.PixelFormat() != pf32bit) MakeOpaque(picture);
  } else {
    throw EInvalidGraphic(SInvalidBitmap);
  }
  // A picture without pixels has no proportions to fit and nothing to sample.
  if (picture.Empty()) throw EInvalidGraphic(SInvalidBitmap);
  return picture;
}
