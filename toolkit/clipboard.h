#pragma once
// TClipboard: the system clipboard as the core sees it. The window supplies the implementation;
// tests supply one in memory. Putting a picture there replaces whatever the clipboard held.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/bitmap.h"
#include "toolkit/errors.h"
#include "toolkit/graphic.h"

// The clipboard could not be opened (another program holds it).
class EClipboardException : public Exception {
 public:
  using Exception::Exception;
};

// What the clipboard holds that a paste can load, in the order a paste prefers it.
struct TClipboardPicture {
  enum class TKind {
    None,    // nothing there is a picture
    File,    // one local file, copied in a file manager
    PNG,     // a PNG file's bytes, as browsers and editors copy a picture
    Bitmap,  // any other picture, as the clipboard's bitmap
  };
  TKind Kind = TKind::None;
  std::string FileName;             // File: the file's name as the file system spells it
  std::vector<std::uint8_t> Bytes;  // PNG
  TBitmap Bitmap;                   // Bitmap: 32-bit, blue, green, red and a fourth byte
};

class TClipboard {
 public:
  virtual ~TClipboard() = default;
  // What a paste would load; Kind None when the clipboard holds no picture or cannot be read. A
  // clipboard that only takes pictures answers None.
  virtual TClipboardPicture GetPicture() const { return {}; }
  // Whether GetPicture would find a picture, learnt from the kinds of data on the clipboard without
  // fetching a picture's bytes.
  virtual bool HasPicture() const { return false; }

  // Empties the clipboard and stores `bitmap` in the standard bitmap format, plus `palette` as a
  // second item when it is not empty. Throws EClipboardException(SCannotOpenClipboard) when the
  // clipboard cannot be opened; the clipboard is then unchanged.
  virtual void SetBitmap(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) = 0;

  // Puts an image on the clipboard as a bitmap, with its colour table when it has one.
  void Assign(const TBitmap& bitmap) { SetBitmap(bitmap, bitmap.Palette()); }
  // Puts a picture on the clipboard: whatever it exports as its clipboard data.
  void Assign(const TGraphic& picture);
};
