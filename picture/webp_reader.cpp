#include "picture/webp_reader.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "picture/messages.h"
#include "toolkit/errors.h"

// libwebp's processor probe, a function pointer that its shared and static builds export. Its
// decoders choose between their C code and the SSE2, SSE4.1 or other vector code by asking it, once,
// on first use; with no probe they keep the C code.
extern "C" {
typedef int (*VP8CPUInfo)(int feature);
extern VP8CPUInfo VP8GetCPUInfo;
}

namespace {

// The same WebP file must give the same pixels on every build, and the one code that every build
// has is libwebp's C code (the page's WebAssembly build has no other). So the probe is removed once,
// before the first decode: libwebp then sets up its C functions, and sets them up again should
// another user in the process have set up the vector ones first.
void UsePlainWebPCode() {
  static std::once_flag once;
  std::call_once(once, [] { VP8GetCPUInfo = nullptr; });
}

// The bytes in front of the first image data: RIFF header, VP8X and the frame headers of an
// animation. More is read only when the features are not found in them.
constexpr std::size_t HeaderBytes = 4096;
// libwebp's working memory beside the picture: lossy rows of the three planes for filtering and
// upsampling, a few kilobytes a column, and its tables.
constexpr std::uint64_t LossyBytesPerColumn = 128;
constexpr std::uint64_t TableBytes = std::uint64_t(1) << 20;

[[noreturn]] void ThrowDamaged(const char* detail = nullptr) {
  throw EInvalidGraphic(detail ? std::string(SWebPDamaged) + ": " + detail : std::string(SWebPDamaged));
}

const char* StatusText(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
    case VP8_STATUS_INVALID_PARAM: return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR: return "bitstream error";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "unsupported feature";
    case VP8_STATUS_NOT_ENOUGH_DATA: return "not enough data";
    default: return "decoding failed";
  }
}

std::uint32_t LittleEndian32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// The file's bytes: as many as its RIFF header declares, no more than the stream has.
std::vector<std::uint8_t> ReadFile(TStream& stream, std::size_t most) {
  std::vector<std::uint8_t> bytes(12);
  if (stream.Read(bytes.data(), 12) != 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
      std::memcmp(bytes.data() + 8, "WEBP", 4) != 0) {
    ThrowDamaged();
  }
  // Never more than the stream holds: a few bytes may declare four gigabytes.
  const std::uint64_t declared = std::uint64_t(LittleEndian32(bytes.data() + 4)) + 8;
  const std::uint64_t held = std::uint64_t(std::max<std::int64_t>(stream.Remaining(), 0)) + 12;
  const std::size_t wanted = std::size_t(std::min<std::uint64_t>({declared, held, most}));
  bytes.resize(wanted);
  std::size_t have = 12;
  while (have < wanted) {
    const std::size_t got = stream.Read(bytes.data() + have, wanted - have);
    if (got == 0) break;
    have += got;
  }
  bytes.resize(have);
  return bytes;
}

struct TDemuxDelete {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

struct TFeatures {
  int Width = 0, Height = 0;
  bool Lossless = true;  // as far as the header tells; unknown counts as lossless, the dearer
  std::uint64_t FileBytes = 0;
};

TFeatures FeaturesOf(const std::vector<std::uint8_t>& bytes, std::uint64_t fileBytes) {
  WebPBitstreamFeatures features;
  const VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &features);
  if (status != VP8_STATUS_OK) ThrowDamaged(StatusText(status));
  if (features.width <= 0 || features.height <= 0) ThrowDamaged();
  CheckImageSize(features.width, features.height, 32);
  return {features.width, features.height, features.format != 1, fileBytes};
}

std::uint64_t DecoderBytes(const TFeatures& f) {
  const std::uint64_t pixels = std::uint64_t(f.Width) * std::uint64_t(f.Height);
  // A lossless picture is decoded whole into 32-bit working pixels; a lossy one row by row, with
  // its alpha plane whole.
  const std::uint64_t working = f.Lossless ? 4 * pixels : pixels + LossyBytesPerColumn * std::uint64_t(f.Width);
  return f.FileBytes + working + TableBytes;
}

}  // namespace

TWebPHeader ReadWebPHeader(TStream& stream) {
  std::vector<std::uint8_t> bytes = ReadFile(stream, HeaderBytes);
  const std::uint64_t fileBytes = std::uint64_t(LittleEndian32(bytes.data() + 4)) + 8;
  const TFeatures features = FeaturesOf(bytes, fileBytes);
  return {features.Width, features.Height, DecoderBytes(features)};
}

TBitmap ReadWebPPicture(TStream& stream) {
  const std::vector<std::uint8_t> bytes = ReadFile(stream, std::size_t(-1));
  const WebPData data{bytes.data(), bytes.size()};
  const std::unique_ptr<WebPDemuxer, TDemuxDelete> demux(WebPDemux(&data));
  if (!demux) ThrowDamaged();
  const int width = int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH));
  const int height = int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT));
  if (width <= 0 || height <= 0) ThrowDamaged();
  CheckImageSize(width, height, 32);

  WebPIterator frame;
  if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) ThrowDamaged();
  const std::unique_ptr<WebPIterator, void (*)(WebPIterator*)> release(&frame, WebPDemuxReleaseIterator);
  if (frame.x_offset < 0 || frame.y_offset < 0 || frame.width <= 0 || frame.height <= 0 ||
      frame.x_offset + frame.width > width || frame.y_offset + frame.height > height) {
    ThrowDamaged();
  }

  UsePlainWebPCode();
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) ThrowDamaged(StatusText(VP8_STATUS_INVALID_PARAM));
  VP8StatusCode status = WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &config.input);
  if (status != VP8_STATUS_OK) ThrowDamaged(StatusText(status));
  if (config.input.width != frame.width || config.input.height != frame.height) ThrowDamaged();

  // The picture's rows are stored bottom-up: libwebp writes the frame flipped into the block of
  // rows it covers, so its top row lands on the picture's top row of the frame.
  TBitmap picture(width, height, pf32bit);
  const std::size_t stride = picture.Stride();
  const int bottom = frame.y_offset + frame.height - 1;
  config.output.colorspace = MODE_BGRA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = picture.ScanLine(bottom) + 4 * std::size_t(frame.x_offset);
  config.output.u.RGBA.stride = int(stride);
  config.output.u.RGBA.size = stride * std::size_t(frame.height - 1) + 4 * std::size_t(frame.width);
  config.options.flip = 1;
  status = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) ThrowDamaged(StatusText(status));
  return picture;
}
