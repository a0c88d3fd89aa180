#pragma once
// A file the page's script holds (a Blob: a chosen, dropped or pasted file), read by the engine a
// part at a time as its reader asks, so that the engine never holds the whole file beside its
// picture. The script answers each read from its own copy of the file (web/rufuremina.mjs).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "toolkit/stream.h"

class TScriptFileStream final : public TStream {
 public:
  // The file the script holds now, of `size` bytes.
  explicit TScriptFileStream(std::uint64_t size);
  // Throws EReadError (SReadError) when the script cannot read the file (it changed or went).
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void*, std::size_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

 private:
  // Reads up to `count` bytes at `position` from the script into `into`.
  std::size_t Fetch(std::uint64_t position, std::size_t count, std::uint8_t* into);

  std::uint64_t size_;
  std::uint64_t position_ = 0;
  // The part read last, from bufferStart_: small reads (headers, rows) are served from it.
  std::vector<std::uint8_t> buffer_;
  std::uint64_t bufferStart_ = 0;
  std::size_t bufferLength_ = 0;
};
