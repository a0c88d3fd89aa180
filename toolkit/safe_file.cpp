#include "toolkit/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "toolkit/compat.h"
#include "toolkit/errors.h"
#include "toolkit/strings.h"

namespace {

// Named temporary files are the target's name with a dot in front and ".tmp" and six letters or
// digits after it.
constexpr const char* kTemporaryInfix = ".tmp";
constexpr std::size_t kTemporarySuffixLength = 6;
// A named temporary file older than this, that no writer has open, was left by a run that was killed.
constexpr std::time_t kStaleTemporarySeconds = 24 * 60 * 60;

std::string TemporaryPattern(const std::string& fileName) {
  auto [folder, base] = SplitFileName(fileName);
  // The temporary name adds 8 bytes; a long target name must not push it past the name limit of
  // the file system (255 bytes), or a file that could be written would be refused.
  if (base.size() > 200) base.resize(200);
  return folder + "." + base + kTemporaryInfix + std::string(kTemporarySuffixLength, 'X');
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

[[noreturn]] void ThrowNameTaken(const std::string& fileName) {
  if (errno == EEXIST) throw EFileExists(FormatMessage(SFileExists, fileName));
  throw EFCreateError(FormatMessage(SFCreateError, fileName));
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
  if (result != 0) ThrowNameTaken(fileName);
}

// The writes in progress, so that a program being stopped can take back their temporary files. A
// named temporary file is listed from the moment it is made until it has the target's name or is
// removed, both under the lock; once abandoned, no write takes its name any more. Unnamed files
// need no list: they vanish with the descriptor.
struct TWritesInProgress {
  std::mutex Mutex;
  bool Abandoned = false;
  std::set<std::string> Temporaries;
  std::set<std::string> FoldersSwept;  // where stale temporary files were looked for
};

TWritesInProgress& WritesInProgress() {
  static TWritesInProgress writes;
  return writes;
}

void ThrowIfAbandoned(const std::string& fileName) {
  if (WritesInProgress().Abandoned) throw EFCreateError(FormatMessage(SFCreateError, fileName));
}

// Writes the file through `stream` and flushes it; a failing write or flush is told with the
// target's name, and the full disk as such.
void WriteAndFlush(const std::string& fileName, TFileStream& stream, int fd,
                   const std::function<void(TStream&)>& write) {
  try {
    write(stream);
    ::fchmod(fd, TargetMode(fileName));
    stream.Sync();
  } catch (const EWriteError&) {
    throw EWriteError(WriteFailureMessage(fileName, stream.LastError()));
  }
}

// The name of a descriptor in /proc, through which linkat names an unnamed file without privilege.
std::string DescriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// A fresh name beside the target for the unnamed file `fd`, taken atomically (never an existing
// file), or empty when none could be taken.
std::string LinkToFreshName(int fd, const std::string& fileName) {
  std::random_device seed;
  std::minstd_rand draw(seed());
  const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = TemporaryPattern(fileName);
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (std::size_t i = name.size() - kTemporarySuffixLength; i < name.size(); ++i)
      name[i] = letters[draw() % (sizeof letters - 1)];
    if (::linkat(AT_FDCWD, DescriptorPath(fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return name;
    if (errno != EEXIST) break;
  }
  return {};
}

// Writes through a file that has no name until it is whole: a program killed meanwhile leaves
// nothing behind. False, with nothing written, where the folder's file system has no such files.
bool WriteUnnamed(const std::string& fileName, const std::function<void(TStream&)>& write, TExistingFile existing,
                  const std::function<void()>& named) {
  // linkat reaches the file through /proc; without it the file could not be named when finished.
  if (::access("/proc/self/fd", X_OK) != 0) return false;
  const std::string folder = SplitFileName(fileName).Folder;
  const int fd = compat::OpenUnnamedFile(folder.empty() ? "." : folder.c_str(), 0600);
  if (fd < 0) return false;
  TFileStream stream(fd, fileName);
  WriteAndFlush(fileName, stream, fd, write);
  TWritesInProgress& writes = WritesInProgress();
  {
    const std::lock_guard lock(writes.Mutex);
    ThrowIfAbandoned(fileName);
    if (existing == TExistingFile::Keep) {
      // Atomic, and refuses a name that is taken.
      if (::linkat(AT_FDCWD, DescriptorPath(fd).c_str(), AT_FDCWD, fileName.c_str(), AT_SYMLINK_FOLLOW) != 0)
        ThrowNameTaken(fileName);
    } else {
      // linkat cannot replace a file: a fresh name first, renamed over the target. Under the lock,
      // so that a program being stopped never finds the fresh name left behind.
      const std::string temporary = LinkToFreshName(fd, fileName);
      if (temporary.empty()) throw EFCreateError(FormatMessage(SFCreateError, fileName));
      if (::rename(temporary.c_str(), fileName.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throw EFCreateError(FormatMessage(SFCreateError, fileName));
      }
    }
    if (named) named();
  }
  stream.Commit();  // flushed already: the close cannot lose data
  return true;
}

// Whether `name` is a named temporary file of ours: "." + target + ".tmp" + six letters or digits.
bool IsTemporaryName(const std::string& name) {
  const std::size_t infix = std::char_traits<char>::length(kTemporaryInfix);
  if (name.size() < 1 + 1 + infix + kTemporarySuffixLength || name[0] != '.') return false;
  const std::size_t suffix = name.size() - kTemporarySuffixLength;
  if (name.compare(suffix - infix, infix, kTemporaryInfix) != 0) return false;
  for (std::size_t i = suffix; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

}  // namespace

std::string WriteFailureMessage(const std::string& fileName, int error) {
  std::string text = FormatMessage(SFWriteError, fileName);
  if (error == ENOSPC || error == EDQUOT) text += std::string(": ") + SDiskFull;
  return text;
}

std::size_t RemoveStaleTemporaries(const std::string& folder, std::time_t now) {
  DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) return 0;
  std::size_t removed = 0;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (!IsTemporaryName(name)) continue;
    const std::string path = folder + name;
    // Opened without following a link and without waiting, and judged by what was opened.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st {};
    // A writer holds its lock on its temporary file for as long as it has it open; a file that
    // can be locked has no writer left.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        now - st.st_mtime > kStaleTemporarySeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0)
      ++removed;
    ::close(fd);
  }
  ::closedir(listing);
  return removed;
}

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
  if (WriteUnnamed(fileName, write, existing, named)) return;

  // A named temporary file, beside the files that earlier runs killed while writing left here.
  std::string pattern = TemporaryPattern(fileName);
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  TWritesInProgress& writes = WritesInProgress();
  const std::string folder = SplitFileName(fileName).Folder;
  bool sweep = false;
  int fd = -1;
  {
    const std::lock_guard lock(writes.Mutex);
    ThrowIfAbandoned(fileName);
    sweep = writes.FoldersSwept.insert(folder).second;
    fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) throw EFCreateError(FormatMessage(SFCreateError, fileName));
    // Held while the file is open: the sign to other runs that it is not left over.
    ::flock(fd, LOCK_EX | LOCK_NB);
    writes.Temporaries.insert(path.data());
  }
  if (sweep) RemoveStaleTemporaries(folder, std::time(nullptr));
  const std::string temporary(path.data());
  try {
    TFileStream stream(fd, temporary);
    WriteAndFlush(fileName, stream, fd, write);
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
