#pragma once
// RowCompressor: filters image rows as PNG rows and deflates them with zlib into a fixed-size
// buffer. Whenever the buffer is full (and once more at the end for what is left) OnBufferFull
// receives its bytes; the PNG encoder turns each call into one IDAT chunk, so no chunk but the
// last is shorter than the buffer and no chunk is ever empty.
//
// Rows: the caller converts each image row into CurrentRow() (the length StartPass set, no filter
// byte), calls CompressRow, then SwapRows so that the row becomes the previous row of the next one.
// StartPass zeroes the previous row, as the PNG filters demand at the start of every pass.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include <zlib.h>

// Filter types of a PNG row.
enum TPngFilter : std::uint8_t { pfNone = 0, pfSub = 1, pfUp = 2, pfAverage = 3, pfPaeth = 4 };

// Filter modes of the row compressor: a choice per row by score, or one filter type for every row
// (the type plus one). Any mode above FilterModePaeth acts as FilterModeNone.
enum TPngFilterMode : std::uint8_t {
  FilterModeAdaptive = 0,
  FilterModeNone = 1,
  FilterModeSub = 2,
  FilterModeUp = 3,
  FilterModeAverage = 4,
  FilterModePaeth = 5,
};

// Scores a filtered row (its filter-type byte included) by how well it should compress: -1 when it
// holds at most 8 distinct byte values or one value fills at least 90 per cent of it (take it at
// once), otherwise a score that grows with fewer distinct values and heavier common values.
// `histogram` is 256 counters of scratch space. Rows of many millions of bytes score beyond the
// 32-bit range, hence the 64-bit result.
std::int64_t ScoreFilteredRow(const std::uint8_t* row, int length, int bitsPerPixel, std::int32_t* histogram);

// Writes the filter-type byte and the filtered bytes of `current` (length bytes, previous row
// `previous`, filter step `step` bytes) into out[0..length].
void FilterRow(TPngFilter type, const std::uint8_t* current, const std::uint8_t* previous, int length, int step,
               std::uint8_t* out);

class RowCompressor {
 public:
  // Receives the filled part of the output buffer; answers 0 to go on, anything else to stop
  // the compression with that result.
  using BufferFullEvent = std::function<int(const std::uint8_t* data, int count)>;

  RowCompressor() = default;
  ~RowCompressor();
  RowCompressor(const RowCompressor&) = delete;
  RowCompressor& operator=(const RowCompressor&) = delete;

  BufferFullEvent OnBufferFull;
  int BitsPerPixel = 8;             // bits of one pixel in the row; the filter step is (bits + 7) / 8 bytes
  int FilterMode = FilterModeNone;  // a TPngFilterMode in the low byte
  int BiasClass = 8;                // depth of the source pixels; steers the adaptive choice

  // Allocates the row buffers (current, previous, two candidates, histogram: one block) for rows
  // of up to `width` pixels of BitsPerPixel bits.
  void AllocateRows(int width);
  void FreeRows();
  // Sets the length of the rows that follow (without filter byte) and zeroes the previous row.
  void StartPass(int rowBytes);
  std::uint8_t* CurrentRow() { return current_; }
  void SwapRows() { std::swap(current_, previous_); }

  // Starts a deflate stream at `level` (-1 the library default) with an output buffer of
  // `bufferSize` bytes (0 or less, or above 262143: 32768). Answers 0, or -1 when the buffer or
  // the deflate state could not be made; rows are then refused.
  int StartCompression(int level, int bufferSize);
  // Filters the current row and deflates it. Answers 0, a negative zlib result on failure, or
  // the non-zero answer of OnBufferFull.
  int CompressRow();
  // Ends the deflate stream, handing the rest of the output to OnBufferFull, and readies the
  // stream for reuse. Answers 0, -1 on failure, or the non-zero answer of OnBufferFull.
  int FinishCompression();
  // Frees the output buffer and the deflate state.
  void EndCompression();

  // The filter type chosen for the last compressed row.
  TPngFilter LastFilter() const { return TPngFilter(chosen_[0]); }
  // Fills the chosen candidate (filter byte and filtered row) for the current row.
  void SelectRowFilter();

 private:
  struct FreeBlock {
    void operator()(std::uint8_t* p) const;
  };
  z_stream zstream_{};
  bool deflating_ = false;
  std::unique_ptr<std::uint8_t[]> output_;
  int bufferSize_ = 0;
  int rowLength_ = 1;  // filter byte included
  std::unique_ptr<std::uint8_t, FreeBlock> rows_;
  std::size_t rowCapacity_ = 0;
  std::uint8_t* current_ = nullptr;
  std::uint8_t* previous_ = nullptr;
  std::uint8_t* chosen_ = nullptr;
  std::uint8_t* trial_ = nullptr;
  std::int32_t* histogram_ = nullptr;
};
