#pragma once
// TStream family: byte streams with a position. Read and Write report how many bytes they moved;
// ReadBuffer and WriteBuffer demand all of them and throw the user-facing read or write error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/errors.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// Where a seek of `offset` from `origin` lands in a stream at `position` of `size` bytes; throws
// EReadError (SReadError) before the start or on overflow. Past the end is allowed.
std::int64_t SeekTarget(std::int64_t position, std::int64_t size, std::int64_t offset, TSeekOrigin origin);

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to `count` bytes; returns how many were read (0 at the end).
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Writes up to `count` bytes; returns how many were written.
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  // Moves the position and returns the new one; throws when the stream cannot seek there.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  std::int64_t Size();
  // Bytes from the position to the end (0 when the position is past the end).
  std::int64_t Remaining();

  // Reads exactly `count` bytes or throws EReadError (SReadError).
  void ReadBuffer(void* buffer, std::size_t count);
  // Writes exactly `count` bytes or throws EWriteError (SWriteError).
  void WriteBuffer(const void* buffer, std::size_t count);
};

// A growable stream in memory.
class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  const std::vector<std::uint8_t>& Data() const { return data_; }
  void Clear();

 private:
  std::vector<std::uint8_t> data_;
  std::size_t position_ = 0;
};

// A stream that reads bytes it does not own, which must outlive it: a file already in memory,
// read without a copy. Writes move nothing.
class TByteSpanStream final : public TStream {
 public:
  TByteSpanStream(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void*, std::size_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

 private:
  const std::uint8_t* bytes_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// A name that leads to something other than a plain file or a folder: a pipe, a device, a socket.
class ENotRegularFile : public EFOpenError {
 public:
  using EFOpenError::EFOpenError;
};

// A stream over an open file. fmOpenRead opens an existing plain file for reading, never waiting
// for a writer or a device: EFOpenError with SFOpenError when it cannot be opened or is a folder,
// ENotRegularFile with SFNotRegularFile when it is a pipe, a device or a socket. fmCreate creates or empties a file for writing (EFCreateError with
// SFCreateError).
class TFileStream final : public TStream {
 public:
  enum TMode { fmOpenRead, fmCreate };
  TFileStream(const std::string& fileName, TMode mode);
  // Takes over an already open descriptor (closed by the destructor).
  TFileStream(int fd, const std::string& fileName);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  const std::string& FileName() const { return fileName_; }
  // Flushes the file to disk; throws EWriteError when the system reports a failure.
  void Sync();
  // Flushes the file to disk and closes it; throws EWriteError when the system reports a failure.
  void Commit();
  // The system's error number of the last write, flush or close that failed (0 when none did).
  int LastError() const { return lastError_; }

 private:
  int fd_ = -1;
  std::string fileName_;
  int lastError_ = 0;
};
