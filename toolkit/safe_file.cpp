#include "toolkit/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>
#include <vector>

#include "toolkit/compat.h"
#include "toolkit/errors.h"
#include "toolkit/strings.h"

namespace {

std::string TemporaryPattern(const std::string& fileName) {
  auto [folder, base] = SplitFileName(fileName);
  // The temporary name adds 8 bytes; a long target name must not push it past the name limit of
  // the file system (255 bytes), or a file that could be written would be refused.
  if (base.size() > 200) base.resize(200);
  return folder + "." + base + ".tmpXXXXXX";
}

// The permissions a newly created file would get, or those of the file being replaced. Setuid,
// setgid and sticky are not carried over: a rendered picture is no program, and a file that takes
// the place of a program must not inherit the right to run as its owner.
mode_t TargetMode(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0) return st.st_mode & 0777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Gives the finished temporary file the target's name. Keep never replaces a file: the kernel
// refuses the rename when the name is taken; a file system without that refusal gets a hard link,
// which fails just the same on a taken name.
void TakeTargetName(const std::string& temporary, const std::string& fileName, TExistingFile existing) {
  if (existing == TExistingFile::Replace) {
    if (::rename(temporary.c_str(), fileName.c_str()) != 0)
      throw EFCreateError(FormatMessage(SFCreateError, fileName));
    return;
  }
  int result = compat::RenameNoReplace(temporary.c_str(), fileName.c_str());
  if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
    result = ::link(temporary.c_str(), fileName.c_str());
    if (result == 0) ::unlink(temporary.c_str());
  }
  if (result == 0) return;
  if (errno == EEXIST) throw EFileExists(FormatMessage(SFileExists, fileName));
  throw EFCreateError(FormatMessage(SFCreateError, fileName));
}

// The writes in progress, so that a program being stopped can take back their temporary files. A
// temporary file is listed from the moment it is made until it has the target's name or is
// removed, both under the lock; once abandoned, no write takes its name any more.
struct TWritesInProgress {
  std::mutex Mutex;
  bool Abandoned = false;
  std::set<std::string> Temporaries;
};

TWritesInProgress& WritesInProgress() {
  static TWritesInProgress writes;
  return writes;
}

void ThrowIfAbandoned(const std::string& fileName) {
  if (WritesInProgress().Abandoned) throw EFCreateError(FormatMessage(SFCreateError, fileName));
}

}  // namespace

void AbandonWrites() {
  TWritesInProgress& writes = WritesInProgress();
  const std::lock_guard lock(writes.Mutex);
  writes.Abandoned = true;
  for (const std::string& temporary : writes.Temporaries) ::unlink(temporary.c_str());
  writes.Temporaries.clear();
}

void WriteFileSafely(const std::string& fileName, const std::function<void(TStream&)>& write,
                     TExistingFile existing, const std::function<void()>& named) {
  // A folder of that name could never be replaced; say so before anything is written.
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw EFCreateError(FormatMessage(SFCreateError, fileName));
  std::string pattern = TemporaryPattern(fileName);
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  TWritesInProgress& writes = WritesInProgress();
  int fd = -1;
  {
    const std::lock_guard lock(writes.Mutex);
    ThrowIfAbandoned(fileName);
    fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) throw EFCreateError(FormatMessage(SFCreateError, fileName));
    writes.Temporaries.insert(path.data());
  }
  const std::string temporary(path.data());
  try {
    TFileStream stream(fd, temporary);
    write(stream);
    ::fchmod(fd, TargetMode(fileName));
    stream.Commit();
    const std::lock_guard lock(writes.Mutex);
    ThrowIfAbandoned(fileName);
    TakeTargetName(temporary, fileName, existing);
    writes.Temporaries.erase(temporary);
    if (named) named();
  } catch (...) {
    const std::lock_guard lock(writes.Mutex);
    // Once abandoned, the temporary file is gone already, and its name may be another's now.
    if (writes.Temporaries.erase(temporary) != 0) ::unlink(temporary.c_str());
    throw;
  }
}
