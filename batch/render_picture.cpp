#include "batch/render_picture.h"

#include <unistd.h>

#include <charconv>
#include <cstring>
#include <ctime>

#include "render/final.h"
#include "toolkit/errors.h"

void RenderBatchPicture(const TBatchPicture& picture, const TBatchSettings& settings, const TUtcClock& clock,
                        bool overwrite) {
  const TExistingFile existing = overwrite ? TExistingFile::Replace : TExistingFile::Keep;
  // Asked first so that a kept file costs no rendering; the write itself checks again.
  if (existing == TExistingFile::Keep && ::access(picture.Output.c_str(), F_OK) == 0)
    throw EFileExists(FormatMessage(SFileExists, picture.Output));

  const TBitmap source = ReadSourcePicture(picture.Input, picture.Kind);
  TScene scene;
  CreateScene(scene, settings.Scene, source.Width(), source.Height(), settings.OutputWidth, settings.OutputHeight);
  scene.GradientEnabled = settings.GradientEnabled;
  TBitmap rendering(settings.OutputWidth, settings.OutputHeight, pf32bit);
  RenderFinal(scene, settings.Reflection, source, rendering, {});
  SaveRendering(rendering, settings.Format, picture.Output, clock, existing);
}

TUtcClock PngClock(const char* sourceDateEpoch) {
  if (sourceDateEpoch == nullptr || *sourceDateEpoch == 0) return CurrentUtcTime;
  const char* end = sourceDateEpoch + std::strlen(sourceDateEpoch);
  long long seconds = -1;
  const auto [stop, error] = std::from_chars(sourceDateEpoch, end, seconds);
  std::tm utc{};
  const std::time_t time = std::time_t(seconds);
  // tIME holds years up to 65535.
  if (error != std::errc() || stop != end || seconds < 0 || gmtime_r(&time, &utc) == nullptr ||
      utc.tm_year + 1900 > 65535)
    throw EBatchUsage(std::string("SOURCE_DATE_EPOCH must be a whole number of seconds since 1970, not '") +
                      sourceDateEpoch + "'");
  const PngTime fixed{std::uint16_t(utc.tm_year + 1900), std::uint8_t(utc.tm_mon + 1), std::uint8_t(utc.tm_mday),
                      std::uint8_t(utc.tm_hour), std::uint8_t(utc.tm_min), std::uint8_t(utc.tm_sec)};
  return [fixed] { return fixed; };
}
