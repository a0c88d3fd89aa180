#pragma once
// TClipboard: the system clipboard as the core sees it. The window supplies the implementation;
// tests supply one in memory. Putting a picture there replaces whatever the clipboard held.
#include <vector>

#include "toolkit/bitmap.h"
#include "toolkit/errors.h"
#include "toolkit/graphic.h"

// The clipboard could not be opened (another program holds it).
class EClipboardException : public Exception {
 public:
  using Exception::Exception;
};

class TClipboard {
 public:
  virtual ~TClipboard() = default;
  // Empties the clipboard and stores `bitmap` in the standard bitmap format, plus `palette` as a
  // second item when it is not empty. Throws EClipboardException(SCannotOpenClipboard) when the
  // clipboard cannot be opened; the clipboard is then unchanged.
  virtual void SetBitmap(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) = 0;

  // Puts an image on the clipboard as a bitmap, with its colour table when it has one.
  void Assign(const TBitmap& bitmap) { SetBitmap(bitmap, bitmap.Palette()); }
  // Puts a picture on the clipboard: whatever it exports as its clipboard data.
  void Assign(const TGraphic& picture);
};
