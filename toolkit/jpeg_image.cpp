#include "toolkit/jpeg_image.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

EJPEG::EJPEG(int messageCode)
    : Exception([&] {
        std::string text(SJPEGError);
        text.replace(text.find("%d"), 2, std::to_string(messageCode));
        return text;
      }()),
      messageCode_(messageCode) {}

namespace {

// libjpeg-turbo's vector code for the floating-point inverse DCT rounds differently from its C code
// (by 1 or 2 in a few samples), and which vector code runs depends on the processor, or there is
// none (WebAssembly). Decoding through the C code everywhere makes a JPEG give the same pixels, and
// so the same exported bytes, on every machine. libjpeg-turbo reads this switch once per thread
// before its first decode; setting it while the program starts, before any thread exists, reaches
// every decoder and races with nothing. It overrides any JSIMD_FORCE* setting of the user's.
[[maybe_unused]] const bool portableDecode = [] {
  ::setenv("JSIMD_FORCENONE", "1", 1);
  return true;
}();

// libjpeg reports a fatal error by calling error_exit, which must not return. We jump back to the
// step that called into libjpeg and turn the failure into an exception there, in our own frame: a
// C++ exception must never unwind through libjpeg's C frames.
struct TErrorManager {
  jpeg_error_mgr pub;  // first member, so libjpeg's pointer to it is a pointer to the whole
  std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<TErrorManager*>(info->err)->jump, 1);
}
void IgnoreMessage(j_common_ptr, int) {}
void IgnoreOutput(j_common_ptr) {}

// The decompressor and its error manager, destroyed on every path.
struct TDecompressor {
  jpeg_decompress_struct info{};
  TErrorManager errors{};
  bool created = false;

  TDecompressor() {
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOnError;
    errors.pub.emit_message = IgnoreMessage;  // warnings and trace output are not wanted
    errors.pub.output_message = IgnoreOutput;
  }
  ~TDecompressor() {
    if (created) jpeg_destroy_decompress(&info);
  }
  TDecompressor(const TDecompressor&) = delete;
  TDecompressor& operator=(const TDecompressor&) = delete;

  [[noreturn]] void Fail() const { throw EJPEG(errors.pub.msg_code); }
};

// The steps below call libjpeg under the jump buffer and answer false after a fatal error. They
// hold no object with a destructor, so the jump back into them skips nothing.

bool CreateStep(TDecompressor* d) {
  if (setjmp(d->errors.jump)) return false;
  jpeg_create_decompress(&d->info);
  d->created = true;
  return true;
}

// Reads the header and applies the decoding settings; afterwards the output size and the number
// of output components are known.
bool HeaderStep(TDecompressor* d, const std::uint8_t* data, std::size_t size) {
  if (setjmp(d->errors.jump)) return false;
  // libjpeg keeps its working arrays (a progressive file's coefficients) within the image limit;
  // it has no backing store, so a file that needs more fails instead of exhausting memory.
  d->info.mem->max_memory_to_use = static_cast<long>(MaxPixelBlockBytes);
  jpeg_mem_src(&d->info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d->info, TRUE);
  d->info.scale_num = 1;
  d->info.scale_denom = 1;
  d->info.dct_method = JDCT_FLOAT;
  d->info.do_block_smoothing = TRUE;
  d->info.do_fancy_upsampling = TRUE;
  d->info.buffered_image = FALSE;
  if (d->info.out_color_space == JCS_GRAYSCALE) {
    d->info.quantize_colors = TRUE;
    d->info.desired_number_of_colors = JPEGQuantisedColours;
  } else {
    // libjpeg's choice for colour files is RGB; we take it in the 32-bit bitmap's byte order, with
    // the fourth byte set to 255 by libjpeg. Any other choice (CMYK, YCCK, unknown) has no
    // conversion to RGB and fails when decoding starts.
    d->info.out_color_space = JCS_EXT_BGRA;
  }
  jpeg_calc_output_dimensions(&d->info);
  return true;
}

struct TPaletteOut {
  TRGBQuad entries[256];
  int count = 0;
};

// Decodes every row into `rows` (one pointer per output row) and copies the quantiser's palette,
// which lives only until the decompression finishes.
bool DecodeStep(TDecompressor* d, JSAMPROW* rows, int components, TPaletteOut* palette) {
  if (setjmp(d->errors.jump)) return false;
  j_decompress_ptr info = &d->info;
  jpeg_start_decompress(info);
  if (info->output_components != components) ERREXIT(info, JERR_CONVERSION_NOTIMPL);
  if (info->quantize_colors) {
    const int count = info->actual_number_of_colors;
    if (count < 1 || count > 256 || info->out_color_components != 1) ERREXIT(info, JERR_CONVERSION_NOTIMPL);
    for (int i = 0; i < count; ++i) {
      const std::uint8_t v = info->colormap[0][i];
      palette->entries[i] = {v, v, v, 0};
    }
    palette->count = count;
  }
  while (info->output_scanline < info->output_height) {
    const JDIMENSION read = jpeg_read_scanlines(info, rows + info->output_scanline,
                                                info->output_height - info->output_scanline);
    if (read == 0) ERREXIT(info, JERR_INPUT_EOF);  // cannot happen with an in-memory source
  }
  jpeg_finish_decompress(info);
  return true;
}

}  // namespace

void TJPEGImage::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, TFileStream::fmOpenRead);
  LoadFromStream(file);
}

void TJPEGImage::LoadFromStream(TStream& stream) {
  const std::int64_t size = stream.Remaining();
  if (std::uint64_t(size) > MaxPixelBlockBytes) throw EOutOfResources(SImageTooLarge);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  stream.ReadBuffer(bytes.data(), bytes.size());
  data_ = std::move(bytes);
}

TJPEGImage::TDimensions TJPEGImage::Dimensions() const {
  TDecompressor d;
  if (!CreateStep(&d)) d.Fail();
  if (!HeaderStep(&d, data_.data(), data_.size())) d.Fail();
  return {static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height)};
}

void TJPEGImage::AssignTo(TBitmap& target) const {
  TDecompressor d;
  if (!CreateStep(&d)) d.Fail();
  if (!HeaderStep(&d, data_.data(), data_.size())) d.Fail();

  const bool quantised = d.info.quantize_colors;
  const int components = quantised ? 1 : 4;
  // Throws before anything large is allocated, and before decoding starts, when the picture is
  // beyond the image limit.
  TBitmap picture(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height),
                  quantised ? pf8bit : pf32bit);
  std::vector<JSAMPROW> rows(static_cast<std::size_t>(picture.Height()));
  for (int y = 0; y < picture.Height(); ++y) rows[std::size_t(y)] = picture.ScanLine(y);

  TPaletteOut palette;
  if (!DecodeStep(&d, rows.data(), components, &palette)) d.Fail();
  if (quantised) picture.Palette().assign(palette.entries, palette.entries + palette.count);
  target = std::move(picture);
}
