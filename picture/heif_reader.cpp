#include "picture/heif_reader.h"

#include <libheif/heif.h>

#include <memory>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sched.h>
#endif
#include <mutex>
#include <string>

#include "picture/messages.h"
#include "picture/ycbcr.h"
#include "toolkit/errors.h"

namespace {

// Largest side libheif may accept for any picture or grid; the image limit decides on the product.
constexpr int MostSide = 32768;
// Beside the planes: the codec's reference pictures and tables.
constexpr std::uint64_t CodecBytes = std::uint64_t(16) << 20;

// libheif's own error: damage, a picture we cannot show, or a size beyond the limits.
[[noreturn]] void Throw(const heif_error& error) {
  if (error.subcode == heif_suberror_Security_limit_exceeded || error.code == heif_error_Memory_allocation_error) {
    throw EOutOfResources(SImageTooLarge);
  }
  const std::string detail = error.message && *error.message ? std::string(": ") + error.message : std::string();
  if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype ||
      error.subcode == heif_suberror_No_or_invalid_primary_item) {
    throw EInvalidGraphic(SPictureNotSupported + detail);
  }
  throw EInvalidGraphic(SHeifDamaged + detail);
}

void Check(const heif_error& error) {
  if (error.code != heif_error_Ok) Throw(error);
}

// libheif reads the boxes and the coded data through this, seeking where its boxes point.
struct TStreamReader {
  TStream& Stream;
  std::int64_t Start;
  std::int64_t Size;
};

std::int64_t ReaderPosition(void* user) {
  auto& r = *static_cast<TStreamReader*>(user);
  try {
    return r.Stream.Position() - r.Start;
  } catch (...) {
    return -1;
  }
}

int ReaderRead(void* data, std::size_t size, void* user) {
  auto& r = *static_cast<TStreamReader*>(user);
  try {
    r.Stream.ReadBuffer(data, size);
    return 0;
  } catch (...) {
    return 1;
  }
}

int ReaderSeek(std::int64_t position, void* user) {
  auto& r = *static_cast<TStreamReader*>(user);
  if (position < 0 || position > r.Size) return 1;
  try {
    r.Stream.SetPosition(r.Start + position);
    return 0;
  } catch (...) {
    return 1;
  }
}

heif_reader_grow_status ReaderWait(std::int64_t target, void* user) {
  return target <= static_cast<TStreamReader*>(user)->Size ? heif_reader_grow_status_size_reached
                                                            : heif_reader_grow_status_size_beyond_eof;
}

constexpr heif_reader StreamReader = {1, ReaderPosition, ReaderRead, ReaderSeek, ReaderWait};

struct THeifFree {
  void operator()(heif_context* p) const { heif_context_free(p); }
  void operator()(heif_image_handle* p) const { heif_image_handle_release(p); }
  void operator()(heif_image* p) const { heif_image_release(p); }
  void operator()(heif_decoding_options* p) const { heif_decoding_options_free(p); }
};
template <typename T>
using THeifPtr = std::unique_ptr<T, THeifFree>;

// The file's boxes read, its primary picture found and checked against the image limit.
struct THeifFile {
  TStreamReader Reader;
  THeifPtr<heif_context> Context;
  THeifPtr<heif_image_handle> Primary;
  int Width = 0, Height = 0;

  explicit THeifFile(TStream& stream) : Reader{stream, stream.Position(), stream.Remaining()} {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
    Context.reset(heif_context_alloc());
    if (!Context) throw EOutOfResources(SImageTooLarge);
    heif_context_set_maximum_image_size_limit(Context.get(), MostSide);
    Check(heif_context_read_from_reader(Context.get(), &StreamReader, &Reader, nullptr));
    heif_image_handle* primary = nullptr;
    Check(heif_context_get_primary_image_handle(Context.get(), &primary));
    Primary.reset(primary);
    Width = heif_image_handle_get_width(primary);
    Height = heif_image_handle_get_height(primary);
    if (Width <= 0 || Height <= 0) throw EInvalidGraphic(SHeifDamaged);
    CheckImageSize(Width, Height, 32);
  }

  std::uint64_t DecoderBytes() const {
    const std::uint64_t pixels = std::uint64_t(Width) * std::uint64_t(Height);
    const int bits = std::max(heif_image_handle_get_luma_bits_per_pixel(Primary.get()),
                              heif_image_handle_get_chroma_bits_per_pixel(Primary.get()));
    const std::uint64_t sampleBytes = bits > 8 ? 2 : 1;
    // Three full planes at most (4:4:4) and an alpha plane, twice (decoded, then turned), and the
    // codec's own picture of the same size; the coded data is held whole.
    const std::uint64_t planes = 4 * pixels * sampleBytes;
    return std::uint64_t(Reader.Size) + 3 * planes + CodecBytes;
  }
};

// Keeps the calling thread on the one core it runs on while it lives. dav1d sizes its threads by
// the cores its caller may use, and its working memory grows with them: a 12-megapixel 4:4:4 AVIF
// takes about 150 MB more for each further thread. On one core the decoder stays near the
// picture's own size; the samples are the same, AV1 decoding being exact.
class TOneCoreWhileDecoding {
 public:
  TOneCoreWhileDecoding() {
#if defined(__linux__)
    const int core = sched_getcpu();
    if (core < 0 || sched_getaffinity(0, sizeof saved_, &saved_) != 0 || CPU_COUNT(&saved_) <= 1) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(core, &one);
    narrowed_ = sched_setaffinity(0, sizeof one, &one) == 0;
#endif
  }
  ~TOneCoreWhileDecoding() {
#if defined(__linux__)
    if (narrowed_) sched_setaffinity(0, sizeof saved_, &saved_);
#endif
  }
  TOneCoreWhileDecoding(const TOneCoreWhileDecoding&) = delete;
  TOneCoreWhileDecoding& operator=(const TOneCoreWhileDecoding&) = delete;

 private:
#if defined(__linux__)
  cpu_set_t saved_{};
  bool narrowed_ = false;
#endif
};

TPlane PlaneOf(const heif_image* image, heif_channel channel) {
  int stride = 0;
  const std::uint8_t* data = heif_image_get_plane_readonly(image, channel, &stride);
  const int bits = heif_image_get_bits_per_pixel_range(image, channel);
  if (!data || bits < 1 || bits > 16) throw EInvalidGraphic(SPictureNotSupported);
  return {data, stride, bits};
}

// The plane holds at least `width` x `height` samples.
void CheckPlaneCovers(const heif_image* image, heif_channel channel, int width, int height) {
  if (heif_image_get_width(image, channel) < width || heif_image_get_height(image, channel) < height) {
    throw EInvalidGraphic(SHeifDamaged);
  }
}

// The colour description the planes were coded with: the file's own box, else the codec's, else
// BT.601 full range.
TYCbCrConversion ConversionOf(const heif_image_handle* handle, const heif_image* image, int bits) {
  heif_color_profile_nclx* nclx = nullptr;
  if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok) {
    nclx = nullptr;
    if (heif_image_get_nclx_color_profile(image, &nclx).code != heif_error_Ok) nclx = nullptr;
  }
  TYCbCrMatrix matrix = TYCbCrMatrix::BT601;
  bool fullRange = true;
  if (nclx) {
    matrix = YCbCrMatrixOf(int(nclx->matrix_coefficients));
    fullRange = nclx->full_range_flag != 0;
    heif_nclx_color_profile_free(nclx);
  }
  return YCbCrConversion(matrix, fullRange, bits);
}

}  // namespace

THeifHeader ReadHeifHeader(TStream& stream) {
  const THeifFile file(stream);
  return {file.Width, file.Height, file.DecoderBytes()};
}

TBitmap ReadHeifPicture(TStream& stream) {
  const THeifFile file(stream);
  const THeifPtr<heif_decoding_options> options(heif_decoding_options_alloc());
  if (!options) throw EOutOfResources(SImageTooLarge);
  options->convert_hdr_to_8bit = 0;  // the full depth: our reduction rounds, libheif's truncates
  heif_image* decoded = nullptr;
  // The planes as coded: no conversion of libheif's (floating point, and truncating to 8 bits).
  {
    const TOneCoreWhileDecoding oneCore;
    Check(heif_decode_image(file.Primary.get(), &decoded, heif_colorspace_undefined, heif_chroma_undefined, options.get()));
  }
  const THeifPtr<heif_image> image(decoded);
#ifdef __GLIBC__
  // The codec's working memory, freed by now, goes back to the system before the picture is
  // allocated beside the planes: glibc keeps freed heap memory for reuse otherwise, and a
  // 12-megapixel photo would hold both at once.
  malloc_trim(0);
#endif

  const int width = heif_image_get_primary_width(decoded);
  const int height = heif_image_get_primary_height(decoded);
  // Coded data of another size than the boxes declare: the cost was reckoned from the boxes.
  if (width != file.Width || height != file.Height) throw EInvalidGraphic(SHeifDamaged);
  TBitmap picture(width, height, pf32bit);

  const heif_colorspace space = heif_image_get_colorspace(decoded);
  const heif_chroma chroma = heif_image_get_chroma_format(decoded);
  const bool alpha = heif_image_has_channel(decoded, heif_channel_Alpha);
  TPlane alphaPlane;
  if (alpha) {
    CheckPlaneCovers(decoded, heif_channel_Alpha, width, height);
    alphaPlane = PlaneOf(decoded, heif_channel_Alpha);
  }
  const auto putAlpha = [&](std::uint8_t* p, int x, int y) {
    p[3] = alpha ? ScaleTo8Bits(alphaPlane.At(x, y), alphaPlane.Bits) : 255;
  };

  if (space == heif_colorspace_YCbCr &&
      (chroma == heif_chroma_420 || chroma == heif_chroma_422 || chroma == heif_chroma_444)) {
    const int shiftX = chroma == heif_chroma_444 ? 0 : 1;
    const int shiftY = chroma == heif_chroma_420 ? 1 : 0;
    CheckPlaneCovers(decoded, heif_channel_Y, width, height);
    const int chromaWidth = ((width - 1) >> shiftX) + 1, chromaHeight = ((height - 1) >> shiftY) + 1;
    CheckPlaneCovers(decoded, heif_channel_Cb, chromaWidth, chromaHeight);
    CheckPlaneCovers(decoded, heif_channel_Cr, chromaWidth, chromaHeight);
    const TPlane y = PlaneOf(decoded, heif_channel_Y);
    const TPlane cb = PlaneOf(decoded, heif_channel_Cb);
    const TPlane cr = PlaneOf(decoded, heif_channel_Cr);
    if (cb.Bits != y.Bits || cr.Bits != y.Bits) throw EInvalidGraphic(SPictureNotSupported);
    const TYCbCrConversion conversion = ConversionOf(file.Primary.get(), decoded, y.Bits);
    for (int row = 0; row < height; ++row) {
      std::uint8_t* out = picture.ScanLine(row);
      for (int x = 0; x < width; ++x, out += 4) {
        YCbCrToBGR(conversion, y.At(x, row), cb.At(x >> shiftX, row >> shiftY), cr.At(x >> shiftX, row >> shiftY), out);
        putAlpha(out, x, row);
      }
    }
  } else if (space == heif_colorspace_monochrome || (space == heif_colorspace_YCbCr && chroma == heif_chroma_monochrome)) {
    CheckPlaneCovers(decoded, heif_channel_Y, width, height);
    const TPlane y = PlaneOf(decoded, heif_channel_Y);
    const TYCbCrConversion conversion = ConversionOf(file.Primary.get(), decoded, y.Bits);
    for (int row = 0; row < height; ++row) {
      std::uint8_t* out = picture.ScanLine(row);
      for (int x = 0; x < width; ++x, out += 4) {
        out[0] = out[1] = out[2] = LumaTo8Bits(conversion, y.At(x, row));
        putAlpha(out, x, row);
      }
    }
  } else if (space == heif_colorspace_RGB && chroma == heif_chroma_444) {
    for (heif_channel c : {heif_channel_R, heif_channel_G, heif_channel_B}) CheckPlaneCovers(decoded, c, width, height);
    const TPlane r = PlaneOf(decoded, heif_channel_R), g = PlaneOf(decoded, heif_channel_G), b = PlaneOf(decoded, heif_channel_B);
    for (int row = 0; row < height; ++row) {
      std::uint8_t* out = picture.ScanLine(row);
      for (int x = 0; x < width; ++x, out += 4) {
        out[0] = ScaleTo8Bits(b.At(x, row), b.Bits);
        out[1] = ScaleTo8Bits(g.At(x, row), g.Bits);
        out[2] = ScaleTo8Bits(r.At(x, row), r.Bits);
        putAlpha(out, x, row);
      }
    }
  } else {
    throw EInvalidGraphic(SPictureNotSupported);
  }
  return picture;
}
