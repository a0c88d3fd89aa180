#pragma once
// One picture of a run, from its file to the file it writes, by the same steps as the window: the
// picture is loaded as the window loads it, the scene follows the settings as the window's controls
// set it, and the final rendering is written as the window's export of that format writes it.
#include <functional>
#include <string>

#include "batch/memory_budget.h"
#include "batch/options.h"
#include "batch/plan.h"
#include "picture/png/RFLPNGStream.h"

// What happens when the output exists before the picture is rendered.
enum class TExistingOutput {
  Replace,  // --overwrite
  Keep,     // under --output-dir: a re-run keeps what an earlier run wrote
  Fail,     // under -o: the user named that file, and it is not replaced unasked
};

// How the picture ended when it did not fail.
enum class TPictureOutcome { Written, Kept };

// Only a regular file is read, opened without waiting (a FIFO or device that took the file's place
// since the plan fails instead of blocking). The picture's declared decoding memory is taken from
// `budget` while it is decoded and rendered. The output's folder is made just before the file is
// written; `written` is called once the file has its name (see WriteFileSafely). Throws the reader's,
// the renderer's or the writer's error, EOverMemoryBudget, and EFileExists when the output exists
// with TExistingOutput::Fail, or appears during the write with Fail. With Keep, an output that
// another run writes meanwhile is kept as one found before rendering.
TPictureOutcome RenderBatchPicture(const TBatchPicture& picture, const TBatchSettings& settings,
                                   const TUtcClock& clock, TExistingOutput existing, TMemoryBudget& budget,
                                   const std::function<void()>& written);

// The clock of tIME: the time that SOURCE_DATE_EPOCH holds (seconds since 1970 in UTC), or the
// current time when it is not set or empty. Throws EBatchUsage for a value that is not such a number.
TUtcClock PngClock(const char* sourceDateEpoch);
