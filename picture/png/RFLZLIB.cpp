#include "picture/png/RFLZLIB.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "numeric/extended.h"

namespace {

constexpr std::align_val_t RowAlignment{32};
constexpr int DefaultBufferSize = 32768;
constexpr int LargestBufferSize = 262143;

std::uint8_t PaethPredictor(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return std::uint8_t(a);
  if (pb <= pc) return std::uint8_t(b);
  return std::uint8_t(c);
}

}  // namespace

std::int64_t ScoreFilteredRow(const std::uint8_t* row, int length, int bitsPerPixel, std::int32_t* histogram) {
  std::memset(histogram, 0, 256 * sizeof(std::int32_t));
  for (int i = 0; i < length; ++i) ++histogram[row[i]];
  int distinct = 0;
  std::int32_t t1 = 0, t2 = 0, t3 = 0;
  for (int v = 0; v < 256; ++v) {
    const std::int32_t c = histogram[v];
    if (c == 0) continue;
    ++distinct;
    if (c > t1) {
      t3 = t2;
      t2 = t1;
      t1 = c;
    } else if (c > t2) {
      t3 = t2;
      t2 = c;
    } else if (c > t3) {
      t3 = c;
    }
  }
  if (distinct <= 8 || std::int64_t(t1) * 100 >= std::int64_t(90) * length) return -1;
  const Extended n = length;
  Extended score;
  if (bitsPerPixel < 8)
    score = n / Extended(1.5) / distinct * 1500 + (t1 + t2) / n * 1000;
  else
    score = n / Extended(1.5) / distinct * 1000 + (std::int64_t(t1) + t2 + t3) / n * 1000;
  return std::int64_t(score);  // truncated toward zero
}

void FilterRow(TPngFilter type, const std::uint8_t* x, const std::uint8_t* b, int length, int step,
               std::uint8_t* out) {
  out[0] = type;
  std::uint8_t* o = out + 1;
  const int head = std::min(step, length);
  switch (type) {
    case pfNone:
      std::memcpy(o, x, std::size_t(length));
      break;
    case pfSub:
      std::memcpy(o, x, std::size_t(head));
      for (int i = step; i < length; ++i) o[i] = std::uint8_t(x[i] - x[i - step]);
      break;
    case pfUp:
      for (int i = 0; i < length; ++i) o[i] = std::uint8_t(x[i] - b[i]);
      break;
    case pfAverage:
      for (int i = 0; i < head; ++i) o[i] = std::uint8_t(x[i] - b[i] / 2);
      for (int i = step; i < length; ++i) o[i] = std::uint8_t(x[i] - (x[i - step] + b[i]) / 2);
      break;
    case pfPaeth:
      for (int i = 0; i < head; ++i) o[i] = std::uint8_t(x[i] - PaethPredictor(0, b[i], 0));
      for (int i = step; i < length; ++i)
        o[i] = std::uint8_t(x[i] - PaethPredictor(x[i - step], b[i], b[i - step]));
      break;
  }
}

void RowCompressor::FreeBlock::operator()(std::uint8_t* p) const { ::operator delete(p, RowAlignment); }

RowCompressor::~RowCompressor() { EndCompression(); }

void RowCompressor::AllocateRows(int width) {
  FreeRows();
  const std::uint64_t rowBytes = (std::uint64_t(width < 0 ? 0 : width) * std::uint64_t(BitsPerPixel) + 7) / 8;
  const std::uint64_t padded = (rowBytes + 3) & ~std::uint64_t(3);
  const std::uint64_t capacity = (padded + 39) & ~std::uint64_t(31);
  auto* block = static_cast<std::uint8_t*>(::operator new(std::size_t(capacity * 4 + 1024), RowAlignment));
  std::memset(block, 0, std::size_t(capacity * 4 + 1024));
  rows_.reset(block);
  rowCapacity_ = std::size_t(capacity);
  current_ = block;
  previous_ = block + capacity;
  chosen_ = block + 2 * capacity;
  trial_ = block + 3 * capacity;
  histogram_ = reinterpret_cast<std::int32_t*>(block + 4 * capacity);
  rowLength_ = 1;
}

void RowCompressor::FreeRows() {
  rows_.reset();
  rowCapacity_ = 0;
  current_ = previous_ = chosen_ = trial_ = nullptr;
  histogram_ = nullptr;
}

void RowCompressor::StartPass(int rowBytes) {
  rowLength_ = rowBytes + 1;
  std::memset(previous_, 0, rowCapacity_);
}

void RowCompressor::SelectRowFilter() {
  const int length = rowLength_ - 1;
  const int step = (BitsPerPixel + 7) / 8;
  const int mode = FilterMode & 0xFF;
  if (mode >= FilterModeSub && mode <= FilterModePaeth) {
    FilterRow(TPngFilter(mode - FilterModeNone), current_, previous_, length, step, chosen_);
    return;
  }
  FilterRow(pfNone, current_, previous_, length, step, chosen_);
  if (mode != FilterModeAdaptive) return;

  std::int64_t best = ScoreFilteredRow(chosen_, rowLength_, BitsPerPixel, histogram_);
  if (best == -1 || BiasClass == 4) return;
  if (BiasClass == 1 || BiasClass == 8) best *= 2;
  for (TPngFilter type : {pfSub, pfUp, pfAverage, pfPaeth}) {
    FilterRow(type, current_, previous_, length, step, trial_);
    const std::int64_t score = ScoreFilteredRow(trial_, rowLength_, BitsPerPixel, histogram_);
    if (score == -1) {
      std::swap(chosen_, trial_);
      return;
    }
    if (score > best) {
      std::swap(chosen_, trial_);
      best = score;
    }
  }
}

int RowCompressor::StartCompression(int level, int bufferSize) {
  if (bufferSize <= 0 || bufferSize > LargestBufferSize) bufferSize = DefaultBufferSize;
  EndCompression();
  output_.reset(new (std::nothrow) std::uint8_t[std::size_t(bufferSize)]);
  if (!output_) return -1;
  bufferSize_ = bufferSize;
  zstream_ = z_stream{};
  zstream_.zalloc = Z_NULL;  // zlib's own allocator
  zstream_.zfree = Z_NULL;
  zstream_.opaque = Z_NULL;
  if (deflateInit2(&zstream_, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return -1;
  deflating_ = true;
  zstream_.next_out = output_.get();
  zstream_.avail_out = uInt(bufferSize_);
  return 0;
}

int RowCompressor::CompressRow() {
  if (!deflating_) return Z_STREAM_ERROR;
  SelectRowFilter();
  zstream_.next_in = chosen_;
  zstream_.avail_in = uInt(rowLength_);
  int result = Z_OK;
  while (zstream_.avail_in > 0) {
    result = deflate(&zstream_, Z_NO_FLUSH);
    if (result < 0) return result;
    if (zstream_.avail_out == 0) {
      if (const int answer = OnBufferFull(output_.get(), bufferSize_); answer != 0) return answer;
      zstream_.next_out = output_.get();
      zstream_.avail_out = uInt(bufferSize_);
    }
  }
  return result;
}

int RowCompressor::FinishCompression() {
  if (!deflating_) return -1;
  zstream_.next_in = nullptr;
  zstream_.avail_in = 0;
  for (;;) {
    const int result = deflate(&zstream_, Z_FINISH);
    if (result < 0) return -1;
    if (result == Z_STREAM_END) break;
    if (zstream_.avail_out == 0) {
      if (const int answer = OnBufferFull(output_.get(), bufferSize_); answer != 0) return answer;
      zstream_.next_out = output_.get();
      zstream_.avail_out = uInt(bufferSize_);
    }
  }
  const int filled = bufferSize_ - int(zstream_.avail_out);
  zstream_.next_out = output_.get();
  zstream_.avail_out = uInt(bufferSize_);
  deflateReset(&zstream_);
  if (filled > 0) return OnBufferFull(output_.get(), filled);
  return 0;
}

void RowCompressor::EndCompression() {
  if (deflating_) deflateEnd(&zstream_);
  deflating_ = false;
  output_.reset();
  bufferSize_ = 0;
}
