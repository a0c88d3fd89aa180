#include "picture/heif_reader.h"

#include <cctype>
#include <memory>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sched.h>
#endif
#include <string>

#include "picture/heif_coded_planes.h"
#include "picture/heif_library.h"
#include "picture/heif_layout.h"
#include "picture/messages.h"
#include "picture/straight_alpha.h"
#include "picture/ycbcr.h"
#include "toolkit/errors.h"

namespace {

// Largest side libheif may accept for any picture or grid; the image limit decides on the product.
constexpr int MostSide = 32768;
#ifdef __GLIBC__
// Pictures from this size on give the codec's freed memory back before they are allocated.
constexpr std::uint64_t TrimFromPixels = std::uint64_t(4) << 20;
#endif
// Beside the planes: the codec's reference pictures and tables.
constexpr std::uint64_t CodecBytes = std::uint64_t(16) << 20;
// Tiles of a grid libheif decodes at once (its own default, stated).
constexpr int TileThreads = 4;

// libheif's own error: damage, a picture we cannot show, or a size beyond the limits.
[[noreturn]] void Throw(const heif_error& error) {
  if (error.subcode == heif_suberror_Security_limit_exceeded || error.code == heif_error_Memory_allocation_error) {
    throw EOutOfResources(SImageTooLarge);
  }
  // Some of libheif's texts end in a line break: the sentence ends where the words do.
  std::string text = error.message ? error.message : "";
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  const std::string detail = text.empty() ? std::string() : ": " + text;
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

// (Only what the open library made is ever freed: HeifLibrary() cannot throw here.)
struct THeifFree {
  void operator()(heif_context* p) const { HeifLibrary().heif_context_free(p); }
  void operator()(heif_image_handle* p) const { HeifLibrary().heif_image_handle_release(p); }
  void operator()(heif_image* p) const { HeifLibrary().heif_image_release(p); }
  void operator()(heif_decoding_options* p) const { HeifLibrary().heif_decoding_options_free(p); }
};
template <typename T>
using THeifPtr = std::unique_ptr<T, THeifFree>;

// The file's boxes read, its primary picture found and checked against the image limit.
struct THeifFile {
  TStreamReader Reader;
  THeifPtr<heif_context> Context;
  THeifPtr<heif_image_handle> Primary;
  int Width = 0, Height = 0;

  bool AV1 = false;  // AV1 pictures (AVIF); the others are HEVC
  THeifLayout Layout;

  explicit THeifFile(TStream& stream) : Reader{stream, stream.Position(), stream.Remaining()} {
    // libheif opens here, with the first HEIF file the process reads.
    const THeifLibrary& heif = HeifLibrary();
    // Without the program's decoders in front, libheif would convert the colours itself.
    if (!UseCodedPlanes()) throw EInvalidGraphic(SPictureNotSupported);
    // The file type box, first in the file, names AVIF among its brands.
    std::uint8_t head[256];
    const std::size_t got = stream.Read(head, sizeof head);
    AV1 = heif.heif_has_compatible_brand(head, int(got), "avif") == 1;
    stream.SetPosition(Reader.Start);
    Context.reset(heif.heif_context_alloc());
    if (!Context) throw EOutOfResources(SImageTooLarge);
    // The program reads the boxes first: a file whose items or grid would cost libheif more than the
    // picture it declares is refused before libheif spends anything on it.
    Layout = ReadHeifLayout(stream, Reader.Start, Reader.Size);
    stream.SetPosition(Reader.Start);
    CheckHeifLayout(Layout);
    heif.heif_context_set_maximum_image_size_limit(Context.get(), MostSide);
    heif.heif_context_set_max_decoding_threads(Context.get(), TileThreads);
    Check(heif.heif_context_read_from_reader(Context.get(), &StreamReader, &Reader, nullptr));
    // Boxes libheif reads and the program cannot: their grid could not be checked.
    if (!Layout.Readable) throw EInvalidGraphic(SHeifDamaged);
    heif_image_handle* primary = nullptr;
    Check(heif.heif_context_get_primary_image_handle(Context.get(), &primary));
    Primary.reset(primary);
    Width = heif.heif_image_handle_get_width(primary);
    Height = heif.heif_image_handle_get_height(primary);
    if (Width <= 0 || Height <= 0) throw EInvalidGraphic(SHeifDamaged);
    CheckImageSize(Width, Height, 32);
  }

  std::uint64_t DecoderBytes() const {
    const THeifLibrary& heif = HeifLibrary();
    const std::uint64_t pixels = std::uint64_t(Width) * std::uint64_t(Height);
    const int bits = std::max(heif.heif_image_handle_get_luma_bits_per_pixel(Primary.get()),
                              heif.heif_image_handle_get_chroma_bits_per_pixel(Primary.get()));
    const std::uint64_t sampleBytes = bits > 8 ? 2 : 1;
    // Three full planes at most (4:4:4) and an alpha plane, twice (decoded, then turned), and the
    // codec's own picture of the same size; the coded data is held whole.
    const std::uint64_t planes = 4 * pixels * sampleBytes;
    // A grid's tiles are decoded a few at a time, each into planes of its own before they are placed.
    const std::uint64_t tiles = Layout.Grid ? TileThreads * 4 * std::uint64_t(Layout.TileWidth) * Layout.TileHeight * sampleBytes : 0;
    return std::uint64_t(Reader.Size) + 3 * planes + tiles + CodecBytes;
  }
};

// Keeps the calling thread on the one core it runs on while it lives, for AV1 pictures. dav1d sizes
// its threads by the cores its caller may use, and its working memory grows with them: a
// 12-megapixel 4:4:4 AVIF takes about 150 MB more for each further thread. On one core the decoder
// stays near the picture's own size; the samples are the same, AV1 decoding being exact. (libheif
// runs libde265 with a fixed number of threads, whose memory does not grow with the cores.)
class TOneCoreWhileDecoding {
 public:
  explicit TOneCoreWhileDecoding([[maybe_unused]] bool narrow) {
#if defined(__linux__)
    if (!narrow) return;
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
  const THeifLibrary& heif = HeifLibrary();
  int stride = 0;
  const std::uint8_t* data = heif.heif_image_get_plane_readonly(image, channel, &stride);
  const int bits = heif.heif_image_get_bits_per_pixel_range(image, channel);
  if (!data || bits < 1 || bits > 16) throw EInvalidGraphic(SPictureNotSupported);
  return {data, stride, bits};
}

// The plane holds at least `width` x `height` samples.
void CheckPlaneCovers(const heif_image* image, heif_channel channel, int width, int height) {
  const THeifLibrary& heif = HeifLibrary();
  if (heif.heif_image_get_width(image, channel) < width || heif.heif_image_get_height(image, channel) < height) {
    throw EInvalidGraphic(SHeifDamaged);
  }
}

// The colour description the planes were coded with: the file's own box, else the codec's, else
// BT.601 full range.
TYCbCrConversion ConversionOf(const heif_image_handle* handle, const heif_image* image, int bits) {
  const THeifLibrary& heif = HeifLibrary();
  // libheif may hand over a profile it fills only in part (an unknown primaries value) with its
  // error: that one is released and counts as none.
  const auto keepIfGood = [&heif](heif_error error, heif_color_profile_nclx*& nclx) {
    if (error.code == heif_error_Ok) return;
    if (nclx) heif.heif_nclx_color_profile_free(nclx);
    nclx = nullptr;
  };
  heif_color_profile_nclx* nclx = nullptr;
  keepIfGood(heif.heif_image_handle_get_nclx_color_profile(handle, &nclx), nclx);
  if (!nclx) keepIfGood(heif.heif_image_get_nclx_color_profile(image, &nclx), nclx);
  TYCbCrMatrix matrix = TYCbCrMatrix::BT601;
  bool fullRange = true;
  if (nclx) {
    matrix = YCbCrMatrixOf(int(nclx->matrix_coefficients));
    fullRange = nclx->full_range_flag != 0;
    heif.heif_nclx_color_profile_free(nclx);
  }
  return YCbCrConversion(matrix, fullRange, bits);
}

// Every sample of the three planes is the same.
bool SamePlanes(const TPlane& a, const TPlane& b, const TPlane& c, int width, int height) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (a.At(x, y) != b.At(x, y) || a.At(x, y) != c.At(x, y)) return false;
  return true;
}

}  // namespace

THeifHeader ReadHeifHeader(TStream& stream) {
  const THeifFile file(stream);
  return {file.Width, file.Height, file.DecoderBytes()};
}

TBitmap ReadHeifPicture(TStream& stream) {
  const THeifFile file(stream);
  const THeifLibrary& heif = HeifLibrary();
  const THeifPtr<heif_decoding_options> options(heif.heif_decoding_options_alloc());
  if (!options) throw EOutOfResources(SImageTooLarge);
  options->convert_hdr_to_8bit = 0;  // the full depth: our reduction rounds, libheif's truncates
  heif_image* decoded = nullptr;
  // The planes as coded (heif_coded_planes.h), at their full depth: libheif converts nothing.
  {
    const TOneCoreWhileDecoding oneCore(file.AV1);
    Check(heif.heif_decode_image(file.Primary.get(), &decoded, heif_colorspace_undefined, heif_chroma_undefined, options.get()));
  }
  const THeifPtr<heif_image> image(decoded);
#ifdef __GLIBC__
  // The codec's working memory, freed by now, goes back to the system before a large picture is
  // allocated beside the planes: glibc keeps freed heap memory for reuse otherwise, and a
  // 12-megapixel photo would hold both at once. Small pictures skip it: taking the pages back
  // costs more than they weigh.
  if (std::uint64_t(file.Width) * std::uint64_t(file.Height) >= TrimFromPixels) malloc_trim(0);
#endif

  const int width = heif.heif_image_get_primary_width(decoded);
  const int height = heif.heif_image_get_primary_height(decoded);
  // Coded data of another size than the boxes declare: the cost was reckoned from the boxes.
  if (width != file.Width || height != file.Height) throw EInvalidGraphic(SHeifDamaged);
  TBitmap picture(width, height, pf32bit);

  const heif_colorspace space = heif.heif_image_get_colorspace(decoded);
  const heif_chroma chroma = heif.heif_image_get_chroma_format(decoded);
  const bool alpha = heif.heif_image_has_channel(decoded, heif_channel_Alpha);
  TPlane alphaPlane;
  if (alpha) {
    CheckPlaneCovers(decoded, heif_channel_Alpha, width, height);
    alphaPlane = PlaneOf(decoded, heif_channel_Alpha);
  }
  const auto putAlpha = [&](std::uint8_t* p, int x, int y) {
    p[3] = alpha ? ScaleTo8Bits(alphaPlane.At(x, y), alphaPlane.Bits) : 255;
  };

  if (space == heif_colorspace_monochrome || (space == heif_colorspace_YCbCr && chroma == heif_chroma_monochrome)) {
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
    // The coded planes as heif_coded_planes.h relabels them: R holds Cr, G holds Y, B holds Cb,
    // chroma already repeated to every pixel.
    for (heif_channel c : {heif_channel_R, heif_channel_G, heif_channel_B}) CheckPlaneCovers(decoded, c, width, height);
    const TPlane cr = PlaneOf(decoded, heif_channel_R), y = PlaneOf(decoded, heif_channel_G),
                 cb = PlaneOf(decoded, heif_channel_B);
    if (cb.Bits != y.Bits || cr.Bits != y.Bits) throw EInvalidGraphic(SPictureNotSupported);
    // A grid of grey tiles is the one picture libheif turns into RGB itself (its colour conversion
    // of grey samples moves them unchanged into all three planes): equal planes are read as grey.
    const bool grey = SamePlanes(y, cb, cr, width, height);
    const TYCbCrConversion conversion = ConversionOf(file.Primary.get(), decoded, y.Bits);
    for (int row = 0; row < height; ++row) {
      std::uint8_t* out = picture.ScanLine(row);
      if (grey) {
        for (int x = 0; x < width; ++x) out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = ScaleTo8Bits(y.At(x, row), y.Bits);
      } else {
        YCbCrRowToBGR(conversion, y, cb, cr, row, width, 0, 0, out);
      }
      for (int x = 0; x < width; ++x) putAlpha(out + 4 * x, x, row);
    }
  } else {
    throw EInvalidGraphic(SPictureNotSupported);
  }
  // Colour the file premultiplied by its alpha is kept straight, as every source picture.
  if (alpha && heif.heif_image_handle_is_premultiplied_alpha(file.Primary.get())) MakeAlphaStraight(picture);
  return picture;
}
