#include "toolkit/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

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

// The permissions a newly created file would get, or those of the file being replaced.
mode_t TargetMode(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

void WriteFileSafely(const std::string& fileName, const std::function<void(TStream&)>& write) {
  // A folder of that name could never be replaced; say so before anything is written.
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw EFCreateError(FormatMessage(SFCreateError, fileName));
  std::string pattern = TemporaryPattern(fileName);
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) throw EFCreateError(FormatMessage(SFCreateError, fileName));
  const std::string temporary(path.data());
  try {
    TFileStream stream(fd, temporary);
    write(stream);
    ::fchmod(fd, TargetMode(fileName));
    stream.Commit();
    if (::rename(temporary.c_str(), fileName.c_str()) != 0)
      throw EFCreateError(FormatMessage(SFCreateError, fileName));
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
}
