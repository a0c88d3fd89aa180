#pragma once
// The system clipboard through Qt. Pictures go there as images whose format carries exactly the
// bytes of the bitmap: blue-green-red for 24-bit, straight-alpha ARGB for 32-bit (alpha bytes as
// stored, not composited), indexed with its colour table for 8-bit. A paste takes a file manager's
// one copied local file, or else a PNG file's bytes, or else the clipboard's image.
#include <QImage>

#include "toolkit/clipboard.h"

// The bitmap as a QImage with the same pixel values; formats without a matching QImage format
// (1, 4, 15, 16-bit, custom, device) become 32-bit opaque images of their colours.
QImage ClipboardImage(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette);

// The colours of an image as a 32-bit bitmap; the fourth bytes are 255 where the image has no alpha
// and its alpha where it has. Throws EOutOfResources (SImageTooLarge) beyond the image limit.
TBitmap ClipboardBitmap(const QImage& image);

class TQtClipboard final : public TClipboard {
 public:
  // Throws EClipboardException (SCannotOpenClipboard) when the application has no clipboard to use.
  void SetBitmap(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) override;
  // Throws EOutOfResources (SImageTooLarge) for an image beyond the image limit.
  TClipboardPicture GetPicture() const override;
  bool HasPicture() const override;
};
