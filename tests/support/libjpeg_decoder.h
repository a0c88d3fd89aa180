#pragma once
// libjpeg used directly, for tests whose reference is what libjpeg itself gives: the program's
// settings that matter to the pixels (the floating-point inverse DCT, and the program's own form of
// it, as every decoder of the program uses it), and whatever else the test sets.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include <jpeglib.h>

class TLibjpegDecoder {
 public:
  // Reads the header of `bytes` (which must stay alive), lets `setUp` change the decoding settings,
  // and starts decoding. The test files are valid: libjpeg's own error handling may end the program.
  explicit TLibjpegDecoder(const std::vector<std::uint8_t>& bytes,
                           const std::function<void(jpeg_decompress_struct&)>& setUp = {});
  ~TLibjpegDecoder();
  TLibjpegDecoder(const TLibjpegDecoder&) = delete;
  TLibjpegDecoder& operator=(const TLibjpegDecoder&) = delete;

  jpeg_decompress_struct& Info() { return info_; }
  // Decodes every row, top to bottom, into the memory `row` gives for it, and finishes.
  void ReadRows(const std::function<JSAMPROW(int y)>& row);

 private:
  jpeg_decompress_struct info_{};
  jpeg_error_mgr errors_{};
};
