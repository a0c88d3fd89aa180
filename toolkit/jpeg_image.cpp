#include "toolkit/jpeg_image.h"

#include <atomic>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "toolkit/worker_pool.h"

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

// Starts decoding and copies the quantiser's palette, which lives only until the decompression
// finishes.
bool StartStep(TDecompressor* d, int components, TPaletteOut* palette) {
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
  return true;
}

// Passes over the first `count` rows without forming their pixels: the entropy-coded data is read
// as for decoding, so the rows after them come out as a decoder that formed every row gives them.
bool SkipStep(TDecompressor* d, int count) {
  if (setjmp(d->errors.jump)) return false;
  if (jpeg_skip_scanlines(&d->info, JDIMENSION(count)) != JDIMENSION(count)) ERREXIT(&d->info, JERR_INPUT_EOF);
  return true;
}

// Decodes the rows up to (not including) `end` into `rows` (one pointer per output row).
bool ReadStep(TDecompressor* d, JSAMPROW* rows, int end) {
  if (setjmp(d->errors.jump)) return false;
  j_decompress_ptr info = &d->info;
  while (info->output_scanline < JDIMENSION(end)) {
    const JDIMENSION read = jpeg_read_scanlines(info, rows + info->output_scanline, JDIMENSION(end) - info->output_scanline);
    if (read == 0) ERREXIT(info, JERR_INPUT_EOF);  // cannot happen with an in-memory source
  }
  return true;
}

bool FinishStep(TDecompressor* d) {
  if (setjmp(d->errors.jump)) return false;
  jpeg_finish_decompress(&d->info);
  return true;
}

// The row from which a second decoder may take over a colour picture, or 0 where the picture is
// decoded by one. Only single-scan Huffman-coded files split: a progressive file's scans would be
// read twice whole, and these are the files on which the split was shown to give every byte. The
// first decoder takes three fifths: the second reads the rows before its share too, without forming
// them, which costs about a third of forming them.
int SplitRow(const jpeg_decompress_struct& info) {
  if (info.quantize_colors || jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&info)) || info.arith_code) return 0;
  if (info.output_height < 64 || std::uint64_t(info.output_width) * info.output_height < (1u << 16)) return 0;
  const int rowsPerBand = info.max_v_samp_factor * DCTSIZE;  // the rows one pass of the decoder forms
  return int(info.output_height) * 3 / 5 / rowsPerBand * rowsPerBand;
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

namespace {

// The rows from `split` on formed by a second decoder of `data` that passes over the rows above.
void DecodeLowerPart(const std::vector<std::uint8_t>& data, JSAMPROW* rows, int components, int split, int height) {
  TDecompressor second;
  TPaletteOut unused;
  if (!CreateStep(&second) || !HeaderStep(&second, data.data(), data.size()) ||
      !StartStep(&second, components, &unused) || !SkipStep(&second, split) || !ReadStep(&second, rows, height) ||
      !FinishStep(&second))
    second.Fail();
}

// Decodes `data` into a new picture. `split` -1 chooses the split (SplitRow) and shares the two
// parts with the pool; 0 decodes with one decoder; any other row decodes in two parts, one after
// the other.
TBitmap DecodePicture(const std::vector<std::uint8_t>& data, int split) {
  TDecompressor d;
  if (!CreateStep(&d)) d.Fail();
  if (!HeaderStep(&d, data.data(), data.size())) d.Fail();

  const bool quantised = d.info.quantize_colors;
  const int components = quantised ? 1 : 4;
  // Throws before anything large is allocated, and before decoding starts, when the picture is
  // beyond the image limit.
  TBitmap picture(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height),
                  quantised ? pf8bit : pf32bit);
  std::vector<JSAMPROW> rows(static_cast<std::size_t>(picture.Height()));
  for (int y = 0; y < picture.Height(); ++y) rows[std::size_t(y)] = picture.ScanLine(y);

  TPaletteOut palette;
  if (!StartStep(&d, components, &palette)) d.Fail();
  const int height = picture.Height();
  const bool shared = split < 0;
  if (shared) split = SplitRow(d.info);
  if (split <= 0 || split >= height) {
    if (!ReadStep(&d, rows.data(), height) || !FinishStep(&d)) d.Fail();
  } else if (!shared) {
    if (!ReadStep(&d, rows.data(), split)) d.Fail();
    DecodeLowerPart(data, rows.data(), components, split, height);
  } else {
    // Two decoders over the same bytes where the pool has a thread free: this one forms the rows
    // above `split`, a second one passes over them and forms the rest. Whichever first finds the
    // lower part unclaimed takes it, so where no second thread comes in time (every thread busy with
    // other pictures), this decoder simply goes on and no row is read twice. A damaged file fails
    // in either at the same place of the data, with the same message.
    enum : int { Unclaimed, BySecond, ByFirst };
    std::atomic<int> lower{Unclaimed};
    SharedWorkerPool().ParallelFor(2, [&](std::size_t task) {
      int expected = Unclaimed;
      if (task == 0) {
        if (!ReadStep(&d, rows.data(), split)) d.Fail();
        if (!lower.compare_exchange_strong(expected, ByFirst)) return;
        if (!ReadStep(&d, rows.data(), height) || !FinishStep(&d)) d.Fail();
      } else if (lower.compare_exchange_strong(expected, BySecond)) {
        DecodeLowerPart(data, rows.data(), components, split, height);
      }
    });
  }
  if (quantised) picture.Palette().assign(palette.entries, palette.entries + palette.count);
  return picture;
}

}  // namespace

void TJPEGImage::AssignTo(TBitmap& target) const { target = DecodePicture(data_, -1); }

TBitmap jpeg_detail::DecodeInTwoParts(const std::vector<std::uint8_t>& data, int split) {
  return DecodePicture(data, split);
}
