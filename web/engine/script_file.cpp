#include "web/engine/script_file.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstring>

namespace {

// A part of each read from the script: large enough that a picture's rows cost few calls.
constexpr std::size_t BufferSize = std::size_t(1) << 20;

// The script's answer: the bytes copied into the engine's memory at `into`, or -1. Positions travel
// as doubles (exact up to 2^53); addresses as unsigned, the memory may pass 2 GiB.
EM_JS(int, rfl_read_script_file, (double position, int count, std::uint8_t* into), {
  const read = Module['readScriptFile'];
  return read ? read(position, count, into >>> 0) : -1;
});

}  // namespace

TScriptFileStream::TScriptFileStream(std::uint64_t size) : size_(size) {}

std::size_t TScriptFileStream::Fetch(std::uint64_t position, std::size_t count, std::uint8_t* into) {
  if (position >= size_ || count == 0) return 0;
  count = std::size_t(std::min<std::uint64_t>(count, size_ - position));
  const int got = rfl_read_script_file(double(position), int(count), into);
  if (got < 0 || std::size_t(got) > count) throw EReadError(SReadError);
  return std::size_t(got);
}

std::size_t TScriptFileStream::Read(void* buffer, std::size_t count) {
  auto* to = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count && position_ < size_) {
    const bool buffered = position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_;
    if (!buffered && count - done >= BufferSize) {
      // A large read goes straight to its place.
      const std::size_t got = Fetch(position_, std::min<std::size_t>(count - done, 1u << 30), to + done);
      if (got == 0) break;
      done += got;
      position_ += got;
      continue;
    }
    if (!buffered) {
      buffer_.resize(BufferSize);
      bufferStart_ = position_;
      bufferLength_ = Fetch(position_, BufferSize, buffer_.data());
      if (bufferLength_ == 0) break;
    }
    const std::size_t offset = std::size_t(position_ - bufferStart_);
    const std::size_t n = std::min(count - done, bufferLength_ - offset);
    std::memcpy(to + done, buffer_.data() + offset, n);
    done += n;
    position_ += n;
  }
  return done;
}

std::int64_t TScriptFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::int64_t target = SeekTarget(std::int64_t(position_), std::int64_t(size_), offset, origin);
  position_ = std::uint64_t(target);
  return target;
}
