#pragma once
// RowInflater: the reverse of RowCompressor's deflating. Takes a PNG's image data (its zlib stream,
// in the pieces its IDAT chunks bring), inflates it a batch of rows at a time and hands every row
// over as soon as it is whole, its filter byte first and its filter not yet undone (UnfilterRow);
// nothing past the last row is inflated, so the stream's closing Adler-32 sum is not checked (the
// chunks' CRC-32s guard the bytes).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "picture/png/RFLZLIB.h"

// Undoes the filter of `type` on row[0..length) in place, against the previous row `previous`
// (zeros for a picture's first row), `step` bytes a pixel (1 for fewer than 8 bits). The exact
// inverse of FilterRow.
void UnfilterRow(TPngFilter type, std::uint8_t* row, const std::uint8_t* previous, int length, int step);
// The same for two rows in a row filtered with Paeth: `first` against `previous`, then `second`
// against `first`; faster than one at a time for 3 and 4 bytes a pixel.
void UnPaethRows(std::uint8_t* first, std::uint8_t* second, const std::uint8_t* previous, int length, int step);

// The CRC-32 of PNG chunks (and of zlib), continued from `crc` over data[0..size).
std::uint32_t ChunkCrc(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

class RowInflater {
 public:
  enum TResult {
    NeedData,   // every byte given was used, rows are still to come
    AllRows,    // the last row was handed over; what data is left was not inflated
    DataEnded,  // the zlib stream ended before the last row
    BadData,    // bytes that are no zlib stream
    BadFilter,  // a row of an unknown filter type
  };
  // row[0] is the row's filter type (a known one), row[1..rowBytes] its filtered bytes; the bytes
  // stay valid only until the call returns.
  using RowEvent = void (*)(void* context, const std::uint8_t* row);

  // Who inflates: ISA-L where the build has it (x86-64 and ARM64 builds; about three times zlib's
  // speed), or zlib (the page, and the tests' comparison). Deflate decoding is exact: both give the
  // same bytes for every valid stream.
  enum TEngine { Fastest, Zlib };

  // Rows of `rowBytes` bytes (without their filter byte), `rows` of them. Throws EOutOfResources
  // (SImageTooLarge) when the rows or the inflater's state cannot be allocated.
  RowInflater(int rowBytes, int rows, TEngine engine = Fastest);
  ~RowInflater();
  RowInflater(const RowInflater&) = delete;
  RowInflater& operator=(const RowInflater&) = delete;

  // Inflates data[0..size) as far as it goes, calling onRow(context, row) for each finished row.
  TResult Inflate(const std::uint8_t* data, std::size_t size, RowEvent onRow, void* context);

  struct TState;

 private:
  std::unique_ptr<TState> state_;
};
