#pragma once
// TGraphic: the abstract picture. A picture holds an image in some file format, can be drawn,
// sized, saved and put on the clipboard, reports progress while it is saved, and tells its owner
// when it changed. Picture classes are named by class tags (TGraphicClass), so that the picture
// registry can ask whether a registered format belongs to a class or to one derived from it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/errors.h"
#include "toolkit/graphics_types.h"
#include "toolkit/progress_event.h"

class TBitmap;
class TCanvas;
class TStream;

// A picture class: its name and the class it derives from (none for the root, TGraphic).
struct TGraphicClass {
  std::string_view Name;
  const TGraphicClass* Parent = nullptr;
};

// True when `cls` is `ancestor` or derives from it.
bool InheritsFrom(const TGraphicClass& cls, const TGraphicClass& ancestor);

// The picture classes of the toolkit. The bitmap and the JPEG picture are not TGraphic objects in
// this program (TBitmap is a plain image, TJPEGImage lives beside it), but they are registered as
// picture formats under these tags.
inline constexpr TGraphicClass GraphicClass{"TGraphic", nullptr};
inline constexpr TGraphicClass MetafileClass{"TMetafile", &GraphicClass};
inline constexpr TGraphicClass IconClass{"TIcon", &GraphicClass};
inline constexpr TGraphicClass BitmapClass{"TBitmap", &GraphicClass};
inline constexpr TGraphicClass JPEGImageClass{"TJPEGImage", &GraphicClass};

// Clipboard formats: the standard bitmap and its colour table.
inline constexpr std::uint16_t CF_BITMAP = 2;
inline constexpr std::uint16_t CF_PALETTE = 9;

// Assigning a picture from or to something it cannot take.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};
std::string AssignErrorMessage(std::string_view source, std::string_view target);

class TGraphic {
 public:
  virtual ~TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;

  virtual const TGraphicClass& ClassType() const = 0;

  // Called while the picture is saved; unset by default.
  TProgressEvent OnProgress;
  // Called after every change of the picture.
  std::function<void(TGraphic& sender)> OnChange;

  bool Empty() const { return IsEmpty(); }
  int Width() const { return ImageWidth(); }
  int Height() const { return ImageHeight(); }
  void SetWidth(int value) { ChangeWidth(value); }
  void SetHeight(int value) { ChangeHeight(value); }

  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value) { ChangeTransparent(value); }
  bool PaletteModified() const { return paletteModified_; }
  void SetPaletteModified(bool value) { paletteModified_ = value; }
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }

  // Takes the contents of another picture; refuses unknown sources with EConvertError.
  virtual void AssignPicture(const TGraphic& source) = 0;
  // Hands the contents to another picture; refuses unknown targets with EConvertError.
  virtual void AssignToPicture(TGraphic& target) const = 0;
  virtual void DrawStretched(TCanvas& canvas, const TRect& rect) const = 0;
  virtual bool IsEmpty() const = 0;
  virtual int ImageWidth() const = 0;
  virtual int ImageHeight() const = 0;
  // The colour table, empty when the picture has none.
  virtual std::vector<TRGBQuad> ImagePalette() const = 0;
  virtual void ChangeWidth(int value) = 0;
  virtual void ChangeHeight(int value) = 0;
  virtual void SaveToStream(TStream& stream) const = 0;
  // Saves to a file so that a failure never leaves a partial file nor destroys an existing one.
  virtual void SaveToFile(const std::string& fileName) const;
  // What goes to the clipboard: the format, a copy of the image as a bitmap, and a copy of its
  // colour table (left empty when it has none).
  virtual void ExportClipboardData(std::uint16_t& format, TBitmap& data, std::vector<TRGBQuad>& palette) const = 0;

 protected:
  TGraphic() = default;
  // Stores the transparent flag and notifies a change when it changed.
  virtual void ChangeTransparent(bool value);
  // The change notification: marks the picture modified and calls OnChange.
  virtual void Changed();

 private:
  bool transparent_ = false;
  bool paletteModified_ = false;
  bool modified_ = false;
};
