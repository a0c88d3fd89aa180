#pragma once
// Writing a file so that a failure never leaves a half-written file behind and never destroys an
// existing file of that name: the bytes go to a new temporary file in the same folder, which
// replaces the target only once everything was written and flushed.
#include <functional>
#include <string>

#include "toolkit/errors.h"
#include "toolkit/stream.h"

// What happens to a file that already has the target's name.
enum class TExistingFile {
  Replace,  // the new file takes its place
  Keep,     // it stays as it is and the write fails with EFileExists
};

// The target already existed and was kept.
class EFileExists : public EFCreateError {
 public:
  using EFCreateError::EFCreateError;
};

// Calls `write` with a stream on the temporary file, then renames it over `fileName`. Throws
// EFCreateError (SFCreateError) when the temporary file cannot be made or cannot take the target's
// name (a folder of that name, a folder that refuses it), EWriteError when writing
// or flushing fails, and passes on whatever `write` throws; in every failure the temporary file is
// removed and the target is untouched. The replaced file's permission bits (0777) carry over;
// setuid, setgid and sticky do not.
// With TExistingFile::Keep the finished file takes the name only if no file holds it at that moment
// (checked and taken in one step, so a file that appears meanwhile is never replaced either);
// otherwise EFileExists(SFileExists) is thrown and the temporary file removed.
// `named`, when given, is called once the file has its name, before any AbandonWrites can return.
void WriteFileSafely(const std::string& fileName, const std::function<void(TStream&)>& write,
                     TExistingFile existing = TExistingFile::Replace, const std::function<void()>& named = {});

// For a program being stopped (by a signal, from a thread of its own): removes the temporary files
// of the writes in progress and makes every write fail with EFCreateError instead of taking its
// name. When it returns, every file written is whole and no other will be named.
void AbandonWrites();
