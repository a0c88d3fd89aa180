#pragma once
// Writing a file so that a failure never leaves a half-written file behind and never destroys an
// existing file of that name: the bytes go to a new temporary file in the same folder, which
// replaces the target only once everything was written and flushed.
#include <functional>
#include <string>

#include "toolkit/stream.h"

// Calls `write` with a stream on the temporary file, then renames it over `fileName`. Throws
// EFCreateError (SFCreateError) when the temporary file cannot be made or cannot take the target's
// name (a folder of that name, a folder that refuses it), EWriteError when writing
// or flushing fails, and passes on whatever `write` throws; in every failure the temporary file is
// removed and the target is untouched. The replaced file's permissions carry over.
void WriteFileSafely(const std::string& fileName, const std::function<void(TStream&)>& write);
