#include "tests/support/jpeg_writer.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

TJPEGSamples QuadrantSamples(int width, int height, int splitX, int splitY) {
  TJPEGSamples s{width, height, 3, {}};
  s.Samples.reserve(std::size_t(width) * std::size_t(height) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int quadrant = (y < splitY ? 0 : 2) + (x < splitX ? 0 : 1);
      static constexpr std::uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
      s.Samples.insert(s.Samples.end(), colours[quadrant], colours[quadrant] + 3);
    }
  }
  return s;
}

std::vector<std::uint8_t> EncodeJPEG(const TJPEGSamples& samples, int quality, bool progressive) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);  // a test's own bad samples end the test program
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = JDIMENSION(samples.Width);
  info.image_height = JDIMENSION(samples.Height);
  info.input_components = samples.Components;
  info.in_color_space = samples.Components == 1 ? JCS_GRAYSCALE : samples.Components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (samples.Components == 4) {
    if (samples.YCCK) jpeg_set_colorspace(&info, JCS_YCCK);
    info.write_Adobe_marker = samples.AdobeMarker ? TRUE : FALSE;
  }
  if (samples.Components == 3) {
    info.comp_info[0].h_samp_factor = samples.LumaSamplingX;
    info.comp_info[0].v_samp_factor = samples.LumaSamplingY;
  }
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  const std::size_t stride = std::size_t(samples.Width) * std::size_t(samples.Components);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.Samples.data() + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return bytes;
}

std::vector<std::uint8_t> WithDeclaredSize(std::vector<std::uint8_t> bytes, int width, int height, bool undecodable) {
  std::size_t sof = 0;  // the frame header: FF C0 or FF C2, length, precision, height, width, ...
  while (!(bytes.at(sof) == 0xFF && (bytes.at(sof + 1) == 0xC0 || bytes.at(sof + 1) == 0xC2))) ++sof;
  bytes.at(sof + 5) = std::uint8_t(height >> 8);
  bytes.at(sof + 6) = std::uint8_t(height);
  bytes.at(sof + 7) = std::uint8_t(width >> 8);
  bytes.at(sof + 8) = std::uint8_t(width);
  if (undecodable) bytes.at(sof + 12) = 3;
  return bytes;
}

std::vector<std::uint8_t> WithMarker(std::vector<std::uint8_t> bytes, std::uint8_t code,
                                     const std::vector<std::uint8_t>& data) {
  const std::size_t length = data.size() + 2;
  std::vector<std::uint8_t> segment = {0xFF, code, std::uint8_t(length >> 8), std::uint8_t(length)};
  segment.insert(segment.end(), data.begin(), data.end());
  bytes.insert(bytes.begin() + 2, segment.begin(), segment.end());
  return bytes;
}

std::vector<std::uint8_t> ExifBlock(int orientation, bool bigEndian) {
  std::vector<std::uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
  auto put = [&](std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
      const int shift = 8 * (bigEndian ? size - 1 - i : i);
      block.push_back(std::uint8_t(value >> shift));
    }
  };
  block.push_back(bigEndian ? 'M' : 'I');
  block.push_back(bigEndian ? 'M' : 'I');
  put(42, 2);
  put(8, 4);  // the first directory follows the header
  put(2, 2);  // two entries
  put(0x0100, 2), put(4, 2), put(1, 4), put(640, 4);  // ImageWidth, LONG, 640
  put(0x0112, 2), put(3, 2), put(1, 4), put(std::uint32_t(orientation), 2), put(0, 2);  // Orientation, SHORT
  put(0, 4);  // no further directory
  return block;
}

std::vector<std::uint8_t> WithEmptyScans(std::vector<std::uint8_t> bytes, int count) {
  std::size_t sof = 0;
  while (!(bytes.at(sof) == 0xFF && (bytes.at(sof + 1) == 0xC0 || bytes.at(sof + 1) == 0xC2))) ++sof;
  const std::uint8_t firstComponent = bytes.at(sof + 10);
  const std::vector<std::uint8_t> scan = {0xFF, 0xDA, 0, 8, 1, firstComponent, 0x00, 1, 63, 0x00};
  std::vector<std::uint8_t> scans;
  for (int i = 0; i < count; ++i) scans.insert(scans.end(), scan.begin(), scan.end());
  bytes.insert(bytes.end() - 2, scans.begin(), scans.end());  // before the closing FF D9
  return bytes;
}
