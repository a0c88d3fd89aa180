#pragma once
// TRFLPNG: the PNG picture. It holds an image, an optional 8-bit transparency mask (0 opaque,
// 255 fully transparent) and the PNG settings, saves them as a PNG file through
// TRFLPNGWriteStream, and behaves like any other picture: assignment, drawing, size, palette,
// clipboard, and registration as the picture format SPNGExtension (SPNGFormat).
//
// Saving does not change the picture. Every replacement of the held image ends in ImageChanged.
#include <cstdint>
#include <string>
#include <vector>

#include "picture/png/RFLPNGStream.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphic.h"

inline constexpr TGraphicClass RFLPNGClass{"TRFLPNG", &GraphicClass};

class TRFLPNG : public TGraphic {
 public:
  // `clock` answers the UTC time for ImageTime now and for tIME at every save.
  explicit TRFLPNG(TUtcClock clock = CurrentUtcTime);
  const TGraphicClass& ClassType() const override { return RFLPNGClass; }

  // What every save hands to the encoder: the encoder's defaults, but Gamma 0.45455 (written as
  // gAMA 45455) and ImageTime the UTC time of construction. IdatSize is checked when saving.
  TPngSettings Settings;
  bool UseAlpha = false;  // offer AlphaMask to the encoder

  TBitmap& HeldImage() { return heldImage_; }
  const TBitmap& HeldImage() const { return heldImage_; }
  TBitmap& AlphaMask() { return alphaMask_; }
  const TBitmap& AlphaMask() const { return alphaMask_; }
  // The held image's transparency flag (the bitmap itself carries none).
  bool HeldImageTransparent() const { return heldTransparent_; }

  // AlphaMask takes a copy of the image (of its mask when it is a TRFLPNG). Whether it fits is
  // decided at save time.
  void SetAlphaMask(const TBitmap& mask);
  // Takes the mask itself, without a copy.
  void SetAlphaMask(TBitmap&& mask);
  void SetAlphaMask(const TRFLPNG& picture);

  // From a TRFLPNG: image, mask and settings; UseAlpha, and the settings GifControl, RowHook and
  // RowHookKey keep their values. Other sources raise EConvertError.
  void AssignPicture(const TGraphic& source) override;
  // From a bitmap: the held image takes it as it is (format and pixels).
  void AssignPicture(const TBitmap& source);
  // The same, taking the image itself without a copy.
  void AssignPicture(TBitmap&& source);
  // A TRFLPNG target takes the held image as a bitmap, with its transparency flag; others raise
  // EConvertError.
  void AssignToPicture(TGraphic& target) const override;
  void AssignToPicture(TBitmap& target) const { target = heldImage_; }

  void DrawStretched(TCanvas& canvas, const TRect& rect) const override;
  bool IsEmpty() const override { return heldImage_.Empty(); }
  int ImageWidth() const override { return heldImage_.Width(); }
  int ImageHeight() const override { return heldImage_.Height(); }
  std::vector<TRGBQuad> ImagePalette() const override { return heldImage_.Palette(); }
  // Size the image and the mask, each only when it is not empty; then notify.
  void ChangeWidth(int value) override;
  void ChangeHeight(int value) override;
  void ReplacePalette(const std::vector<TRGBQuad>& palette);

  // Encodes the picture onto `stream`. Throws ERFLPNG for a refused IdatSize (before any byte)
  // or a failed encoding; errors of the stream propagate.
  void SavePngToStream(TStream& stream) const;
  // Writes the PNG to a new temporary file beside `fileName` and renames it over the target only
  // when everything was written: a failed save leaves no partial file and keeps an existing one.
  void SavePngToFile(const std::string& fileName) const;
  void SaveToStream(TStream& stream) const override { SavePngToStream(stream); }
  void SaveToFile(const std::string& fileName) const override { SavePngToFile(fileName); }
  // The picture as stored inside other data: nothing for an empty image, otherwise a PNG with the
  // settings that describe the picture; how it is compressed, interlaced and timed, and the row
  // hook, stay at the encoder's defaults.
  void WriteEmbeddedData(TStream& stream) const;

  // The held image as a standard bitmap with its colour table; neither PNG data nor the mask.
  void ExportClipboardData(std::uint16_t& format, TBitmap& data, std::vector<TRGBQuad>& palette) const override;
  void ImportClipboardData(std::uint16_t format, const TBitmap& data, const std::vector<TRGBQuad>& palette);

 protected:
  void ChangeTransparent(bool value) override;
  // Marks the palette modified and brings the picture's transparent flag in line with the image's.
  void ImageChanged();

 private:
  // Writes the held image with `settings`, and the mask when UseAlpha.
  void Encode(const TPngSettings& settings, TStream& stream) const;

  bool transparencyGuard_ = false;
  TBitmap alphaMask_;
  TBitmap heldImage_;
  bool heldTransparent_ = false;
  TUtcClock clock_;
};
