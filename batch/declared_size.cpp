#include "batch/declared_size.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "toolkit/bitmap.h"
#include "toolkit/errors.h"

namespace {

constexpr std::uint64_t BytesPerPixel = 4;
// libjpeg keeps a progressive picture's coefficients whole: 64 of 2 bytes per 8 x 8 block.
constexpr std::uint64_t BytesPerCoefficient = 2;
// Segments looked at before the frame header; real files have a handful.
constexpr int MaxSegmentsBeforeFrame = 1000;

std::uint32_t Little(const std::uint8_t* p, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

std::uint32_t Big16(const std::uint8_t* p) { return std::uint32_t(p[0]) << 8 | p[1]; }

// A picture's pixels at 32 bits; 0 for a size the reader refuses before it holds any of them.
std::uint64_t PixelBytes(std::uint64_t width, std::uint64_t height) {
  const std::uint64_t bytes = width * height * BytesPerPixel;
  return bytes > MaxPixelBlockBytes ? 0 : bytes;
}

bool ReadAll(TStream& stream, std::uint8_t* buffer, std::size_t count) { return stream.Read(buffer, count) == count; }

std::uint64_t BitmapBytes(TStream& stream) {
  std::array<std::uint8_t, 26> header{};
  if (!ReadAll(stream, header.data(), header.size()) || header[0] != 'B' || header[1] != 'M') return 0;
  const std::uint32_t infoSize = Little(&header[14], 4);
  std::uint64_t width = 0, height = 0;
  if (infoSize == 12) {  // OS/2 core header: 16-bit sides
    width = Little(&header[18], 2);
    height = Little(&header[20], 2);
  } else {
    const auto w = std::int32_t(Little(&header[18], 4)), h = std::int32_t(Little(&header[22], 4));
    width = std::uint64_t(std::abs(std::int64_t(w)));
    height = std::uint64_t(std::abs(std::int64_t(h)));  // negative: stored top row first
  }
  return PixelBytes(width, height);
}

bool IsFrameMarker(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::uint64_t JpegBytes(TStream& stream) {
  std::uint8_t soi[2];
  if (!ReadAll(stream, soi, 2) || soi[0] != 0xFF || soi[1] != 0xD8) return 0;
  for (int segment = 0; segment < MaxSegmentsBeforeFrame; ++segment) {
    std::uint8_t byte = 0;
    do {  // to the next marker, over any fill bytes
      if (!ReadAll(stream, &byte, 1)) return 0;
    } while (byte != 0xFF);
    do {
      if (!ReadAll(stream, &byte, 1)) return 0;
    } while (byte == 0xFF);
    const std::uint8_t marker = byte;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // markers without a length
    if (marker == 0xD9 || marker == 0xDA) return 0;                        // no frame before the data
    std::uint8_t length[2];
    if (!ReadAll(stream, length, 2) || Big16(length) < 2) return 0;
    if (!IsFrameMarker(marker)) {
      stream.Seek(Big16(length) - 2, TSeekOrigin::soCurrent);
      continue;
    }
    std::uint8_t frame[6];
    if (!ReadAll(stream, frame, 6)) return 0;
    const std::uint64_t height = Big16(&frame[1]), width = Big16(&frame[3]);
    const int components = frame[5];
    std::uint64_t bytes = PixelBytes(width, height);
    if (bytes == 0) return 0;
    const bool progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
    if (!progressive || components == 0) return bytes;
    std::array<std::uint8_t, 3 * 255> factors{};
    if (!ReadAll(stream, factors.data(), std::size_t(components) * 3)) return bytes;
    int maxH = 1, maxV = 1;
    for (int c = 0; c < components; ++c) {
      maxH = std::max(maxH, factors[3 * c + 1] >> 4);
      maxV = std::max(maxV, factors[3 * c + 1] & 15);
    }
    // Each component's samples, in whole 8 x 8 blocks, one coefficient per sample.
    for (int c = 0; c < components; ++c) {
      const std::uint64_t h = std::max(1, factors[3 * c + 1] >> 4), v = std::max(1, factors[3 * c + 1] & 15);
      const std::uint64_t columns = (width * h + maxH - 1) / maxH, rows = (height * v + maxV - 1) / maxV;
      bytes += (columns + 7) / 8 * 8 * ((rows + 7) / 8 * 8) * BytesPerCoefficient;
    }
    return bytes;
  }
  return 0;
}

}  // namespace

std::uint64_t DecodingBytes(TStream& stream, TPictureKind kind) {
  const std::int64_t start = stream.Position();
  std::uint64_t bytes = 0;
  try {
    bytes = kind == TPictureKind::Bitmap ? BitmapBytes(stream) : kind == TPictureKind::JPEG ? JpegBytes(stream) : 0;
  } catch (const Exception&) {
    bytes = 0;  // a stream that cannot be read is reported by the reader
  }
  stream.SetPosition(start);
  return bytes;
}
