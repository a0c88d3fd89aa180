#pragma once
// Writing a file so that a failure never leaves a half-written file behind and never destroys an
// existing file of that name: the bytes go to a new temporary file in the same folder, which
// replaces the target only once everything was written and flushed. Where the file system allows
// it the temporary file has no name at all (O_TMPFILE) until it is whole, so that even a program
// killed while writing leaves nothing; elsewhere it is a hidden file beside the target
// (".NAME.tmpXXXXXX"), locked (flock) for as long as it is open.
#include <cstddef>
#include <ctime>
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

// Calls `write` with a stream on the temporary file, then gives it the name `fileName`. Throws
// EFCreateError (SFCreateError) when the temporary file cannot be made or cannot take the target's
// name (a folder of that name, a folder that refuses it), EWriteError (WriteFailureMessage) when
// writing or flushing fails, and passes on whatever `write` throws; in every failure the temporary
// file is removed and the target is untouched. The first write into a folder that needs named
// temporary files removes the stale ones there (RemoveStaleTemporaries). The replaced file's permission bits (0777) carry over;
// setuid, setgid and sticky do not.
// With TExistingFile::Keep the finished file takes the name only if no file holds it at that moment
// (checked and taken in one step, so a file that appears meanwhile is never replaced either);
// otherwise EFileExists(SFileExists) is thrown and the temporary file removed.
// `named`, when given, is called once the file has its name, before any AbandonWrites can return.
void WriteFileSafely(const std::string& fileName, const std::function<void(TStream&)>& write,
                     TExistingFile existing = TExistingFile::Replace, const std::function<void()>& named = {});

// The text of a failed write into `fileName`: SFWriteError, and after a colon SDiskFull when the
// system's error number `error` says that the disk or the user's quota is full.
std::string WriteFailureMessage(const std::string& fileName, int error);

// Removes from `folder` (empty, or ending in '/') the named temporary files that runs killed while
// writing left behind: regular files of this user named ".NAME.tmpXXXXXX", last changed more than
// a day before `now`, and open in no writer (none holds its lock on them). Answers how many went.
std::size_t RemoveStaleTemporaries(const std::string& folder, std::time_t now);

// For a program being stopped (by a signal, from a thread of its own): removes the temporary files
// of the writes in progress and makes every write fail with EFCreateError instead of taking its
// name. When it returns, every file written is whole and no other will be named.
void AbandonWrites();
