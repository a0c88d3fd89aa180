#pragma once
// Turning a picture file into the program's source picture: the extension decides the reader, the
// result is always a 32-bit image whose fourth byte is alpha.
#include <cstdint>
#include <string>

#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

// The reader a file name's extension selects, in any letter case: ".bmp"; ".jpg" and ".jpeg";
// ".png"; ".webp"; ".heic", ".heif" and ".avif" (one reader serves HEVC and AV1 pictures alike).
// The content is never sniffed: a file whose bytes are another format's fails with its reader's error.
enum class TPictureKind { None, Bitmap, JPEG, Png, WebP, Heif };
TPictureKind PictureKindOf(const std::string& fileName);

// The text shown for a file whose extension selects no reader: SUnsupportedPictureKinds, the file
// name without its folder, SUnsupportedPictureEnd.
std::string UnsupportedPictureMessage(const std::string& fileName);

// Sets the image to 32 bits per pixel (keeping its colours) and every alpha byte to 255.
void MakeOpaque(TBitmap& image);

// Reads the file, or the stream's bytes from its position to its end, with the reader of `kind`
// (not None) into a new 32-bit picture. Pictures without alpha become opaque; a 32-bit BMP stored
// without bit-field masks keeps its fourth bytes as alpha. Throws the reader's error (the BMP
// reader's texts, EJPEG), EOutOfResources (SImageTooLarge) for a JPEG picture too large to be held
// at 32 bits (before any of it is decoded), and EInvalidGraphic (SInvalidBitmap) for a picture
// without pixels, such as an empty BMP file: nothing can be shown of it.
TBitmap ReadSourcePicture(const std::string& fileName, TPictureKind kind);
TBitmap ReadSourcePicture(TStream& stream, TPictureKind kind);

// What loading a picture file will cost in memory, learnt from its header alone: no pixel is
// decoded, and only the bytes up to the header are read (for a JPEG, its markers up to the first
// scan). The figures are upper bounds for one load of that file; callers that load several pictures
// at once can keep their sum within a budget.
struct TPictureCost {
  int Width = 0;  // the picture as its file declares it (an orientation tag may turn it on load)
  int Height = 0;
  std::uint64_t PixelBytes = 0;    // the loaded 32-bit picture
  std::uint64_t DecoderBytes = 0;  // the reader's own memory beside it while it decodes
  std::uint64_t Bytes() const { return PixelBytes + DecoderBytes; }
};

// Reads the header of the file with the reader of `kind` (not None) and answers what loading it
// costs. Throws what loading the file would throw for that header (the open errors, the reader's
// errors for a file that is no picture of its kind, EOutOfResources (SImageTooLarge) for a picture
// beyond the image limit), so a file it accepts may still fail later in its pixel data.
TPictureCost ReadPictureCost(const std::string& fileName, TPictureKind kind);
TPictureCost ReadPictureCost(TStream& stream, TPictureKind kind);
