#include "picture/png/RFLStream.h"

#include <cstring>

#include "toolkit/byte_order.h"

TRFLCustomWriteStream::TRFLCustomWriteStream() : buffer_(std::make_unique<std::uint8_t[]>(BufferSize)) {}

bool TRFLCustomWriteStream::NotifyProgress(int) { return false; }

void TRFLCustomWriteStream::AttachStream(TStream& stream) {
  output_ = &stream;
  buffered_ = 0;
  totalWritten_ = 0;
}

void TRFLCustomWriteStream::WriteBytes(const void* data, std::size_t count) {
  if (stopRequested_ || count == 0) return;
  if (count >= std::size_t(DirectWriteSize)) {
    FlushBuffer();
    output_->WriteBuffer(data, count);
    totalWritten_ += std::int64_t(count);
    return;
  }
  if (std::size_t(buffered_) + count >= std::size_t(BufferSize)) FlushBuffer();
  std::memcpy(buffer_.get() + buffered_, data, count);
  buffered_ += int(count);
}

void TRFLCustomWriteStream::WriteUInt32BE(std::uint32_t value) {
  if (stopRequested_) return;
  if (buffered_ + 4 >= BufferSize) FlushBuffer();
  StoreBE32(buffer_.get() + buffered_, value);
  buffered_ += 4;
}

void TRFLCustomWriteStream::FlushBuffer() {
  if (buffered_ == 0) return;
  const int count = buffered_;
  // The buffer is emptied first: after a failed write its bytes are lost, not written twice.
  buffered_ = 0;
  output_->WriteBuffer(buffer_.get(), std::size_t(count));
  totalWritten_ += count;
}

void TRFLCustomWriteStream::BeginProgress() {
  progressBase_ = 0;
  lastReported_ = 0;
  phaseSpan_ = 0;
  remaining_ = 99;
  stopRequested_ = false;
  stopRequested_ = NotifyProgress(0);
}

void TRFLCustomWriteStream::BeginProgressPhase(int count, int share) {
  progressBase_ += phaseSpan_;
  lastReported_ = progressBase_;
  remaining_ -= phaseSpan_;
  phaseSteps_ = count == 0 ? 1 : count;
  phaseSpan_ = (share == 0 || share >= 100) ? remaining_ : remaining_ * share / 100;
}

void TRFLCustomWriteStream::StepProgress(int step) {
  const int percent = int(progressBase_ + std::int64_t(step) * phaseSpan_ / phaseSteps_);
  if (percent <= lastReported_) return;
  lastReported_ = percent;
  stopRequested_ = NotifyProgress(percent);
}

void TRFLCustomWriteStream::EndProgress() { stopRequested_ = NotifyProgress(100); }

void TRFLCustomGraphicWriteStream::WriteImage(const TBitmap& image, TStream& stream,
                                              const TProgressEvent& onProgress) {
  AttachStream(stream);
  image_ = &image;
  imageProgress_ = onProgress;
  Encode();
  FlushBuffer();
}

bool TRFLCustomGraphicWriteStream::NotifyProgress(int percent) {
  if (!imageProgress_) return false;
  TProgressStage stage = psEnding;
  if (percent == 0) {
    stage = psStarting;
  } else if (percent >= 1 && percent <= 99) {
    stage = psRunning;
  } else {
    percent = 100;
  }
  imageProgress_(image_, stage, std::uint8_t(percent), false, TRect{0, 0, 0, 0}, ProgressMessage);
  return false;
}
