#pragma once
// Write-stream base classes of the PNG library.
//
// TRFLCustomWriteStream puts a 65536-byte buffer in front of a TStream, writes big-endian integers
// and runs a progress schedule in per cent that the encoder advances phase by phase.
// TRFLCustomGraphicWriteStream adds the image being encoded, the entry WriteImage, and progress
// reports through the image's progress event.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "toolkit/bitmap.h"
#include "toolkit/graphic.h"
#include "toolkit/stream.h"

class TRFLCustomWriteStream {
 public:
  static constexpr int BufferSize = 65536;
  // Blocks at least this long bypass the buffer.
  static constexpr int DirectWriteSize = 65520;

  TRFLCustomWriteStream();
  virtual ~TRFLCustomWriteStream() = default;
  TRFLCustomWriteStream(const TRFLCustomWriteStream&) = delete;
  TRFLCustomWriteStream& operator=(const TRFLCustomWriteStream&) = delete;

  // Given a per cent (0..100), reports it and answers whether to stop. The base never stops.
  virtual bool NotifyProgress(int percent);

  // Appends bytes. Nothing happens while a stop is requested. Errors of the output stream
  // (EWriteError) propagate; bytes still in the buffer are then lost.
  void WriteBytes(const void* data, std::size_t count);
  // Appends a 32-bit value, most significant byte first.
  void WriteUInt32BE(std::uint32_t value);
  // Passes every buffered byte to the output stream.
  void FlushBuffer();

  // Progress schedule: BeginProgress reports 0 and leaves 99 per cent to share out; each phase
  // takes a share of what is left (0 or >= 100: all of it) and is divided into `count` steps;
  // StepProgress reports base + step x span / count when that raises the per cent; EndProgress
  // reports 100.
  void BeginProgress();
  void BeginProgressPhase(int count, int share);
  void StepProgress(int step);
  void EndProgress();

  bool StopRequested() const { return stopRequested_; }
  // Bytes passed to the output stream so far.
  std::int64_t TotalWritten() const { return totalWritten_; }
  // Text passed with every progress report (empty unless set).
  std::string ProgressMessage;

 protected:
  // Makes `stream` the output, with an empty buffer and nothing written yet.
  void AttachStream(TStream& stream);

 private:
  int progressBase_ = 0;
  int lastReported_ = 0;
  int phaseSpan_ = 0;
  int remaining_ = 99;
  int phaseSteps_ = 1;
  int buffered_ = 0;
  std::int64_t totalWritten_ = 0;
  std::unique_ptr<std::uint8_t[]> buffer_;
  TStream* output_ = nullptr;
  bool stopRequested_ = false;
};

class TRFLCustomGraphicWriteStream : public TRFLCustomWriteStream {
 public:
  // Encodes `image` onto `stream` and flushes. `onProgress` is the image's progress event (the
  // bitmap itself carries none); reports name the image as their sender. An exception out of the
  // encoding skips the final flush.
  void WriteImage(const TBitmap& image, TStream& stream, const TProgressEvent& onProgress = {});

  // Reports through the image's progress event: stage starting for 0, running for 1..99, ending
  // (with 100) otherwise. A handler cannot stop the encoding: the answer is always false.
  bool NotifyProgress(int percent) override;

 protected:
  virtual void Encode() = 0;
  const TBitmap& Image() const { return *image_; }

 private:
  const TBitmap* image_ = nullptr;
  TProgressEvent imageProgress_;
};
