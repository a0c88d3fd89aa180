#include "picture/png/RowInflater.h"

#include <zlib.h>
#ifdef RFL_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "toolkit/messages.h"
#include "toolkit/errors.h"

namespace {

// Four lanes of one pixel's channels, so that the predictors of a pixel's channels run side by side
// without branches (compilers turn these into vector instructions where a processor has them; the
// arithmetic is exact integers everywhere).
typedef std::int16_t TLanes __attribute__((vector_size(8)));
typedef std::uint8_t TPixelBytes __attribute__((vector_size(4)));

typedef std::uint8_t TLaneBytes __attribute__((vector_size(8)));
static_assert(std::endian::native == std::endian::little, "a lane's low byte comes first");

template <int Step>
TLanes LoadPixel(const std::uint8_t* p) {
  // Each byte followed by a zero byte: the lanes' values (a widening that every vector
  // instruction set does in one step, where a conversion takes several on some).
  TLaneBytes bytes{};
  std::memcpy(&bytes, p, Step);
  const TLaneBytes zero{};
  return (TLanes)__builtin_shufflevector(bytes, zero, 0, 8, 1, 8, 2, 8, 3, 8);
}

template <int Step>
void StorePixel(std::uint8_t* p, TLanes v) {
  const TPixelBytes bytes = __builtin_convertvector(v & 0xFF, TPixelBytes);
  std::memcpy(p, &bytes, Step);
}

template <class V>
V Abs(V v) {
  const V sign = v >> 15;
  return (v ^ sign) - sign;
}

// The Paeth predictor of a, b, c (left, above, upper left), lane by lane.
template <class V>
V PaethOf(V left, V up, V upLeft) {
  const V pa = Abs(up - upLeft), pb = Abs(left - upLeft), pc = Abs(left + up - 2 * upLeft);
  const V takeLeft = (pa <= pb) & (pa <= pc), takeUp = pb <= pc;
  const V notLeft = (takeUp & up) | (~takeUp & upLeft);
  return (takeLeft & left) | (~takeLeft & notLeft);
}

// Whole pixels of `Step` (3 or 4) bytes.
template <int Step>
void UnPaeth(std::uint8_t* x, const std::uint8_t* b, int length) {
  TLanes left{}, upperLeft{};
  for (int i = 0; i < length; i += Step) {
    const TLanes up = LoadPixel<Step>(b + i);
    left = (LoadPixel<Step>(x + i) + PaethOf(left, up, upperLeft)) & 0xFF;
    StorePixel<Step>(x + i, left);
    upperLeft = up;
  }
}

// Two pixels' lanes side by side: lanes 0-3 one pixel's, lanes 4-7 another's.
typedef std::int16_t TPairLanes __attribute__((vector_size(16)));

TPairLanes Join(TLanes low, TLanes high) { return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7); }
TLanes Low(TPairLanes v) { return __builtin_shufflevector(v, v, 0, 1, 2, 3); }
TLanes High(TPairLanes v) { return __builtin_shufflevector(v, v, 4, 5, 6, 7); }

// Whole pixels of `Step` (3 or 4) bytes, two Paeth rows at once: `first` against `above`, and
// `second` against `first` a pixel behind, as each pixel of `first` comes out. The two rows' chains
// of pixels, each waiting for the pixel on its left, run side by side in one vector.
template <int Step>
void UnPaethPair(std::uint8_t* first, std::uint8_t* second, const std::uint8_t* above, int length) {
  const int n = length / Step;
  const TLanes zero{};
  const TLanes up0 = LoadPixel<Step>(above);
  const TLanes first0 = (LoadPixel<Step>(first) + PaethOf(zero, up0, zero)) & 0xFF;
  StorePixel<Step>(first, first0);
  // In step k: first's pixel k and second's pixel k - 1.
  TPairLanes left = Join(first0, zero), up = Join(up0, zero);
  for (int k = 1; k < n; ++k) {
    const TPairLanes upLeft = up;
    up = Join(LoadPixel<Step>(above + k * Step), Low(left));
    const TPairLanes x = Join(LoadPixel<Step>(first + k * Step), LoadPixel<Step>(second + (k - 1) * Step));
    left = (x + PaethOf(left, up, upLeft)) & 0xFF;
    StorePixel<Step>(first + k * Step, Low(left));
    StorePixel<Step>(second + (k - 1) * Step, High(left));
  }
  std::uint8_t* last = second + (n - 1) * Step;
  StorePixel<Step>(last, (LoadPixel<Step>(last) + PaethOf(High(left), Low(left), High(up))) & 0xFF);
}

// Whole pixels of `Step` bytes: the average of left and above.
template <int Step>
void UnAverage(std::uint8_t* x, const std::uint8_t* b, int length) {
  TLanes left{};
  for (int i = 0; i < length; i += Step) {
    left = (LoadPixel<Step>(x + i) + ((left + LoadPixel<Step>(b + i)) >> 1)) & 0xFF;
    StorePixel<Step>(x + i, left);
  }
}

void UnPaethAny(std::uint8_t* x, const std::uint8_t* b, int length, int step) {
  for (int i = 0; i < length; ++i) {
    const int a = i >= step ? x[i - step] : 0, up = b[i], c = i >= step ? b[i - step] : 0;
    const int pa = std::abs(up - c), pb = std::abs(a - c), pc = std::abs(a + up - 2 * c);
    x[i] = std::uint8_t(x[i] + ((pa <= pb && pa <= pc) ? a : (pb <= pc ? up : c)));
  }
}

}  // namespace

void UnPaethRows(std::uint8_t* first, std::uint8_t* second, const std::uint8_t* above, int length, int step) {
  if (length > 0 && step == 4 && length % 4 == 0) return UnPaethPair<4>(first, second, above, length);
  if (length > 0 && step == 3 && length % 3 == 0) return UnPaethPair<3>(first, second, above, length);
  UnfilterRow(pfPaeth, first, above, length, step);
  UnfilterRow(pfPaeth, second, first, length, step);
}

void UnfilterRow(TPngFilter type, std::uint8_t* x, const std::uint8_t* b, int length, int step) {
  switch (type) {
    case pfNone:
      break;
    case pfSub:
      for (int i = step; i < length; ++i) x[i] = std::uint8_t(x[i] + x[i - step]);
      break;
    case pfUp:
      for (int i = 0; i < length; ++i) x[i] = std::uint8_t(x[i] + b[i]);
      break;
    case pfAverage:
      if (step == 4 && length % 4 == 0) {
        UnAverage<4>(x, b, length);
        break;
      }
      if (step == 3 && length % 3 == 0) {
        UnAverage<3>(x, b, length);
        break;
      }
      for (int i = 0; i < step && i < length; ++i) x[i] = std::uint8_t(x[i] + b[i] / 2);
      for (int i = step; i < length; ++i) x[i] = std::uint8_t(x[i] + (x[i - step] + b[i]) / 2);
      break;
    case pfPaeth:
      // Whole pixels of the common widths unrolled; the predictor is the same for any.
      if (step == 4 && length % 4 == 0) UnPaeth<4>(x, b, length);
      else if (step == 3 && length % 3 == 0) UnPaeth<3>(x, b, length);
      else UnPaethAny(x, b, length, step);
      break;
  }
}

std::uint32_t ChunkCrc(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const uInt piece = uInt(std::min<std::size_t>(size, 1u << 30));
    crc = std::uint32_t(crc32(crc, data, piece));
    data += piece;
    size -= piece;
  }
  return crc;
}

// Rows are inflated a batch at a time, about this many bytes: zlib's fast loop stops short of the
// end of each output buffer, so one row at a time would leave much of it to the slow one.
constexpr std::size_t BatchBytes = 64 * 1024;

struct RowInflater::TState {
  bool Fast = false;  // ISA-L inflates, otherwise zlib
  z_stream Stream{};
  bool Ready = false;
#ifdef RFL_HAVE_ISAL
  std::unique_ptr<inflate_state> Isal;
#endif
  const std::uint8_t* In = nullptr;  // compressed bytes not yet inflated
  std::size_t InSize = 0;
  // The zlib header's two bytes, read before the deflate data: the data is inflated raw, without
  // the Adler-32 sum of every inflated byte, which is checked only after the last row (which is
  // never inflated past) and whose bytes the chunks' checksums already guard.
  std::uint8_t Header[2] = {};
  int HeaderBytes = 0;
  int RowBytes = 0, Rows = 0;
  int Done = 0;                    // rows handed over
  std::size_t Stride = 0;          // a row with its filter byte
  int BatchRows = 0;               // rows the batch holds
  std::vector<std::uint8_t> Batch;  // rows with their filter bytes, as inflated
  std::size_t Filled = 0;          // bytes of the batch inflated
  int Handed = 0;                  // rows of the batch handed over
  ~TState() {
    if (Ready) inflateEnd(&Stream);
  }
};

namespace {

enum class TStep { Going, Ended, Failed };

// Inflates from the state's input into out[0..room), adding what it wrote to `filled`.
TStep InflateStep(RowInflater::TState& s, std::uint8_t* out, std::size_t room, std::size_t& filled) {
  const uInt in = uInt(std::min<std::size_t>(s.InSize, 1u << 30));
#ifdef RFL_HAVE_ISAL
  if (s.Fast) {
    inflate_state& st = *s.Isal;
    st.next_in = const_cast<std::uint8_t*>(s.In);
    st.avail_in = in;
    st.next_out = out;
    st.avail_out = std::uint32_t(room);
    const int status = isal_inflate(&st);
    filled += room - st.avail_out;
    s.InSize -= in - st.avail_in;
    s.In += in - st.avail_in;
    if (status < 0) return TStep::Failed;
    if (st.block_state == ISAL_BLOCK_FINISH) return TStep::Ended;
    // Input left and room left, yet nothing moved: the stream cannot go on.
    if (st.avail_in == in && st.avail_out == room && in > 0) return TStep::Failed;
    return TStep::Going;
  }
#endif
  s.Stream.next_in = const_cast<Bytef*>(s.In);
  s.Stream.avail_in = in;
  s.Stream.next_out = out;
  s.Stream.avail_out = uInt(room);
  const int status = inflate(&s.Stream, Z_SYNC_FLUSH);
  filled += room - s.Stream.avail_out;
  s.InSize -= in - s.Stream.avail_in;
  s.In += in - s.Stream.avail_in;
  if (status == Z_STREAM_END) return TStep::Ended;
  if (status != Z_OK && status != Z_BUF_ERROR) return TStep::Failed;
  if (status == Z_BUF_ERROR && s.Stream.avail_in > 0 && s.Stream.avail_out > 0) return TStep::Failed;
  return TStep::Going;
}

}  // namespace

RowInflater::RowInflater(int rowBytes, int rows, TEngine engine) {
  try {
    state_ = std::make_unique<TState>();
    state_->Stride = std::size_t(rowBytes) + 1;
    state_->BatchRows = int(std::clamp<std::size_t>(BatchBytes / state_->Stride, 1, std::size_t(std::max(rows, 1))));
    state_->Batch.assign(state_->Stride * std::size_t(state_->BatchRows), 0);
#ifdef RFL_HAVE_ISAL
    if (engine == Fastest) {
      state_->Isal = std::make_unique<inflate_state>();
      isal_inflate_init(state_->Isal.get());
      state_->Isal->crc_flag = ISAL_DEFLATE;  // raw deflate data, as zlib's below
      state_->Fast = true;
    }
#endif
  } catch (const std::bad_alloc&) {
    throw EOutOfResources(SImageTooLarge);
  }
  (void)engine;
  state_->RowBytes = rowBytes;
  state_->Rows = rows;
  if (inflateInit2(&state_->Stream, -15) != Z_OK) throw EOutOfResources(SImageTooLarge);
  state_->Ready = true;
}

RowInflater::~RowInflater() = default;

RowInflater::TResult RowInflater::Inflate(const std::uint8_t* data, std::size_t size, RowEvent onRow, void* context) {
  TState& s = *state_;
  if (s.Done >= s.Rows) return AllRows;
  while (s.HeaderBytes < 2 && size > 0) {
    s.Header[s.HeaderBytes++] = *data++;
    --size;
    if (s.HeaderBytes < 2) continue;
    // Deflate (method 8) with a window of at most 32 KiB, no preset dictionary, the check bits right.
    const unsigned cmf = s.Header[0], flg = s.Header[1];
    if ((cmf & 15) != 8 || (cmf >> 4) > 7 || (flg & 0x20) != 0 || (cmf * 256 + flg) % 31 != 0) return BadData;
  }
  s.In = data;
  s.InSize = size;
  // Until the input is used up and the inflater has nothing more to give: both may hold decoded
  // bytes back when the room for them ran out, to give them on the next call without new input.
  for (;;) {
    // The batch holds no more rows than the picture has left.
    const int rowsLeft = s.Rows - (s.Done - s.Handed);
    const std::size_t batchBytes = s.Stride * std::size_t(std::min(s.BatchRows, rowsLeft));
    const std::size_t before = s.Filled;
    const TStep step = InflateStep(s, s.Batch.data() + s.Filled, batchBytes - s.Filled, s.Filled);
    if (step == TStep::Failed) return BadData;
    for (; std::size_t(s.Handed + 1) * s.Stride <= s.Filled; ++s.Handed) {
      const std::uint8_t* row = s.Batch.data() + std::size_t(s.Handed) * s.Stride;
      if (row[0] > pfPaeth) return BadFilter;
      onRow(context, row);
      if (++s.Done == s.Rows) return AllRows;
    }
    if (s.Filled == batchBytes) {
      s.Filled = 0;
      s.Handed = 0;
      continue;
    }
    if (step == TStep::Ended) return DataEnded;
    if (s.InSize == 0 && s.Filled == before) return NeedData;
  }
}
