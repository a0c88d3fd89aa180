#include "png_test_support.h"

#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

std::uint32_t ReadBE(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

struct MemoryReader {
  const std::vector<std::uint8_t>* File;
  std::size_t Position;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (reader->Position + count > reader->File->size()) png_error(png, "read past the end");
  std::memcpy(out, reader->File->data() + reader->Position, count);
  reader->Position += count;
}

// Everything with a destructor lives outside the function that calls setjmp.
bool Decode(png_structp png, png_infop info, DecodedPng& result, std::vector<png_bytep>& rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  result.Width = int(png_get_image_width(png, info));
  result.Height = int(png_get_image_height(png, info));
  result.BitDepth = png_get_bit_depth(png, info);
  result.ColorType = png_get_color_type(png, info);
  result.Interlace = png_get_interlace_type(png, info);
  png_colorp palette = nullptr;
  int count = 0;
  if (png_get_PLTE(png, info, &palette, &count) != 0)
    for (int i = 0; i < count; ++i) result.Palette.push_back({palette[i].blue, palette[i].green, palette[i].red, 0});
  if (result.BitDepth < 8) png_set_packing(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  result.Channels = png_get_channels(png, info);
  const std::size_t stride = png_get_rowbytes(png, info);
  result.Samples.assign(stride * std::size_t(result.Height), 0);
  rows.resize(std::size_t(result.Height));
  for (int y = 0; y < result.Height; ++y) rows[std::size_t(y)] = result.Samples.data() + stride * std::size_t(y);
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

std::vector<PngChunk> SplitChunks(const std::vector<std::uint8_t>& file) {
  static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<PngChunk> chunks;
  if (file.size() < 8 || std::memcmp(file.data(), signature, 8) != 0) return {};
  std::size_t at = 8;
  while (at < file.size()) {
    if (file.size() - at < 12) return {};
    const std::uint32_t length = ReadBE(&file[at]);
    if (file.size() - at - 12 < length) return {};
    PngChunk chunk;
    chunk.Type.assign(reinterpret_cast<const char*>(&file[at + 4]), 4);
    chunk.Data.assign(file.begin() + std::ptrdiff_t(at + 8), file.begin() + std::ptrdiff_t(at + 8 + length));
    const uLong crc = crc32(0, &file[at + 4], uInt(length + 4));
    chunk.CrcOk = crc == ReadBE(&file[at + 8 + length]);
    chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  return chunks;
}

std::vector<std::string> ChunkTypes(const std::vector<PngChunk>& chunks) {
  std::vector<std::string> types;
  for (const auto& c : chunks) types.push_back(c.Type);
  return types;
}

const PngChunk* FindChunk(const std::vector<PngChunk>& chunks, const std::string& type) {
  for (const auto& c : chunks)
    if (c.Type == type) return &c;
  return nullptr;
}

DecodedPng DecodeWithLibpng(const std::vector<std::uint8_t>& file) {
  DecodedPng result;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  MemoryReader reader{&file, 0};
  png_set_read_fn(png, &reader, ReadFromMemory);
  std::vector<png_bytep> rows;
  result.Ok = Decode(png, info, result, rows);
  png_destroy_read_struct(&png, &info, nullptr);
  return result;
}

bool PngcheckAccepts(const std::vector<std::vector<std::uint8_t>>& files, std::string& report) {
  const auto folder = std::filesystem::temp_directory_path() / ("rfl_pngcheck_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::string command = "pngcheck -q";
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto path = folder / ("image" + std::to_string(i) + ".png");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(files[i].data()),
                                                std::streamsize(files[i].size()));
    command += " '" + path.string() + "'";
  }
  command += " 2>&1";
  report.clear();
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) report += buffer;
  const int status = ::pclose(pipe);
  std::filesystem::remove_all(folder);
  return status == 0;
}

void FillRandom(TBitmap& image, TestRandom& random) {
  const std::size_t bytes = (std::size_t(image.Width()) * std::size_t(image.BitCount()) + 7) / 8;
  for (int y = 0; y < image.Height(); ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (std::size_t i = 0; i < bytes; ++i) row[i] = random.Next();
  }
}
