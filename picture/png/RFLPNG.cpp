#include "picture/png/RFLPNG.h"

#include "toolkit/canvas.h"
#include "toolkit/picture_registry.h"
#include "toolkit/safe_file.h"

namespace {

// The PNG picture is a picture format as long as this unit is part of the program.
struct Registration {
  Registration() { TPicture::RegisterFileFormat(SPNGExtension, SPNGFormat, RFLPNGClass); }
  ~Registration() { TPicture::UnregisterGraphicClass(RFLPNGClass); }
} registration;

}  // namespace

TRFLPNG::TRFLPNG(TUtcClock clock) : clock_(clock ? std::move(clock) : TUtcClock(CurrentUtcTime)) {
  ImageTime = clock_();
}

void TRFLPNG::SetAlphaMask(const TBitmap& mask) { alphaMask_ = mask; }

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
    CompressionLevel = png->CompressionLevel;
    FilterMode = png->FilterMode;
    IdatSize = png->IdatSize;
    Interlaced = png->Interlaced;
    Grayscale = png->Grayscale;
    Comment = png->Comment;
    BackgroundColor = png->BackgroundColor;
    TransparentColor = png->TransparentColor;
    Gamma = png->Gamma;
    SignificantBits = png->SignificantBits;
    PhysicalUnit = png->PhysicalUnit;
    PixelsPerUnitX = png->PixelsPerUnitX;
    PixelsPerUnitY = png->PixelsPerUnitY;
    UseCurrentTime = png->UseCurrentTime;
    ImageTime = png->ImageTime;
    Chromaticities = png->Chromaticities;
  }
  ImageChanged();
}

void TRFLPNG::AssignPicture(const TBitmap& source) {
  if (&source != &heldImage_) heldImage_ = source;
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

void TRFLPNG::Encode(TRFLPNGWriteStream& encoder, TStream& stream) const {
  // The picture's progress handler speaks for the image while it is written.
  encoder.WriteImage(heldImage_, stream, OnProgress);
}

void TRFLPNG::SetDescription(TRFLPNGWriteStream& encoder) const {
  encoder.Grayscale = Grayscale;
  encoder.Comment = Comment;
  encoder.BackgroundColor = BackgroundColor;
  encoder.TransparentColor = TransparentColor;
  encoder.Gamma = Gamma;
  encoder.SignificantBits = SignificantBits;
  encoder.PhysicalUnit = PhysicalUnit;
  encoder.PixelsPerUnitX = PixelsPerUnitX;
  encoder.PixelsPerUnitY = PixelsPerUnitY;
  encoder.ImageTime = &ImageTime;
  encoder.Chromaticities = &Chromaticities;
  encoder.GifControl = &GifControl;
  encoder.Clock = clock_;
  if (UseAlpha) encoder.AlphaMask = &alphaMask_;
}

void TRFLPNG::SavePngToStream(TStream& stream) const {
  TRFLPNGWriteStream encoder;
  encoder.CompressionLevel = CompressionLevel;
  encoder.FilterMode = FilterMode;
  encoder.SetIdatSize(IdatSize);
  encoder.Interlaced = Interlaced ? 1 : 0;
  encoder.UseCurrentTime = UseCurrentTime;
  encoder.RowHook = RowHook;
  encoder.RowHookKey = RowHookKey;
  SetDescription(encoder);
  Encode(encoder, stream);
}

void TRFLPNG::SavePngToFile(const std::string& fileName) const {
  WriteFileSafely(fileName, [this](TStream& stream) { SavePngToStream(stream); });
}

void TRFLPNG::WriteEmbeddedData(TStream& stream) const {
  if (heldImage_.Empty()) return;
  TRFLPNGWriteStream encoder;
  SetDescription(encoder);
  Encode(encoder, stream);
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
