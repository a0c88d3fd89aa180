#include "web/engine/engine.h"

#include <cstdio>
#include <stdexcept>

#include "app/messages.h"
#include "picture/png/RFLPNG.h"
#include "render/final.h"
#include "toolkit/alpha_image.h"
#include "toolkit/stream.h"
#include "toolkit/version_info.h"
#include "web/engine/messages.h"

namespace {

void CheckRange(int value, const TSliderRange& range, const char* name) {
  if (value < range.Minimum || value > range.Maximum)
  {
    char text[128];
    std::snprintf(text, sizeof text, SOutOfRange, name, range.Minimum, range.Maximum, value);
    throw std::out_of_range(text);
  }
}

// "%1" .. "%9" of a window text replaced by the values, in order.
std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> values) {
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
    if (pattern[i] == '%' && next >= '1' && next < '1' + int(values.size())) {
      text += values.begin()[next - '1'];
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

}  // namespace

TWebEngine::TWebEngine() {
  source_.Create(1, 1, pf32bit);
  TBGRA* white = reinterpret_cast<TBGRA*>(source_.ScanLine(0));
  *white = TBGRA{0xFF, 0xFF, 0xFF, 0xFF};
  output_.Create(OutputSideRange.Start, OutputSideRange.Start, pf32bit);
  CreateScene(scene_, SceneSliders(), source_.Width(), source_.Height(), output_.Width(), output_.Height());
}

TSceneSliders TWebEngine::SceneSliders() const {
  return {sliders_.PictureSize, sliders_.CameraHeight, sliders_.Tilt, sliders_.Distance};
}

TReflectionSliders TWebEngine::ReflectionSliders() const {
  return {sliders_.Opacity, OpacityRange.Maximum, sliders_.Length, LengthRange.Maximum};
}

void TWebEngine::LoadPicture(const std::string& fileName, std::span<const std::uint8_t> bytes) {
  // The bytes are read where the caller holds them: a copy would hold a large file twice.
  TByteSpanStream stream(bytes.data(), bytes.size());
  LoadPicture(fileName, stream);
}

void TWebEngine::LoadPicture(const std::string& fileName, TStream& file) {
  const TPictureKind kind = PictureKindOf(fileName);
  if (kind == TPictureKind::None) throw EUnsupportedPicture(UnsupportedPictureMessage(fileName));
  // Read completely before anything changes, so that a failed read keeps the current picture.
  source_ = ReadSourcePicture(file, kind);
  pictureName_ = fileName;
  // The picture's proportions may have changed.
  SceneYawChange(scene_, sliders_.Tilt, source_.Width(), source_.Height());
}

TPictureCost LoadCostOf(const std::string& fileName, std::span<const std::uint8_t> head) {
  const TPictureKind kind = PictureKindOf(fileName);
  if (kind == TPictureKind::None) throw EUnsupportedPicture(UnsupportedPictureMessage(fileName));
  TByteSpanStream stream(head.data(), head.size());
  return ReadPictureCost(stream, kind);
}

void TWebEngine::SetSliders(const TEngineSliders& s) {
  CheckRange(s.PictureSize, PictureSizeRange, "pictureSize");
  CheckRange(s.CameraHeight, CameraHeightRange, "cameraHeight");
  CheckRange(s.Tilt, TiltRange, "tilt");
  CheckRange(s.Opacity, OpacityRange, "opacity");
  CheckRange(s.Length, LengthRange, "length");
  CheckRange(s.Distance, DistanceRange, "distance");
  const TEngineSliders old = sliders_;
  sliders_ = s;
  // As the sliders' own handlers: opacity and length change no part of the scene.
  if (s.PictureSize != old.PictureSize || s.CameraHeight != old.CameraHeight)
    SceneCameraZChange(scene_, s.PictureSize, s.CameraHeight, output_.Height());
  if (s.Tilt != old.Tilt) SceneYawChange(scene_, s.Tilt, source_.Width(), source_.Height());
  if (s.Distance != old.Distance) SceneMarginChange(scene_, s.Distance);
}

void TWebEngine::SetGradient(bool enabled) { scene_.GradientEnabled = enabled; }

void TWebEngine::SetOutputSize(int width, int height) {
  CheckRange(width, OutputSideRange, "width");
  CheckRange(height, OutputSideRange, "height");
  output_.SetSize(width, height);
  UpdateProjection(scene_, width, height);
  // The camera distance follows the output height.
  SceneCameraZChange(scene_, sliders_.PictureSize, sliders_.CameraHeight, height);
}

TShownImage TWebEngine::Shown() const {
  const TBitmap composite = BlendOnColor(output_, clBlack);
  TShownImage shown{composite.Width(), composite.Height(), {}};
  shown.Rgba.resize(std::size_t(shown.Width) * std::size_t(shown.Height) * 4);
  std::uint8_t* to = shown.Rgba.data();
  for (int y = 0; y < shown.Height; ++y) {
    const std::uint8_t* from = composite.ScanLine(y);
    for (int x = 0; x < shown.Width; ++x, from += 3, to += 4) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
      to[3] = 0xFF;
    }
  }
  return shown;
}

TShownImage TWebEngine::RenderPreview() {
  // As the window's preview: the reflection keeps the sample's colour and carries its fade in alpha
  // alone, as the final rendering does, so that the output area shows the fade once, not squared.
  RenderReflection(scene_, ReflectionSliders(), source_, output_, true);
  return Shown();
}

TShownImage TWebEngine::RenderFinal() {
  ::RenderFinal(scene_, ReflectionSliders(), source_, output_, [] {});
  return Shown();
}

std::vector<std::uint8_t> TWebEngine::ExportFile(TExportFormat format, const PngTime& time) {
  ::RenderFinal(scene_, ReflectionSliders(), source_, output_, [] {});
  TMemoryStream stream;
  WriteRendering(output_, format, stream, [time] { return time; });
  return stream.Data();
}

std::vector<std::uint8_t> TWebEngine::ClipboardPng(const PngTime& time) {
  ::RenderFinal(scene_, ReflectionSliders(), source_, output_, [] {});
  TRFLPNG png([time] { return time; });
  png.AssignPicture(std::move(*CompositeOverBlack(output_)));
  TMemoryStream stream;
  png.SavePngToStream(stream);
  return stream.Data();
}

TAboutText TWebEngine::About() const {
  const std::span<const std::uint8_t> table = ProgramVersionTable();
  const std::string productName = ReadVersionString(table, VersionProductName);
  const std::string productVersion = ReadVersionString(table, VersionProductVersion);
  const std::string legalCopyright = ReadVersionString(table, VersionLegalCopyright);
  return {SApplicationTitle, FillIn(SAboutText, {productName, productVersion, legalCopyright, AuthorHomePage}),
          AuthorHomePage};
}

TEngineFailure FailureOf(std::exception_ptr error) {
  std::string text;
  try {
    std::rethrow_exception(error);
  } catch (const EUnsupportedPicture& e) {
    return {SCaptionError, e.what()};
  } catch (const std::bad_alloc&) {
    text = SOutOfMemory;
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
    text = SUnknownError;
  }
  // The last byte of a UTF-8 text sorts above "." exactly when its last character does.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return {SApplicationTitle, text};
}
