#include "toolkit/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "toolkit/errors.h"

std::int64_t TStream::Size() {
  const std::int64_t here = Position();
  const std::int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(here, TSeekOrigin::soBeginning);
  return end;
}

std::int64_t TStream::Remaining() { return std::max<std::int64_t>(0, Size() - Position()); }

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  auto* at = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    const std::size_t got = Read(at, count);
    if (got == 0) throw EReadError(SReadError);
    at += got;
    count -= got;
  }
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
  const auto* at = static_cast<const std::uint8_t*>(buffer);
  while (count > 0) {
    const std::size_t put = Write(at, count);
    if (put == 0) throw EWriteError(SWriteError);
    at += put;
    count -= put;
  }
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  if (position_ >= data_.size()) return 0;
  const std::size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  if (count > data_.max_size() - position_) return 0;  // the block could never hold it
  if (position_ + count > data_.size()) data_.resize(position_ + count);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ += count;
  return count;
}

std::int64_t SeekTarget(std::int64_t position, std::int64_t size, std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = position;
  if (origin == TSeekOrigin::soEnd) base = size;
  std::int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) throw EReadError(SReadError);
  return target;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  position_ = std::size_t(SeekTarget(std::int64_t(position_), std::int64_t(data_.size()), offset, origin));
  return std::int64_t(position_);
}

std::size_t TByteSpanStream::Read(void* buffer, std::size_t count) {
  if (position_ >= size_) return 0;
  const std::size_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, bytes_ + position_, n);
  position_ += n;
  return n;
}

std::int64_t TByteSpanStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  position_ = std::size_t(SeekTarget(std::int64_t(position_), std::int64_t(size_), offset, origin));
  return std::int64_t(position_);
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

TFileStream::TFileStream(const std::string& fileName, TMode mode) : fileName_(fileName) {
  if (mode == fmOpenRead) {
    // Opening a pipe for reading waits for a writer, and a device may wait for anything: the file
    // is opened without waiting and read only when it turns out to be a plain file.
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) throw EFOpenError(FormatMessage(SFOpenError, fileName));
    struct stat st {};
    const bool known = ::fstat(fd_, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      // A folder opens for reading on this system but holds no bytes to read: it is no file.
      if (!known || S_ISDIR(st.st_mode)) throw EFOpenError(FormatMessage(SFOpenError, fileName));
      throw ENotRegularFile(FormatMessage(SFNotRegularFile, fileName));
    }
    // Reads of a plain file never wait, but the flag is not this stream's business beyond the open.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags != -1) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  } else {
    fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw EFCreateError(FormatMessage(SFCreateError, fileName));
  }
}

TFileStream::TFileStream(int fd, const std::string& fileName) : fd_(fd), fileName_(fileName) {}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  for (;;) {
    const ssize_t got = ::read(fd_, buffer, std::min<std::size_t>(count, 1u << 30));
    if (got >= 0) return std::size_t(got);
    if (errno != EINTR) return 0;
  }
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
  for (;;) {
    const ssize_t put = ::write(fd_, buffer, std::min<std::size_t>(count, 1u << 30));
    if (put >= 0) return std::size_t(put);
    if (errno != EINTR) {
      lastError_ = errno;
      return 0;
    }
  }
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
  const off_t at = ::lseek(fd_, off_t(offset), whence);
  if (at < 0) throw EReadError(SReadError);
  return std::int64_t(at);
}

void TFileStream::Sync() {
  if (fd_ < 0) return;
  // A file that cannot be flushed (EINVAL: a pipe, a special file) has nothing waiting to be.
  if (::fsync(fd_) == 0 || errno == EINVAL) return;
  lastError_ = errno;
  throw EWriteError(SWriteError);
}

void TFileStream::Commit() {
  if (fd_ < 0) return;
  Sync();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) == 0) return;
  lastError_ = errno;
  throw EWriteError(SWriteError);
}
