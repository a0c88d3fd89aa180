#include "picture/png/RFLPNG.h"

#include <utility>

#include "toolkit/canvas.h"
#include "toolkit/picture_registry.h"
#include "toolkit/safe_file.h"

namespace {

// The PNG picture is a picture format as long as this unit is part of the program.
struct Registration {
  Registration() { TPicture::RegisterFileFormat(SPNGExtension, SPNGFormat, RFLPNGClass); }
  ~Registration() { TPicture::UnregisterGraphicClass(RFLPNGClass); }
} registration;

// What assigning one picture to another copies: all of the source's settings but the gIFg control
// and the row hook, which stay the target's.
TPngSettings AssignedSettings(const TPngSettings& source, const TPngSettings& target) {
  TPngSettings assigned = source;
  assigned.GifControl = target.GifControl;
  assigned.RowHook = target.RowHook;
  assigned.RowHookKey = target.RowHookKey;
  return assigned;
}

// What a picture stored inside other data is written with: the settings that describe the picture;
// how it is compressed, interlaced and timed, and the row hook, stay at the encoder's defaults.
TPngSettings EmbeddedSettings(const TPngSettings& settings) {
  const TPngSettings defaults;
  TPngSettings embedded = settings;
  embedded.IdatSize = defaults.IdatSize;
  embedded.CompressionLevel = defaults.CompressionLevel;
  embedded.FilterMode = defaults.FilterMode;
  embedded.Interlaced = defaults.Interlaced;
  embedded.UseCurrentTime = defaults.UseCurrentTime;
  embedded.RowHook = defaults.RowHook;
  embedded.RowHookKey = defaults.RowHookKey;
  return embedded;
}

}  // namespace

TRFLPNG::TRFLPNG(TUtcClock clock) : clock_(clock ? std::move(clock) : TUtcClock(CurrentUtcTime)) {
  Settings.Gamma = 0.45455;
  Settings.ImageTime = clock_();
}

void TRFLPNG::SetAlphaMask(const TBitmap& mask) { alphaMask_ = mask; }

void TRFLPNG::SetAlphaMask(TBitmap&& mask) {
  if (&mask != &alphaMask_) alphaMask_ = std::move(mask);
}

void TRFLPNG::SetAlphaMask(const TRFLPNG& picture) {
  if (&picture != this) alphaMask_ = picture.alphaMask_;
}

void TRFLPNG::AssignPicture(const TGraphic& source) {
  const auto* png = dynamic_cast<const TRFLPNG*>(&source);
  if (png == nullptr) throw EConvertError(AssignErrorMessage(source.ClassType().Name, ClassType().Name));
  if (png != this) {
    heldImage_ = png->heldImage_;
    heldTransparent_ = png->heldTransparent_;
    alphaMask_ = png->alphaMask_;
    Settings = AssignedSettings(png->Settings, Settings);
  }
  ImageChanged();
}

void TRFLPNG::AssignPicture(const TBitmap& source) {
  if (&source != &heldImage_) heldImage_ = source;
  heldTransparent_ = false;
  ImageChanged();
}

void TRFLPNG::AssignPicture(TBitmap&& source) {
  if (&source != &heldImage_) heldImage_ = std::move(source);
  heldTransparent_ = false;
  ImageChanged();
}

void TRFLPNG::AssignToPicture(TGraphic& target) const {
  auto* png = dynamic_cast<TRFLPNG*>(&target);
  if (png == nullptr) throw EConvertError(AssignErrorMessage(ClassType().Name, target.ClassType().Name));
  // The target takes the held image as it is, its transparency flag included.
  if (png != this) {
    png->heldImage_ = heldImage_;
    png->heldTransparent_ = heldTransparent_;
  }
  png->ImageChanged();
}

void TRFLPNG::DrawStretched(TCanvas& canvas, const TRect& rect) const { canvas.StretchDraw(rect, heldImage_); }

void TRFLPNG::ChangeWidth(int value) {
  if (!heldImage_.Empty()) heldImage_.SetWidth(value);
  if (!alphaMask_.Empty()) alphaMask_.SetWidth(value);
  Changed();
}

void TRFLPNG::ChangeHeight(int value) {
  if (!heldImage_.Empty()) heldImage_.SetHeight(value);
  if (!alphaMask_.Empty()) alphaMask_.SetHeight(value);
  Changed();
}

void TRFLPNG::ReplacePalette(const std::vector<TRGBQuad>& palette) {
  heldImage_.Palette() = palette;
  Changed();
}

void TRFLPNG::ChangeTransparent(bool value) {
  if (!transparencyGuard_ && heldTransparent_ != value) heldTransparent_ = value;
  TGraphic::ChangeTransparent(value);
}

void TRFLPNG::ImageChanged() {
  SetPaletteModified(true);
  if (Transparent() == heldTransparent_) {
    Changed();
    return;
  }
  transparencyGuard_ = true;
  ChangeTransparent(heldTransparent_);
  transparencyGuard_ = false;
}

void TRFLPNG::Encode(const TPngSettings& settings, TStream& stream) const {
  TRFLPNGWriteStream encoder;
  encoder.Settings = settings;
  encoder.Clock = clock_;
  // The picture's progress handler speaks for the image while it is written.
  if (UseAlpha) {
    encoder.WriteImage(heldImage_, alphaMask_, stream, OnProgress);
  } else {
    encoder.WriteImage(heldImage_, stream, OnProgress);
  }
}

void TRFLPNG::SavePngToStream(TStream& stream) const { Encode(Settings, stream); }

void TRFLPNG::SavePngToFile(const std::string& fileName) const {
  WriteFileSafely(fileName, [this](TStream& stream) { SavePngToStream(stream); });
}

void TRFLPNG::WriteEmbeddedData(TStream& stream) const {
  if (!heldImage_.Empty()) Encode(EmbeddedSettings(Settings), stream);
}

void TRFLPNG::ExportClipboardData(std::uint16_t& format, TBitmap& data, std::vector<TRGBQuad>& palette) const {
  format = CF_BITMAP;
  data = heldImage_;
  palette = heldImage_.Palette();
}

void TRFLPNG::ImportClipboardData(std::uint16_t format, const TBitmap& data, const std::vector<TRGBQuad>& palette) {
  if (format != CF_BITMAP) return;
  heldImage_ = data;
  if (!palette.empty()) heldImage_.Palette() = palette;
  heldTransparent_ = false;
  ImageChanged();
}
