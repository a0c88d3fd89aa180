#pragma once
// One picture of a run, from its file to the file it writes, by the same steps as the window: the
// picture is loaded as the window loads it, the scene follows the settings as the window's controls
// set it, and the final rendering is written as the window's export of that format writes it.
#include <string>

#include "batch/options.h"
#include "batch/plan.h"
#include "picture/png/RFLPNGStream.h"

// Throws the reader's, the renderer's or the writer's error; EFileExists when the output exists
// and `overwrite` is false (the existing file is kept).
void RenderBatchPicture(const TBatchPicture& picture, const TBatchSettings& settings, const TUtcClock& clock,
                        bool overwrite);

// The clock of tIME: the time that SOURCE_DATE_EPOCH holds (seconds since 1970 in UTC), or the
// current time when it is not set or empty. Throws EBatchUsage for a value that is not such a number.
TUtcClock PngClock(const char* sourceDateEpoch);
