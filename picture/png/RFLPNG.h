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

  int IdatSize = 32768;             // bytes per IDAT chunk; checked (256..100000) at save time
  int CompressionLevel = -1;        // deflate level; -1 the library default (6)
  std::uint8_t FilterMode = 1;      // 1 None; see TRFLPNGWriteStream::FilterMode
  bool Interlaced = false;          // Adam7
  bool Grayscale = false;           // write grey levels
  bool UseAlpha = false;            // offer AlphaMask to the encoder
  std::int32_t LoadResult = 0;      // set by loading only
  std::int32_t BackgroundColor = -1;   // bKGD source; -1 none
  std::int32_t TransparentColor = -1;  // tRNS source; -1 none
  std::string Comment;              // tEXt "Comment" when not empty
  double Gamma = 0.45455;           // written as gAMA 45455
  std::string RowHookKey;           // the row hooks run only when this is not empty
  std::int32_t SignificantBits = 0;    // sBIT source; 0 none
  std::uint8_t PhysicalUnit = 0;    // pHYs unit mode
  std::int32_t PixelsPerUnitX = 0;  // 0: no pHYs chunk
  std::int32_t PixelsPerUnitY = 0;
  std::uint8_t LoadOption = 1;      // passed to loading only
  bool UseCurrentTime = true;       // tIME from the clock at save time, else ImageTime
  PngTime ImageTime;                // the UTC time of construction
  TPngChromaticities Chromaticities{};  // cHRM source; written when its first two values are set
  TPngGifControl GifControl{};      // gIFg source; written when not all zero
  std::uint8_t LoadFlags = 0;       // passed to loading only
  std::int32_t LoadLimitX = 0;
  std::int32_t LoadLimitY = 0;
  TPngWriteRowHook RowHook;         // per-row hook of the encoder

  TBitmap& HeldImage() { return heldImage_; }
  const TBitmap& HeldImage() const { return heldImage_; }
  TBitmap& AlphaMask() { return alphaMask_; }
  const TBitmap& AlphaMask() const { return alphaMask_; }
  // The held image's transparency flag (the bitmap itself carries none).
  bool HeldImageTransparent() const { return heldTransparent_; }

  // AlphaMask takes a copy of the image (of its mask when it is a TRFLPNG). Whether it fits is
  // decided at save time.
  void SetAlphaMask(const TBitmap& mask);
  void SetAlphaMask(const TRFLPNG& picture);

  // From a TRFLPNG: image, mask and save settings (UseAlpha, GifControl, the hook and its key keep
  // their values). Other sources raise EConvertError.
  void AssignPicture(const TGraphic& source) override;
  // From a bitmap: the held image takes it as it is (format and pixels).
  void AssignPicture(const TBitmap& source);
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
  // The picture as stored inside other data: nothing for an empty image, otherwise a PNG with
  // the descriptive settings only (encoder defaults for level, filter, IDAT size, interlace).
  void WriteEmbeddedData(TStream& stream) const;

  // The held image as a standard bitmap with its colour table; neither PNG data nor the mask.
  void ExportClipboardData(std::uint16_t& format, TBitmap& data, std::vector<TRGBQuad>& palette) const override;
  void ImportClipboardData(std::uint16_t format, const TBitmap& data, const std::vector<TRGBQuad>& palette);

 protected:
  void ChangeTransparent(bool value) override;
  // Marks the palette modified and brings the picture's transparent flag in line with the image's.
  void ImageChanged();

 private:
  // Hands the settings that describe the picture (not those of the compression) to the encoder.
  void SetDescription(TRFLPNGWriteStream& encoder) const;
  void Encode(TRFLPNGWriteStream& encoder, TStream& stream) const;

  bool transparencyGuard_ = false;
  TBitmap alphaMask_;
  TBitmap heldImage_;
  bool heldTransparent_ = false;
  TUtcClock clock_;
};
