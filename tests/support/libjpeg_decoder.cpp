#include "tests/support/libjpeg_decoder.h"

#include "toolkit/jpeg_float_idct.h"

TLibjpegDecoder::TLibjpegDecoder(const std::vector<std::uint8_t>& bytes,
                                 const std::function<void(jpeg_decompress_struct&)>& setUp) {
  info_.err = jpeg_std_error(&errors_);
  jpeg_create_decompress(&info_);
  jpeg_mem_src(&info_, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info_, TRUE);
  info_.dct_method = JDCT_FLOAT;
  if (setUp) setUp(info_);
  jpeg_start_decompress(&info_);
  jpeg_detail::UseOwnFloatIDCT(info_);
}

TLibjpegDecoder::~TLibjpegDecoder() { jpeg_destroy_decompress(&info_); }

void TLibjpegDecoder::ReadRows(const std::function<JSAMPROW(int y)>& row) {
  while (info_.output_scanline < info_.output_height) {
    JSAMPROW rows[1] = {row(int(info_.output_scanline))};
    jpeg_read_scanlines(&info_, rows, 1);
  }
  jpeg_finish_decompress(&info_);
}
