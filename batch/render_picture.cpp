#include "batch/render_picture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>

#include "batch/messages.h"
#include "render/final.h"
#include "toolkit/errors.h"
#include "toolkit/safe_file.h"
#include "toolkit/worker_pool.h"

namespace fs = std::filesystem;

namespace {

// A 32-bit picture, opaque or with the alpha it carries, decoded within the budget (held in `hold`
// until the caller is done with the picture). The stream opens only a regular file, and without
// waiting; something else that took the picture's place since the plan is named as the plan names
// it.
TBitmap ReadWithinBudget(const TBatchPicture& picture, TMemoryBudget& budget, std::optional<TMemoryBudget::THold>& hold) {
  std::optional<TFileStream> opened;
  try {
    opened.emplace(picture.Input, TFileStream::fmOpenRead);
  } catch (const EFOpenError&) {
    struct stat st {};
    if (::stat(picture.Input.c_str(), &st) != 0 || S_ISREG(st.st_mode)) throw;
    throw EFOpenError(NotAFileMessage(st.st_mode));
  }
  TFileStream& file = *opened;
  // What the header declares is charged before a pixel is decoded; a file whose header the reader
  // refuses fails here with the reader's own error.
  const std::int64_t start = file.Position();
  hold.emplace(budget.Take(ReadPictureCost(file, picture.Kind).Bytes()));
  file.SetPosition(start);
  return ReadSourcePicture(file, picture.Kind);
}

// The scene of the batch's settings for a picture of `source`'s size.
TScene BatchScene(const TBatchSettings& settings, const TBitmap& source) {
  TScene scene;
  CreateScene(scene, settings.Scene, source.Width(), source.Height(), settings.OutputWidth, settings.OutputHeight);
  scene.GradientEnabled = settings.GradientEnabled;
  return scene;
}

void MakeOutputFolder(const std::string& output) {
  const fs::path folder = fs::path(output).parent_path();
  std::error_code error;
  if (folder.empty() || fs::is_directory(folder, error)) return;
  fs::create_directories(folder, error);
  if (error) throw EFCreateError(FormatMessage(SOutputFolderFailed, folder.string()) + ": " + error.message());
}

// Writes the output; with TExistingFile::Keep, a file that took the name meanwhile (another run
// into the same folder) is kept, as one found before rendering is.
TPictureOutcome WriteOutput(TExistingOutput existing, const std::function<void()>& write) {
  try {
    write();
  } catch (const EFileExists&) {
    if (existing == TExistingOutput::Keep) return TPictureOutcome::Kept;
    throw;
  }
  return TPictureOutcome::Written;
}

}  // namespace

TPictureOutcome RenderBatchPicture(const TBatchPicture& picture, const TBatchSettings& settings,
                                   const TUtcClock& clock, TExistingOutput existing, TMemoryBudget& budget,
                                   const std::function<void()>& written) {
  // Asked first so that a kept file costs no rendering; the write itself checks again.
  if (existing != TExistingOutput::Replace && ::access(picture.Output.c_str(), F_OK) == 0) {
    if (existing == TExistingOutput::Keep) return TPictureOutcome::Kept;
    throw EFileExists(FormatMessage(SFileExists, picture.Output));
  }
  const TExistingFile existingFile = existing == TExistingOutput::Replace ? TExistingFile::Replace : TExistingFile::Keep;
  if (settings.Format == TExportFormat::PNG) {
    std::optional<TMemoryBudget::THold> hold;
    const TBitmap source = ReadWithinBudget(picture, budget, hold);
    TScene scene = BatchScene(settings, source);
    TFinalRendering rendering(scene, settings.Reflection, source, settings.OutputWidth, settings.OutputHeight);
    MakeOutputFolder(picture.Output);
    // The file's rows are filtered and compressed while the pool's other thread casts the later
    // bands (alone, this thread casts each band as the writing reaches it): the same bytes.
    return WriteOutput(existing, [&] {
      SharedWorkerPool().ParallelFor(2, [&](std::size_t task) {
        if (task == 1) return rendering.CastBands();
        WriteFileSafely(
            picture.Output,
            [&](TStream& stream) {
              WriteRenderingPNGAsRowsArrive(rendering.Image(), [&](int y) { rendering.AwaitRow(y); }, stream, clock);
            },
            existingFile, written);
      });
    });
  }
  TBitmap rendering(settings.OutputWidth, settings.OutputHeight, pf32bit);
  {
    std::optional<TMemoryBudget::THold> hold;
    const TBitmap source = ReadWithinBudget(picture, budget, hold);
    TScene scene = BatchScene(settings, source);
    RenderFinal(scene, settings.Reflection, source, rendering, {});
  }
  MakeOutputFolder(picture.Output);
  return WriteOutput(existing, [&] {
    WriteFileSafely(
        picture.Output, [&](TStream& stream) { WriteRendering(rendering, settings.Format, stream, clock); },
        existingFile, written);
  });
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
