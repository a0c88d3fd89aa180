#include "picture/heif_coded_planes.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>

#include "picture/heif_library.h"

namespace {

// Which of libheif's decoders a relabelling decoder stands in front of. libheif 1.15 hands its
// decoders out as descriptors that are the decoders themselves.
static_assert(LIBHEIF_NUMERIC_VERSION >= LIBHEIF_MAKE_VERSION(1, 15, 0) &&
                  LIBHEIF_NUMERIC_VERSION < LIBHEIF_MAKE_VERSION(1, 16, 0),
              "the relabelling decoders know libheif 1.15's decoder descriptors");

constexpr int HigherPriority = 1000;  // above every decoder libheif brings (at most 150)

const heif_decoder_plugin* FrontOf(heif_compression_format format) {
  const THeifLibrary& heif = HeifLibrary();
  const heif_decoder_descriptor* descriptor = nullptr;
  if (heif.heif_get_decoder_descriptors(format, &descriptor, 1) != 1 || descriptor == nullptr) return nullptr;
  return reinterpret_cast<const heif_decoder_plugin*>(descriptor);
}

heif_error Failure(const char* text) { return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, text}; }
constexpr heif_error Ok = {heif_error_Ok, heif_suberror_Unspecified, "Success"};

int BytesPerSample(int bits) { return bits > 8 ? 2 : 1; }

// Copies `width` samples of a row, sample x taken from x >> shift.
void CopyRow(const std::uint8_t* from, std::uint8_t* to, int width, int shift, int bytes) {
  if (shift == 0) {
    std::memcpy(to, from, std::size_t(width) * bytes);
    return;
  }
  for (int x = 0; x < width; ++x) std::memcpy(to + std::size_t(x) * bytes, from + std::size_t(x >> shift) * bytes, bytes);
}

// Adds a plane of `width` x `height` samples of `bits` to `out`, row y taken from row y >> shiftY
// of `channel` of `coded`, sample x from x >> shiftX.
heif_error CopyPlane(const heif_image* coded, heif_channel channel, heif_image* out, heif_channel as, int width,
                     int height, int shiftX, int shiftY, int bits) {
  const THeifLibrary& heif = HeifLibrary();
  if (heif.heif_image_get_width(coded, channel) < ((width - 1) >> shiftX) + 1 ||
      heif.heif_image_get_height(coded, channel) < ((height - 1) >> shiftY) + 1 ||
      heif.heif_image_get_bits_per_pixel_range(coded, channel) != bits) {
    return Failure("planes of unexpected sizes");
  }
  if (heif_error e = heif.heif_image_add_plane(out, as, width, height, bits); e.code != heif_error_Ok) return e;
  int fromStride = 0, toStride = 0;
  const std::uint8_t* from = heif.heif_image_get_plane_readonly(coded, channel, &fromStride);
  std::uint8_t* to = heif.heif_image_get_plane(out, as, &toStride);
  if (from == nullptr || to == nullptr) return Failure("planes missing");
  for (int y = 0; y < height; ++y) {
    CopyRow(from + std::int64_t(fromStride) * (y >> shiftY), to + std::int64_t(toStride) * y, width, shiftX,
            BytesPerSample(bits));
  }
  return Ok;
}

// The coded planes of `coded` relabelled as the header says, into a new picture.
heif_error Relabel(const heif_image* coded, heif_image** out) {
  const THeifLibrary& heif = HeifLibrary();
  const heif_colorspace space = heif.heif_image_get_colorspace(coded);
  const heif_chroma chroma = heif.heif_image_get_chroma_format(coded);
  const int width = heif.heif_image_get_width(coded, heif_channel_Y);
  const int height = heif.heif_image_get_height(coded, heif_channel_Y);
  const int bits = heif.heif_image_get_bits_per_pixel_range(coded, heif_channel_Y);
  if (width <= 0 || height <= 0 || bits < 1 || bits > 16) return Failure("no luma plane");
  const bool grey = chroma == heif_chroma_monochrome;
  if (!grey && !(space == heif_colorspace_YCbCr &&
                 (chroma == heif_chroma_420 || chroma == heif_chroma_422 || chroma == heif_chroma_444))) {
    return Failure("planes of an unknown kind");
  }
  heif_image* image = nullptr;
  heif_error e = heif.heif_image_create(width, height, grey ? heif_colorspace_monochrome : heif_colorspace_RGB,
                                   grey ? heif_chroma_monochrome : heif_chroma_444, &image);
  if (e.code != heif_error_Ok) return e;
  if (grey) {
    e = CopyPlane(coded, heif_channel_Y, image, heif_channel_Y, width, height, 0, 0, bits);
  } else {
    const int shiftX = chroma == heif_chroma_444 ? 0 : 1;
    const int shiftY = chroma == heif_chroma_420 ? 1 : 0;
    e = CopyPlane(coded, heif_channel_Y, image, heif_channel_G, width, height, 0, 0, bits);
    if (e.code == heif_error_Ok) e = CopyPlane(coded, heif_channel_Cb, image, heif_channel_B, width, height, shiftX, shiftY, bits);
    if (e.code == heif_error_Ok) e = CopyPlane(coded, heif_channel_Cr, image, heif_channel_R, width, height, shiftX, shiftY, bits);
  }
  if (e.code == heif_error_Ok) {
    heif_color_profile_nclx* nclx = nullptr;
    if (heif.heif_image_get_nclx_color_profile(coded, &nclx).code == heif_error_Ok && nclx != nullptr) {
      e = heif.heif_image_set_nclx_color_profile(image, nclx);
    }
    if (nclx != nullptr) heif.heif_nclx_color_profile_free(nclx);
  }
  if (e.code != heif_error_Ok) {
    heif.heif_image_release(image);
    return e;
  }
  *out = image;
  return Ok;
}

// A relabelling decoder for each format: libheif's own decoder for everything but the hand-over.
// Each of its decoders wraps one of the inner decoder's, which it closes as soon as the coded planes
// are out: the codec's working memory (dav1d keeps its pictures in a pool until it is closed) is
// given back before the relabelled copy is made, rather than when libheif frees the decoder.
template <heif_compression_format Format>
struct TRelabelling {
  static inline const heif_decoder_plugin* Inner = nullptr;
  static inline heif_decoder_plugin Plugin{};

  struct TDecoder {
    void* Inner = nullptr;  // the inner decoder, until its planes are out
  };
  static TDecoder& Of(void* decoder) { return *static_cast<TDecoder*>(decoder); }

  static int DoesSupport(heif_compression_format format) { return format == Format ? HigherPriority : 0; }
  static heif_error NewDecoder(void** decoder) {
    auto* wrapped = new (std::nothrow) TDecoder;
    if (wrapped == nullptr) return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "no memory for a decoder"};
    const heif_error e = Inner->new_decoder(&wrapped->Inner);
    if (e.code != heif_error_Ok) {
      delete wrapped;
      return e;
    }
    *decoder = wrapped;
    return Ok;
  }
  static void CloseInner(TDecoder& decoder) {
    if (decoder.Inner != nullptr) Inner->free_decoder(decoder.Inner);
    decoder.Inner = nullptr;
  }
  static void FreeDecoder(void* decoder) {
    CloseInner(Of(decoder));
    delete &Of(decoder);
  }
  static heif_error PushData(void* decoder, const void* data, std::size_t size) {
    if (Of(decoder).Inner == nullptr) return Failure("data after decoding");
    return Inner->push_data(Of(decoder).Inner, data, size);
  }
  static void SetStrictDecoding(void* decoder, int flag) {
    if (Of(decoder).Inner != nullptr) Inner->set_strict_decoding(Of(decoder).Inner, flag);
  }
  static heif_error Decode(void* decoder, heif_image** out) {
    if (Of(decoder).Inner == nullptr) return Failure("decoded twice");
    heif_image* coded = nullptr;
    const heif_error e = Inner->decode_image(Of(decoder).Inner, &coded);
    CloseInner(Of(decoder));  // the picture outlives its decoder
    if (e.code != heif_error_Ok) return e;
    // A codec that found no picture in the data says so by handing over none.
    if (coded == nullptr) return Failure("no picture in the coded data");
    const heif_error relabelled = Relabel(coded, out);
    HeifLibrary().heif_image_release(coded);
    return relabelled;
  }

  static bool Register() {
    Inner = FrontOf(Format);
    if (Inner == nullptr || Inner->plugin_api_version < 1 || Inner->decode_image == nullptr ||
        Inner->new_decoder == nullptr || Inner->free_decoder == nullptr || Inner->push_data == nullptr) {
      return false;
    }
    Plugin = *Inner;
    Plugin.plugin_api_version = std::min(Inner->plugin_api_version, 3);
    Plugin.does_support_format = DoesSupport;
    Plugin.new_decoder = NewDecoder;
    Plugin.free_decoder = FreeDecoder;
    Plugin.push_data = PushData;
    Plugin.decode_image = Decode;
    if (Plugin.plugin_api_version >= 2) Plugin.set_strict_decoding = Inner->set_strict_decoding ? SetStrictDecoding : nullptr;
    Plugin.init_plugin = nullptr;  // the inner decoder was set up when libheif registered it
    Plugin.deinit_plugin = nullptr;
    return HeifLibrary().heif_register_decoder_plugin(&Plugin).code == heif_error_Ok;
  }
};

}  // namespace

bool UseCodedPlanes() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    const bool hevc = TRelabelling<heif_compression_HEVC>::Register();
    const bool av1 = TRelabelling<heif_compression_AV1>::Register();
    ready = hevc && av1;
  });
  return ready;
}
