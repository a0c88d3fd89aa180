#pragma once
// The web page's engine: the window's state and commands without the window. It holds the picture,
// the output image and the scene between calls, as the window does; a slider move updates the scene
// as the slider's handler does and costs one preview rendering when the page asks for it; the final
// rendering, the exports and the copy run the window's steps and write the window's bytes.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "picture/export.h"
#include "picture/loading.h"
#include "picture/png/RFLPNGStream.h"
#include "render/reflection.h"
#include "scene/scene.h"
#include "toolkit/bitmap.h"

// The six sliders of the window, by the batch renderer's names for them.
struct TEngineSliders {
  int PictureSize = 3;   // 大きさ, trcCameraZ
  int CameraHeight = 0;  // 位置, trcCameraY
  int Tilt = 0;          // 傾き, trcYaw
  int Opacity = 8;       // 不透明度, trcOpacity
  int Length = 7;        // 長さ, trcLength
  int Distance = 0;      // 距離, trcMargin
};

// A slider's range and start position.
struct TSliderRange {
  int Minimum;
  int Maximum;
  int Start;
};
inline constexpr TSliderRange PictureSizeRange{1, 10, 3};
inline constexpr TSliderRange CameraHeightRange{-5, 5, 0};
inline constexpr TSliderRange TiltRange{-5, 5, 0};
inline constexpr TSliderRange OpacityRange{0, 10, 8};
inline constexpr TSliderRange LengthRange{0, 10, 7};
inline constexpr TSliderRange DistanceRange{0, 10, 0};
// Each side of the output image, as the window's drag allows it, and its start size.
inline constexpr TSliderRange OutputSideRange{32, 512, 256};

// The output image as the window's output area paints it (over black), as red, green, blue and
// alpha (255) bytes from the top row down: what a page's canvas takes.
struct TShownImage {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Rgba;
};

// The About box: caption, text (lines broken by "\r") and the author's home page.
struct TAboutText {
  std::string Title;
  std::string Text;
  std::string Url;
};

// The picture a name selects no reader for: the window answers it with its own box (caption
// SCaptionError) instead of the general error box.
class EUnsupportedPicture : public Exception {
 public:
  using Exception::Exception;
};

class TWebEngine {
 public:
  // The window at start: the 1 x 1 white picture, the sliders at their start, the gradient on, a
  // 256 x 256 output image. Nothing is rendered yet.
  TWebEngine();

  // Replaces the picture by the file's bytes, BMP or JPEG as the name's extension says. Throws
  // EUnsupportedPicture for another extension and the reader's error for bad bytes; either way the
  // current picture stays.
  void LoadPicture(const std::string& fileName, std::span<const std::uint8_t> bytes);
  // The same from a stream over the file, read as far as its reader asks.
  void LoadPicture(const std::string& fileName, TStream& file);
  // Moves the sliders; only those that changed update the scene. Throws std::out_of_range for a
  // position outside a slider's range, changing nothing.
  void SetSliders(const TEngineSliders& sliders);
  void SetGradient(bool enabled);
  // Throws std::out_of_range for a side outside OutputSideRange, changing nothing.
  void SetOutputSize(int width, int height);

  const TEngineSliders& Sliders() const { return sliders_; }
  bool Gradient() const { return scene_.GradientEnabled; }
  int OutputWidth() const { return output_.Width(); }
  int OutputHeight() const { return output_.Height(); }
  // The loaded picture's name (as given), empty for the start-up picture.
  const std::string& PictureName() const { return pictureName_; }

  // The preview of the current scene, as the window shows it after a change.
  TShownImage RenderPreview();
  // The final rendering, which the output image then holds until the next preview.
  TShownImage RenderFinal();
  // What the output area shows now, without rendering: after an export or the copy, the final
  // rendering they ran.
  TShownImage Shown() const;
  // The bytes the window's export of `format` writes, after the final rendering it runs.
  std::vector<std::uint8_t> ExportFile(TExportFormat format, const PngTime& time);
  // The copy command's picture (the final rendering over black) as a PNG, for a clipboard that
  // takes PNG data.
  std::vector<std::uint8_t> ClipboardPng(const PngTime& time);
  // The About box's texts, from the version table built into the program.
  TAboutText About() const;

 private:
  TSceneSliders SceneSliders() const;
  TReflectionSliders ReflectionSliders() const;

  TBitmap source_;
  TBitmap output_;
  TScene scene_;
  TEngineSliders sliders_;
  std::string pictureName_;
};

// What loading the file would cost (its declared size, the picture's and its reader's memory), from
// its first bytes: the page decides by it how to make room before the load. Throws what the load
// would throw for that header, as LoadPicture, and the reader's error when the header goes beyond
// the bytes given.
TPictureCost LoadCostOf(const std::string& fileName, std::span<const std::uint8_t> head);

// How the window reports a failure: the caption and text of its box. The general error handler's
// box has the application title and the message with "." added when its last character sorts
// above "."; a refused picture name gets SCaptionError and the text as it is.
struct TEngineFailure {
  std::string Caption;
  std::string Text;
};
TEngineFailure FailureOf(std::exception_ptr error);
