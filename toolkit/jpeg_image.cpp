#include "toolkit/jpeg_image.h"

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "toolkit/exif_orientation.h"
#include "toolkit/jpeg_float_idct.h"
#include "toolkit/jpeg_refusals.h"
#include "toolkit/load_progress.h"
#include "toolkit/upright_rows.h"
#include "toolkit/worker_pool.h"

EJPEG::EJPEG(int messageCode) : Exception(JPEGRefusalText(messageCode)), messageCode_(messageCode) {}

namespace {

// libjpeg-turbo's vector code for the floating-point inverse DCT rounds differently from its C code
// (by 1 or 2 in a few samples), and which vector code runs depends on the processor, or there is
// none (WebAssembly); its C code in turn depends on how the system's compiler built it (fused
// multiply-adds on ARM64) and on the processor's conversion of floats out of range. The rest of its
// vector code (upsampling, colour conversion) gives exactly its C code's results. Every decoder
// here puts the program's own transform of jpeg_float_idct.h, which gives libjpeg's C results as
// x86 computes them, in place of libjpeg's; where this build has no vector transform, libjpeg-turbo
// is also told to use its C code throughout. Either way a JPEG gives the same pixels, and so the
// same exported bytes, on every machine. libjpeg-turbo reads that switch once
// per thread before its first decode; setting it while the program starts, before any thread
// exists, reaches every decoder and races with nothing.
[[maybe_unused]] const bool portableDecode = [] {
  if (!jpeg_detail::VectorFloatIDCTAvailable()) ::setenv("JSIMD_FORCENONE", "1", 1);
  return true;
}();

// How much of a stream the decoder asks for at a time, and after skipping a marker.
constexpr std::size_t kInputBufferBytes = 64 * 1024;
constexpr std::size_t kSkippedPieceBytes = 4 * 1024;
// An EXIF block lives in one APP1 marker, whose length field allows this much data.
constexpr std::size_t kMostMarkerBytes = 65533;
// What a decoder reading a stream may look at before the first scan (the markers it reads rather
// than skips: tables, the frame, the first EXIF block; real files need a few kilobytes), and again
// between and after the scans.
constexpr std::uint64_t kMostHeaderBytes = std::uint64_t(1) << 20;
// The most entropy-coded bytes a scan can take for each coefficient it codes in each block: a
// Huffman code of up to 16 bits and up to 15 bits of value (or of an end-of-band run), with every
// byte 0xFF followed by a stuffed zero byte. 512 bytes for a block of a sequential scan.
constexpr std::uint64_t kMostBytesPerCoefficient = 8;
// Tables and restart markers of a scan beside its coded data.
constexpr std::uint64_t kMostMarkerBytesPerScan = 64 * 1024;

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

// A source that reads the stream in pieces as libjpeg asks for them, so that reading stops where
// the image ends and a file that is no JPEG is refused after its first piece. What libjpeg may look
// at is bounded by the picture: `looked` counts the bytes handed to it less those it skipped, and
// once it reaches `mostLooked` the data counts as ended. Up to the first scan that bound is
// kMostHeaderBytes; from there on, the most that the picture's scans can need (EntropyBound).
struct TStreamSource {
  jpeg_source_mgr pub;  // first member, as above
  TStream* stream = nullptr;
  std::vector<JOCTET> buffer;
  bool started = false;
  std::uint64_t looked = 0;
  std::uint64_t mostLooked = 0;
  // After a skip past the piece in hand the next marker is likely skipped too: a small piece then.
  bool skipped = false;
};

// Reads the next piece. At the end of the data libjpeg gets an end-of-image marker, as its own
// sources give it, and decodes the part of the picture that was there. A stream that fails to read
// counts as ended: the failure must not pass through libjpeg.
boolean FillFromStream(j_decompress_ptr info) {
  auto* source = reinterpret_cast<TStreamSource*>(info->src);
  std::size_t got = 0;
  if (source->looked < source->mostLooked) {
    const std::size_t piece = source->skipped ? kSkippedPieceBytes : source->buffer.size();
    try {
      got = source->stream->Read(source->buffer.data(), piece);
    } catch (...) {
      got = 0;
    }
  }
  source->skipped = false;
  source->looked += got;
  if (got == 0) {
    if (!source->started) ERREXIT(info, JERR_INPUT_EMPTY);
    WARNMS(info, JWRN_JPEG_EOF);
    static const JOCTET endOfImage[2] = {0xFF, JPEG_EOI};
    source->pub.next_input_byte = endOfImage;
    source->pub.bytes_in_buffer = 2;
    return TRUE;
  }
  source->started = true;
  source->pub.next_input_byte = source->buffer.data();
  source->pub.bytes_in_buffer = got;
  return TRUE;
}

// Skips data libjpeg does not want (markers it does not keep) by moving the stream, without
// reading it.
void SkipInStream(j_decompress_ptr info, long count) {
  auto* source = reinterpret_cast<TStreamSource*>(info->src);
  if (count <= 0) return;
  const auto wanted = std::size_t(count);
  if (wanted <= source->pub.bytes_in_buffer) {
    source->pub.next_input_byte += wanted;
    source->pub.bytes_in_buffer -= wanted;
    source->looked -= std::min<std::uint64_t>(source->looked, wanted);
    return;
  }
  const std::size_t beyond = wanted - source->pub.bytes_in_buffer;
  source->looked -= std::min<std::uint64_t>(source->looked, source->pub.bytes_in_buffer);
  source->pub.bytes_in_buffer = 0;
  source->skipped = true;
  try {
    source->stream->Seek(std::int64_t(beyond), TSeekOrigin::soCurrent);
  } catch (...) {
    // The next fill finds the end of the data.
  }
}

void NoSourceAction(j_decompress_ptr) {}

// The decompressor with its error manager, source and scan accounting, destroyed on every path.
struct TDecompressor {
  jpeg_decompress_struct info{};
  TErrorManager errors{};
  jpeg_progress_mgr progress{};
  TStreamSource source{};
  bool created = false;

  // Scan accounting (see the progress monitor below).
  bool tooManyScans = false;
  int lastScan = 0;
  std::uint64_t scanBlocks = 0;
  std::uint64_t mostScanBlocks = 0;

  // The first EXIF block met, and whether one was.
  std::vector<std::uint8_t> exif;
  bool exifFound = false;

  TDecompressor();
  ~TDecompressor() {
    if (created) jpeg_destroy_decompress(&info);
  }
  TDecompressor(const TDecompressor&) = delete;
  TDecompressor& operator=(const TDecompressor&) = delete;

  [[noreturn]] void Fail() const {
    if (tooManyScans) throw EJPEGTooManyScans();
    // A declared side beyond libjpeg's own limit is said as any picture too large to be held.
    if (errors.pub.msg_code == JERR_IMAGE_TOO_BIG)
      throw EOutOfResources(std::string(SImageTooLarge) + " (" + std::to_string(info.image_width) + " x " +
                            std::to_string(info.image_height) + ")");
    throw EJPEG(errors.pub.msg_code);
  }
};

// Called by libjpeg between its units of work: after each marker it reads and each row of blocks
// it takes in. Reports the decoding's progress where a reporter is set (load_progress.h). Counts every new scan and the blocks it covers, and stops the decode as soon as the
// file has more scans than any real one or its scans would cover the picture far more often than
// decoding the picture takes: a few hundred bytes of empty scans can otherwise keep the decoder
// busy for minutes.
void WatchScans(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  auto* d = static_cast<TDecompressor*>(common->client_data);
  if (LoadProgressWanted()) {
    // libjpeg's own count: the passes over the data done, and how far the current one has come.
    const jpeg_progress_mgr& p = d->progress;
    const double current = p.pass_limit > 0 ? double(p.pass_counter) / double(p.pass_limit) : 0.0;
    ReportLoadProgress(p.completed_passes + current, std::max(p.total_passes, 1));
  }
  if (info->input_scan_number == d->lastScan) return;
  d->lastScan = info->input_scan_number;
  std::uint64_t blocks = 0;
  for (int i = 0; i < info->comps_in_scan; ++i) {
    const jpeg_component_info* component = info->cur_comp_info[i];
    blocks += std::uint64_t(component->width_in_blocks) * component->height_in_blocks;
  }
  d->scanBlocks += blocks;
  // What this scan may hand the decoder: its blocks' coded coefficients (all 64 in a sequential
  // file, whatever its scan header says), and its markers.
  const auto coefficients = std::uint64_t(info->progressive_mode ? std::max(0, info->Se - info->Ss + 1) : DCTSIZE2);
  d->source.mostLooked += blocks * coefficients * kMostBytesPerCoefficient + kMostMarkerBytesPerScan;
  if (d->lastScan > JPEGMostScans || d->scanBlocks > d->mostScanBlocks) {
    d->tooManyScans = true;
    ERREXIT(info, JERR_NOT_COMPILED);  // any code: Fail() reports the scans
  }
}

TDecompressor::TDecompressor() {
  info.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = JumpOnError;
  errors.pub.emit_message = IgnoreMessage;  // warnings and trace output are not wanted
  errors.pub.output_message = IgnoreOutput;
  progress.progress_monitor = WatchScans;
  info.client_data = this;
}

// Reads a marker's bytes into `out` or past them, through the source, which never suspends.
void TakeMarkerBytes(j_decompress_ptr info, std::uint8_t* out, std::size_t count) {
  jpeg_source_mgr* source = info->src;
  while (count > 0) {
    if (source->bytes_in_buffer == 0) (*source->fill_input_buffer)(info);
    const std::size_t n = std::min(count, source->bytes_in_buffer);
    if (out != nullptr) {
      std::memcpy(out, source->next_input_byte, n);
      out += n;
    }
    source->next_input_byte += n;
    source->bytes_in_buffer -= n;
    count -= n;
  }
}

// libjpeg's handler for APP1 markers: keeps the first EXIF block (at most one marker's worth of
// bytes, however many markers the file has) and skips every other after its signature, without
// reading it.
boolean KeepFirstExif(j_decompress_ptr info) {
  auto* d = static_cast<TDecompressor*>(info->client_data);
  std::uint8_t lengthField[2];
  TakeMarkerBytes(info, lengthField, 2);
  const std::size_t length = std::size_t(lengthField[0] << 8 | lengthField[1]);
  std::size_t data = length >= 2 ? length - 2 : 0;
  if (!d->exifFound) {
    constexpr std::size_t kSignatureBytes = 6;  // "Exif\0\0"
    d->exif.resize(std::min(data, kSignatureBytes));
    TakeMarkerBytes(info, d->exif.data(), d->exif.size());
    data -= d->exif.size();
    if (IsExifBlock(d->exif)) {
      d->exif.resize(std::min(data + kSignatureBytes, kMostMarkerBytes));
      TakeMarkerBytes(info, d->exif.data() + kSignatureBytes, d->exif.size() - kSignatureBytes);
      data -= d->exif.size() - kSignatureBytes;
      d->exifFound = true;
    } else {
      d->exif.clear();
    }
  }
  if (data > 0) (*info->src->skip_input_data)(info, long(data));
  return TRUE;
}

// The steps below call libjpeg under the jump buffer and answer false after a fatal error. They
// hold no object with a destructor, so the jump back into them skips nothing.

bool CreateStep(TDecompressor* d) {
  if (setjmp(d->errors.jump)) return false;
  jpeg_create_decompress(&d->info);
  d->created = true;
  d->info.progress = &d->progress;
  // libjpeg keeps its working arrays (a progressive file's coefficients) within the image limit;
  // it has no backing store, so a file that needs more fails instead of exhausting memory.
  d->info.mem->max_memory_to_use = static_cast<long>(MaxPixelBlockBytes);
  return true;
}

// Where the compressed bytes come from: held in memory, or read from a stream.
struct TInput {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  TStream* stream = nullptr;
  bool readExif = false;
};

// Reads the header and applies the decoding settings; afterwards the output size and the number
// of output components are known.
bool HeaderStep(TDecompressor* d, const TInput* input) {
  if (setjmp(d->errors.jump)) return false;
  j_decompress_ptr info = &d->info;
  if (input->stream != nullptr) {
    TStreamSource& source = d->source;
    source.stream = input->stream;
    source.pub.init_source = NoSourceAction;
    source.pub.fill_input_buffer = FillFromStream;
    source.pub.skip_input_data = SkipInStream;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = NoSourceAction;
    source.mostLooked = kMostHeaderBytes;
    info->src = &source.pub;
  } else {
    jpeg_mem_src(info, input->data, static_cast<unsigned long>(input->size));
  }
  if (input->readExif) jpeg_set_marker_processor(info, JPEG_APP0 + 1, KeepFirstExif);
  jpeg_read_header(info, TRUE);
  info->scale_num = 1;
  info->scale_denom = 1;
  info->dct_method = JDCT_FLOAT;
  info->do_block_smoothing = TRUE;
  info->do_fancy_upsampling = TRUE;
  info->buffered_image = FALSE;
  if (info->out_color_space == JCS_GRAYSCALE) {
    info->quantize_colors = TRUE;
    info->desired_number_of_colors = JPEGQuantisedColours;
  } else if (info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK) {
    info->out_color_space = JCS_CMYK;  // libjpeg turns YCCK into CMYK itself; we make it RGB
  } else {
    // libjpeg's choice for colour files is RGB; we take it in the 32-bit bitmap's byte order, with
    // the fourth byte set to 255 by libjpeg. Any other choice has no conversion to RGB and fails
    // when decoding starts.
    info->out_color_space = JCS_EXT_BGRA;
  }
  jpeg_calc_output_dimensions(info);
  std::uint64_t frameBlocks = 0;
  for (int i = 0; i < info->num_components; ++i)
    frameBlocks += std::uint64_t(info->comp_info[i].width_in_blocks) * info->comp_info[i].height_in_blocks;
  d->mostScanBlocks = std::max(JPEGAlwaysAllowedScanBlocks, frameBlocks * JPEGMostPasses);
  return true;
}

// What becomes of the rows libjpeg writes before they are the picture's.
enum class TRowForm {
  BGRA,            // already the picture's bytes
  CMYK,            // four bytes of ink, turned into opaque blue, green, red
  GreyIndices,     // the quantiser's indices, kept as such (an 8-bit picture)
  GreyToOpaque,    // the quantiser's indices, widened in place to opaque grey pixels
};

struct TRows {
  TRowForm form = TRowForm::BGRA;
  // Where libjpeg writes each row of the picture, or null to write into the rows of `strip` (up to
  // TUprightRows::MostRows of them, one after the other) and hand them to `upright`.
  JSAMPROW* rows = nullptr;
  std::uint8_t* strip = nullptr;
  JSAMPROW* stripRows = nullptr;
  const TUprightRows* upright = nullptr;
  int width = 0;
  bool adobeInverted = false;
  std::uint8_t grey[256] = {};  // the quantiser's level of each index
  TRGBQuad palette[256] = {};
  int paletteCount = 0;
};

// Ink to light: each channel is 255 x (1 - ink) x (1 - black) in whole levels, rounded; no product
// lies half-way between two levels, since 255 is odd.
void InkToLight(std::uint8_t* row, int width, bool inverted) {
  for (int x = 0; x < width; ++x) {
    std::uint8_t* p = row + 4 * std::size_t(x);
    const unsigned flip = inverted ? 0 : 255;
    const unsigned c = p[0] ^ flip, m = p[1] ^ flip, y = p[2] ^ flip, k = p[3] ^ flip;
    p[0] = std::uint8_t((y * k + 127) / 255);
    p[1] = std::uint8_t((m * k + 127) / 255);
    p[2] = std::uint8_t((c * k + 127) / 255);
    p[3] = 255;
  }
}

// Widens a row's indices (its first `width` bytes) to four bytes each, from the right so that no
// index is overwritten before it is read.
void WidenGrey(std::uint8_t* row, int width, const std::uint8_t* grey) {
  for (int x = width - 1; x >= 0; --x) {
    const std::uint8_t v = grey[row[x]];
    std::uint8_t* p = row + 4 * std::size_t(x);
    p[0] = p[1] = p[2] = v;
    p[3] = 255;
  }
}

void FinishRow(const TRows* out, std::uint8_t* row) {
  if (out->form == TRowForm::CMYK) InkToLight(row, out->width, out->adobeInverted);
  if (out->form == TRowForm::GreyToOpaque) WidenGrey(row, out->width, out->grey);
}

// Starts decoding and copies the quantiser's palette, which lives only until the decompression
// finishes.
bool StartStep(TDecompressor* d, TRows* out) {
  if (setjmp(d->errors.jump)) return false;
  j_decompress_ptr info = &d->info;
  jpeg_start_decompress(info);
  // Every decoder here is set up for it (floating-point method, full size), so libjpeg's own
  // transform never runs.
  jpeg_detail::UseOwnFloatIDCT(*info);
  const bool grey = out->form == TRowForm::GreyIndices || out->form == TRowForm::GreyToOpaque;
  if (info->output_components != (grey ? 1 : 4)) ERREXIT(info, JERR_CONVERSION_NOTIMPL);
  if (grey) {
    const int count = info->actual_number_of_colors;
    if (count < 1 || count > 256 || info->out_color_components != 1) ERREXIT(info, JERR_CONVERSION_NOTIMPL);
    for (int i = 0; i < count; ++i) {
      const std::uint8_t v = info->colormap[0][i];
      out->grey[i] = v;
      out->palette[i] = {v, v, v, 0};
    }
    out->paletteCount = count;
  }
  out->adobeInverted = info->saw_Adobe_marker;
  return true;
}

// Decodes the rows up to (not including) `end` into `out`.
bool ReadStep(TDecompressor* d, const TRows* out, int end) {
  if (setjmp(d->errors.jump)) return false;
  j_decompress_ptr info = &d->info;
  while (info->output_scanline < JDIMENSION(end)) {
    const JDIMENSION first = info->output_scanline;
    if (out->rows != nullptr) {
      const JDIMENSION read = jpeg_read_scanlines(info, out->rows + first, JDIMENSION(end) - first);
      for (JDIMENSION y = first; y < first + read; ++y) FinishRow(out, out->rows[y]);
    } else {
      const JDIMENSION want = std::min<JDIMENSION>(TUprightRows::MostRows, JDIMENSION(end) - first);
      JDIMENSION got = 0;
      while (got < want) {
        const JDIMENSION read = jpeg_read_scanlines(info, out->stripRows + got, want - got);
        if (read == 0) break;
        got += read;
      }
      for (JDIMENSION k = 0; k < got; ++k) FinishRow(out, out->stripRows[k]);
      if (got > 0) out->upright->Place(int(first), out->strip, int(got));
    }
    if (info->output_scanline == first) ERREXIT(info, JERR_INPUT_EOF);  // our sources never suspend
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

// Ends a decode that has every row. A file of one scan needs nothing after its last row of blocks:
// whatever follows (an end-of-image marker, or, in a damaged file, anything up to the end of a
// huge file) is never read. A file of several scans has read them all before its first row.
bool FinishStep(TDecompressor* d) {
  if (setjmp(d->errors.jump)) return false;
  if (jpeg_has_multiple_scans(&d->info))
    jpeg_finish_decompress(&d->info);
  else
    jpeg_abort_decompress(&d->info);
  return true;
}

// The row from which a second decoder may take over a colour picture, or 0 where the picture is
// decoded by one. Only single-scan Huffman-coded files that libjpeg turns into RGB split: a
// progressive file's scans would be read twice whole, and these are the files on which the split
// was shown to give every byte. The first decoder takes three fifths: the second reads the rows
// before its share too, without forming them, which costs about a third of forming them.
int SplitRow(const jpeg_decompress_struct& info) {
  if (info.quantize_colors || info.out_color_space != JCS_EXT_BGRA ||
      jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&info)) || info.arith_code)
    return 0;
  if (info.output_height < 64 || std::uint64_t(info.output_width) * info.output_height < (1u << 16)) return 0;
  const int rowsPerBand = info.max_v_samp_factor * DCTSIZE;  // the rows one pass of the decoder forms
  return int(info.output_height) * 3 / 5 / rowsPerBand * rowsPerBand;
}

// The most bytes of a scan's data that a picture decoded in two parts holds: one a pixel. Photos
// take a fifth to a half of that; a file that needs more is decoded by one decoder.
std::uint64_t HeldScanBytes(int width, int height) { return std::uint64_t(width) * std::uint64_t(height); }

TRowForm FormOf(const jpeg_decompress_struct& info, bool keepGreyIndices) {
  if (info.quantize_colors) return keepGreyIndices ? TRowForm::GreyIndices : TRowForm::GreyToOpaque;
  if (info.out_color_space == JCS_CMYK) return TRowForm::CMYK;
  return TRowForm::BGRA;
}

// Row pointers into every row of `picture`, top to bottom.
std::vector<JSAMPROW> RowsOf(TBitmap& picture) {
  std::vector<JSAMPROW> rows(static_cast<std::size_t>(picture.Height()));
  for (int y = 0; y < picture.Height(); ++y) rows[std::size_t(y)] = picture.ScanLine(y);
  return rows;
}

}  // namespace

TJPEGHeader ReadJPEGHeader(TStream& stream) {
  TDecompressor d;
  d.source.buffer.resize(kInputBufferBytes);
  const TInput input{nullptr, 0, &stream, false};
  if (!CreateStep(&d)) d.Fail();
  if (!HeaderStep(&d, &input)) d.Fail();
  const jpeg_decompress_struct& info = d.info;
  TJPEGHeader header;
  header.Width = static_cast<int>(info.output_width);
  header.Height = static_cast<int>(info.output_height);
  // A file whose first scan leaves components or coefficients for later ones keeps every block's
  // coefficients (64 of 2 bytes) until its last scan; libjpeg pads each component to whole MCUs.
  std::uint64_t coefficients = 0;
  if (info.progressive_mode || info.comps_in_scan < info.num_components) {
    for (int i = 0; i < info.num_components; ++i) {
      const jpeg_component_info& c = info.comp_info[i];
      const auto round = [](std::uint64_t n, int to) { return (n + std::uint64_t(to) - 1) / std::uint64_t(to) * std::uint64_t(to); };
      coefficients += round(c.width_in_blocks, c.h_samp_factor) * round(c.height_in_blocks, c.v_samp_factor) *
                      DCTSIZE2 * sizeof(JCOEF);
    }
  }
  // A few rows of samples for each component on their way through upsampling and colour
  // conversion: generously, 64 bytes a column of the picture.
  const std::uint64_t rows = std::uint64_t(header.Width) * 64;
  header.DecoderBytes = std::min(coefficients, MaxPixelBlockBytes) + kInputBufferBytes + kMostMarkerBytes + rows;
  // A picture decoded in two parts holds its file's bytes, and the second decoder its own rows.
  if (SplitRow(info) > 0) header.DecoderBytes += JPEGMostHeldHeaderBytes + HeldScanBytes(header.Width, header.Height) + rows;
  return header;
}

namespace {

// The rows from `split` on, formed by a second decoder of the same bytes that passes over the rows
// above them.
void DecodeLowerPart(const TInput& input, const TRows& first, int split, int height) {
  TDecompressor second;
  TRows out = first;  // the same rows, in the same form
  if (!CreateStep(&second) || !HeaderStep(&second, &input) || !StartStep(&second, &out) ||
      !SkipStep(&second, split) || !ReadStep(&second, &out, height) || !FinishStep(&second))
    second.Fail();
}

// Decodes bytes held in memory, as stored, into a new picture: grey files as quantised indices
// (`keepGreyIndices`) or widened to opaque 32 bits. `split` -1 chooses the split (SplitRow) and
// shares the two parts with the pool; 0 decodes with one decoder; any other row decodes in two
// parts, one after the other.
TBitmap DecodeHeld(const std::uint8_t* data, std::size_t size, bool keepGreyIndices, int split) {
  TDecompressor d;
  const TInput input{data, size, nullptr, false};
  if (!CreateStep(&d)) d.Fail();
  if (!HeaderStep(&d, &input)) d.Fail();

  TRows out;
  out.form = FormOf(d.info, keepGreyIndices);
  out.width = static_cast<int>(d.info.output_width);
  // Throws before anything large is allocated, and before decoding starts, when the picture is
  // beyond the image limit.
  TBitmap picture(out.width, static_cast<int>(d.info.output_height),
                  out.form == TRowForm::GreyIndices ? pf8bit : pf32bit);
  std::vector<JSAMPROW> rows = RowsOf(picture);
  out.rows = rows.data();
  if (!StartStep(&d, &out)) d.Fail();
  const int height = picture.Height();
  const bool shared = split < 0;
  if (shared) split = SplitRow(d.info);
  if (split <= 0 || split >= height) {
    if (!ReadStep(&d, &out, height) || !FinishStep(&d)) d.Fail();
  } else if (!shared) {
    if (!ReadStep(&d, &out, split)) d.Fail();
    DecodeLowerPart(input, out, split, height);
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
        if (!ReadStep(&d, &out, split)) d.Fail();
        if (!lower.compare_exchange_strong(expected, ByFirst)) return;
        if (!ReadStep(&d, &out, height) || !FinishStep(&d)) d.Fail();
      } else if (lower.compare_exchange_strong(expected, BySecond)) {
        DecodeLowerPart(input, out, split, height);
      }
    });
  }
  if (out.form == TRowForm::GreyIndices) picture.Palette().assign(out.palette, out.palette + out.paletteCount);
  return picture;
}

// Reads the JPEG file from `start` into `bytes`, up to and with its end-of-image marker, or to the
// end of the stream when it has none; false, once `most` bytes are held without either. `scanStart`
// is where the entropy-coded data of its one scan begins; from there on the first FF D9 is the end
// of the image (the coded data never holds one), and no byte beyond it is read but those of the
// last piece.
bool ReadThroughEndOfImage(TStream& stream, std::int64_t start, std::uint64_t scanStart, std::uint64_t most,
                           std::vector<std::uint8_t>& bytes) {
  stream.SetPosition(start);
  // One block for all of it: growing by doubling would hold up to three times the data.
  bytes.reserve(std::size_t(std::min<std::uint64_t>(most, std::uint64_t(stream.Remaining()))));
  std::size_t searched = std::size_t(scanStart);
  while (bytes.size() < most) {
    const std::size_t had = bytes.size();
    const std::size_t piece = std::size_t(std::min<std::uint64_t>(kInputBufferBytes, most - had));
    bytes.resize(had + piece);
    const std::size_t got = stream.Read(bytes.data() + had, piece);
    bytes.resize(had + got);
    if (got == 0) return true;
    for (std::size_t i = std::max<std::size_t>(searched, 1); i < bytes.size(); ++i)
      if (bytes[i - 1] == 0xFF && bytes[i] == JPEG_EOI) {
        bytes.resize(i + 1);
        return true;
      }
    searched = std::max(searched, bytes.size());
  }
  return false;
}

}  // namespace

TBitmap ReadJPEGPicture(TStream& stream) {
  std::int64_t start = -1;  // where the file begins, when the stream can go back to it
  try {
    start = stream.Position();
  } catch (const Exception&) {
  }
  TDecompressor d;
  d.source.buffer.resize(kInputBufferBytes);
  const TInput input{nullptr, 0, &stream, true};
  if (!CreateStep(&d)) d.Fail();
  if (!HeaderStep(&d, &input)) d.Fail();

  const int width = static_cast<int>(d.info.output_width);
  const int height = static_cast<int>(d.info.output_height);
  const TOrientation orientation = ExifOrientation(d.exif);
  const TUprightSize size = UprightSize(width, height, orientation);
  // Refused before anything large is allocated or read, and before decoding starts, when the
  // picture is beyond the image limit.
  CheckImageSize(size.Width, size.Height, 32);

  // A large single-scan colour photo decodes in two parts at once, and the second decoder reads the
  // file's bytes from their start: those are taken into memory, up to the end of the image, when
  // they are no more than a real photo of its size has. Otherwise (markers far beyond any real
  // file's, no end of image within reach) this decoder goes on alone from where its header ended.
  if (start >= 0 && orientation == TOrientation::Upright && SplitRow(d.info) > 0) {
    const std::int64_t resume = stream.Position();
    const std::uint64_t scanStart = std::uint64_t(resume - start) - d.source.pub.bytes_in_buffer;
    if (scanStart <= JPEGMostHeldHeaderBytes) {
      std::vector<std::uint8_t> bytes;
      if (ReadThroughEndOfImage(stream, start, scanStart, scanStart + HeldScanBytes(width, height), bytes))
        return DecodeHeld(bytes.data(), bytes.size(), false, -1);
    }
    stream.SetPosition(resume);
  }

  TBitmap picture(size.Width, size.Height, pf32bit);
  TRows out;
  out.form = FormOf(d.info, false);
  out.width = width;
  std::vector<JSAMPROW> rows;
  std::vector<std::uint8_t> strip;
  const TUprightRows upright(picture, width, height, orientation);
  if (orientation == TOrientation::Upright) {
    rows = RowsOf(picture);
    out.rows = rows.data();
  } else {
    const std::size_t rowBytes = 4 * std::size_t(width);
    strip.resize(rowBytes * TUprightRows::MostRows);
    rows.resize(TUprightRows::MostRows);
    for (std::size_t k = 0; k < rows.size(); ++k) rows[k] = strip.data() + k * rowBytes;
    out.strip = strip.data();
    out.stripRows = rows.data();
    out.upright = &upright;
  }
  if (!StartStep(&d, &out) || !ReadStep(&d, &out, height) || !FinishStep(&d)) d.Fail();
  return picture;
}

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
  const TInput input{data_.data(), data_.size(), nullptr, false};
  if (!CreateStep(&d)) d.Fail();
  if (!HeaderStep(&d, &input)) d.Fail();
  return {static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height)};
}

void TJPEGImage::AssignTo(TBitmap& target) const { target = DecodeHeld(data_.data(), data_.size(), true, -1); }

TBitmap jpeg_detail::DecodeInTwoParts(const std::vector<std::uint8_t>& data, int split) {
  return DecodeHeld(data.data(), data.size(), true, split);
}
