#include "picture/png_image_data.h"

#include <spng.h>

#include <vector>

#include "picture/png/RowInflater.h"
#include "picture/png_errors.h"
#include "picture/png_row_stages.h"
#include "toolkit/worker_pool.h"

namespace {

// Most bytes of one chunk of metadata after the image data, and of them all: libspng's limits.
constexpr std::uint32_t MostChunkBytes = std::uint32_t(8) << 20;
constexpr std::uint64_t MostMetadataBytes = std::uint64_t(8) << 20;
// The pieces in which a chunk's bytes are read.
constexpr std::size_t PieceBytes = 64 * 1024;

std::uint32_t BigEndian(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void ReadOrFail(TStream& stream, std::uint8_t* buffer, std::size_t count) {
  while (count > 0) {
    const std::size_t got = stream.Read(buffer, count);
    if (got == 0) ThrowPngError(SPNG_IO_EOF);
    buffer += got;
    count -= got;
  }
}

void PutRow(void* context, const std::uint8_t* row) { static_cast<TPngRowStages*>(context)->Put(row); }

// Pictures from this size on finish their rows on a second thread while they are inflated, where
// the shared pool has one (smaller ones would spend more on handing the work over than it saves).
constexpr std::uint64_t TwoThreadsFromPixels = std::uint64_t(1) << 16;

// Reads the chunks from the image data on, putting the rows into `stages`; finishes each batch of
// rows put as it goes unless another thread does.
void ReadImageChunks(TStream& stream, std::int64_t start, int rowBytes, int rows, TPngRowStages& stages,
                     bool finishHere) {
  RowInflater inflater(rowBytes, rows);
  RowInflater::TResult result = RowInflater::NeedData;
  std::vector<std::uint8_t> piece(PieceBytes);
  bool inImageData = false, afterImageData = false;
  std::uint64_t metadata = 0;
  stream.SetPosition(start + 8);  // the signature
  for (;;) {
    std::uint8_t head[8];
    ReadOrFail(stream, head, 8);
    const std::uint32_t length = BigEndian(head);
    if (length > 0x7FFFFFFFu) ThrowPngError(SPNG_ECHUNK_SIZE);
    const bool imageData = BigEndian(head + 4) == BigEndian(reinterpret_cast<const std::uint8_t*>("IDAT"));
    if (!inImageData && !afterImageData && !imageData) {
      stream.Seek(std::int64_t(length) + 4, TSeekOrigin::soCurrent);  // read and checked by libspng
      continue;
    }
    if (imageData && afterImageData) ThrowPngError(SPNG_ECHUNK_POS);
    if (!imageData) {
      // The image data is over: it must have held every row.
      if (inImageData && result != RowInflater::AllRows) ThrowPngError(SPNG_EIDAT_TOO_SHORT);
      inImageData = false;
      afterImageData = true;
      const bool end = BigEndian(head + 4) == BigEndian(reinterpret_cast<const std::uint8_t*>("IEND"));
      if (end && length != 0) ThrowPngError(SPNG_ECHUNK_STDLEN);
      if (!end && (head[4] & 0x20) == 0) {
        const bool known = BigEndian(head + 4) == BigEndian(reinterpret_cast<const std::uint8_t*>("PLTE")) ||
                           BigEndian(head + 4) == BigEndian(reinterpret_cast<const std::uint8_t*>("IHDR"));
        ThrowPngError(known ? SPNG_ECHUNK_POS : SPNG_ECHUNK_UNKNOWN_CRITICAL);
      }
      metadata += length;
      if (length > MostChunkBytes || metadata > MostMetadataBytes) ThrowPngError(SPNG_ECHUNK_LIMITS);
    }
    inImageData = imageData;
    std::uint32_t crc = ChunkCrc(0, head + 4, 4);
    for (std::uint32_t left = length; left > 0;) {
      const std::size_t n = std::min<std::size_t>(left, piece.size());
      ReadOrFail(stream, piece.data(), n);
      crc = ChunkCrc(crc, piece.data(), n);
      left -= std::uint32_t(n);
      if (!imageData || result != RowInflater::NeedData) continue;
      result = inflater.Inflate(piece.data(), n, PutRow, &stages);
      if (finishHere) stages.FinishPut();
      if (result == RowInflater::BadData) ThrowPngError(SPNG_EZLIB);
      if (result == RowInflater::BadFilter) ThrowPngError(SPNG_EFILTER);
      if (result == RowInflater::DataEnded) ThrowPngError(SPNG_EIDAT_TOO_SHORT);
    }
    std::uint8_t stored[4];
    ReadOrFail(stream, stored, 4);
    if (BigEndian(stored) != crc) ThrowPngError(SPNG_ECHUNK_CRC);
    if (!imageData && BigEndian(head + 4) == BigEndian(reinterpret_cast<const std::uint8_t*>("IEND"))) break;
  }
}

}  // namespace

TBitmap ReadCommonPngImageData(TStream& stream, std::int64_t start, int width, int height, int channels) {
  TBitmap picture(width, height, pf32bit);
  TPngRowStages stages(picture, channels);
  TWorkerPool& pool = SharedWorkerPool();
  if (std::uint64_t(width) * std::uint64_t(height) < TwoThreadsFromPixels || pool.Size() == 0) {
    ReadImageChunks(stream, start, width * channels, height, stages, true);
    return picture;
  }
  // Task 0 inflates, task 1 finishes the rows. Tasks are handed out in order, so the finishing side
  // waits only while the inflating one runs; where no thread is free, the calling thread runs both,
  // one after the other.
  pool.ParallelFor(2, [&](std::size_t task) {
    if (task == 1) return stages.FinishUntilEnd();
    struct TEnd {
      TPngRowStages& Stages;
      ~TEnd() { Stages.End(); }
    } end{stages};
    ReadImageChunks(stream, start, width * channels, height, stages, false);
  });
  return picture;
}
