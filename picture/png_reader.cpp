#include "picture/png_reader.h"

#include <spng.h>

#include <memory>
#include <string>
#include <vector>

#include "picture/messages.h"
#include "picture/png_errors.h"
#include "picture/png_image_data.h"
#include "toolkit/errors.h"

namespace {

// Most bytes of any one chunk other than image data: far above what a photo or a cut-out carries
// (text and profiles of a few kilobytes), far below what could cost more than the picture.
constexpr std::size_t MostChunkBytes = std::size_t(8) << 20;
// Most bytes kept for the ancillary chunks that libspng parses (text, profiles, EXIF). Image data
// passes through in pieces whatever the size of its chunks.
constexpr std::size_t MostCachedChunkBytes = std::size_t(8) << 20;
// libspng's own ceiling on each side; the image limit decides on the product.
constexpr std::uint32_t MostSide = std::uint32_t(MaxPixelBlockBytes / 4);
// The inflate state beside the rows: zlib's window and tables.
constexpr std::uint64_t InflateBytes = 48 * 1024;

void ThrowDamaged(int error) { ThrowPngError(error); }

void Check(int error) {
  if (error != 0) ThrowDamaged(error);
}

// libspng reads through this from the stream, piece by piece, so the file is never held whole.
int ReadFromStream(spng_ctx*, void* user, void* destination, std::size_t length) {
  TStream& stream = *static_cast<TStream*>(user);
  auto* out = static_cast<std::uint8_t*>(destination);
  try {
    while (length > 0) {
      const std::size_t got = stream.Read(out, length);
      if (got == 0) return SPNG_IO_EOF;
      out += got;
      length -= got;
    }
  } catch (...) {
    return SPNG_IO_ERROR;
  }
  return 0;
}

struct TContextFree {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using TContext = std::unique_ptr<spng_ctx, TContextFree>;

// A decoder over the stream with every limit set, its header read and checked against the image
// limit.
struct TPngDecoder {
  TContext Context;
  spng_ihdr Header{};

  explicit TPngDecoder(TStream& stream) : Context(spng_ctx_new(0)) {
    if (!Context) throw EOutOfResources(SImageTooLarge);
    spng_ctx* ctx = Context.get();
    // A checksum error is damage in any chunk: the bytes are not what their writer wrote.
    Check(spng_set_crc_action(ctx, SPNG_CRC_ERROR, SPNG_CRC_ERROR));
    Check(spng_set_image_limits(ctx, MostSide, MostSide));
    Check(spng_set_chunk_limits(ctx, MostChunkBytes, MostCachedChunkBytes));
    Check(spng_set_option(ctx, SPNG_KEEP_UNKNOWN_CHUNKS, 0));
    Check(spng_set_png_stream(ctx, ReadFromStream, &stream));
    Check(spng_get_ihdr(ctx, &Header));
    CheckImageSize(int(Header.width), int(Header.height), 32);
  }

  bool Sixteen() const { return Header.bit_depth == 16; }

  std::uint64_t DecoderBytes() const {
    static constexpr int channels[] = {1, 0, 3, 1, 2, 0, 4};
    const std::uint64_t rawRow =
        (std::uint64_t(Header.width) * channels[Header.color_type % 7] * Header.bit_depth + 7) / 8 + 1;
    const std::uint64_t outRow = std::uint64_t(Header.width) * (Sixteen() ? 8 : 4);
    // The previous and the current raw row, libspng's output row, and our 16-bit row.
    return 2 * rawRow + outRow + (Sixteen() ? outRow : 0) + InflateBytes + MostCachedChunkBytes;
  }
};

// The columns of an Adam7 pass: the first and the step between two.
constexpr int PassFirstColumn[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr int PassColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};

// 16-bit sample to the nearest 8-bit level.
inline std::uint8_t Reduce16(std::uint16_t v) { return std::uint8_t((std::uint32_t(v) * 255 + 32767) / 65535); }

// 8-bit RGB or RGBA without tRNS, not interlaced: the pictures the program's own row inflater
// decodes. Asking for tRNS reads every chunk before the image data.
bool IsCommon(spng_ctx* ctx, const spng_ihdr& header) {
  spng_trns trns{};
  const int status = spng_get_trns(ctx, &trns);
  if (status != 0 && status != SPNG_ECHUNKAVAIL) ThrowDamaged(status);
  return header.bit_depth == 8 && (header.color_type == SPNG_COLOR_TYPE_TRUECOLOR ||
                                   header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA) &&
         header.interlace_method == 0 && status == SPNG_ECHUNKAVAIL;
}

}  // namespace

[[noreturn]] void ThrowPngError(int error) {
  if (error == SPNG_EUSER_WIDTH || error == SPNG_EUSER_HEIGHT || error == SPNG_EOVERFLOW) {
    throw EOutOfResources(SImageTooLarge);
  }
  if (error == SPNG_EMEM) throw EOutOfResources(SImageTooLarge);
  // A valid file whose metadata goes beyond the limits above.
  if (error == SPNG_ECHUNK_LIMITS) throw EInvalidGraphic(std::string(SPictureNotSupported) + ": " + spng_strerror(error));
  throw EInvalidGraphic(std::string(SPngDamaged) + ": " + spng_strerror(error));
}

TPngHeader ReadPngHeader(TStream& stream) {
  const TPngDecoder decoder(stream);
  return {int(decoder.Header.width), int(decoder.Header.height), decoder.DecoderBytes()};
}

TBitmap ReadPngPicture(TStream& stream) {
  const std::int64_t start = stream.Position();
  TPngDecoder decoder(stream);
  spng_ctx* ctx = decoder.Context.get();
  const int width = int(decoder.Header.width);
  const int height = int(decoder.Header.height);
  if (IsCommon(ctx, decoder.Header)) {
    return ReadCommonPngImageData(stream, start, width, height,
                                  decoder.Header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ? 4 : 3);
  }
  const bool sixteen = decoder.Sixteen();
  const int format = sixteen ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
  Check(spng_decode_image(ctx, nullptr, 0, format, SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE));

  TBitmap picture(width, height, pf32bit);
  // 8-bit rows are decoded straight into the picture; 16-bit ones pass through one row of their own.
  std::vector<std::uint16_t> wide(sixteen ? std::size_t(width) * 4 : 0);
  const bool interlaced = decoder.Header.interlace_method != 0;
  for (;;) {
    spng_row_info row{};
    int status = spng_get_row_info(ctx, &row);
    if (status == SPNG_EOI) break;
    Check(status);
    if (row.row_num >= std::uint32_t(height)) ThrowDamaged(SPNG_EINTERNAL);
    std::uint8_t* target = picture.ScanLine(int(row.row_num));
    status = sixteen ? spng_decode_row(ctx, wide.data(), wide.size() * 2) : spng_decode_row(ctx, target, std::size_t(width) * 4);
    if (status != 0 && status != SPNG_EOI) ThrowDamaged(status);
    // An interlaced pass fills only its own columns of the row; the others hold earlier passes.
    const int first = interlaced ? PassFirstColumn[row.pass] : 0;
    const int step = interlaced ? PassColumnStep[row.pass] : 1;
    for (int x = first; x < width; x += step) {
      std::uint8_t* p = target + 4 * x;
      if (sixteen) {
        const std::uint16_t* s = &wide[std::size_t(x) * 4];
        p[0] = Reduce16(s[2]);
        p[1] = Reduce16(s[1]);
        p[2] = Reduce16(s[0]);
        p[3] = Reduce16(s[3]);
      } else {
        std::swap(p[0], p[2]);  // red, green, blue, alpha to the picture's blue, green, red, alpha
      }
    }
    if (status == SPNG_EOI) break;
  }
  // The chunks after the last row up to the end of the file: the image data's last checksum among
  // them, and the end chunk a complete file has.
  Check(spng_decode_chunks(ctx));
  return picture;
}
