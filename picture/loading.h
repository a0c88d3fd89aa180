#pragma once
// Turning a picture file into the program's source picture: the extension decides the reader, the
// result is always a 32-bit image whose fourth byte is alpha.
#include <string>

#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

// The reader a file name's extension selects: ".bmp", ".jpg" and ".jpeg" in any letter case.
enum class TPictureKind { None, Bitmap, JPEG };
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
