// Writes the hostile picture files of the loading figures into a folder, for timing the batch
// renderer (and so the loaders) on them with /usr/bin/time:
//   scans20000.jpg     a progressive JPEG of 2048 x 2048 with 20,000 scans of no data (200 KB)
//   scans1000.jpg      a progressive JPEG of 16384 x 16384 with 1,000 scans of no data
//   passes<N>.jpg      a progressive grey JPEG of 16384 x 16384 whose scans cover it N times: the
//                      most the loader accepts (JPEGMostPasses) and the first it refuses
//   colour<N>.jpg      the same in colour (4:2:0), with N scans of the luma beyond its own: the
//                      scans cover about as much as the grey file's most
//   bomb.jpg           a baseline JPEG of a few hundred bytes declaring 16384 x 16383
//   rle8.bmp           a run-length BMP of 16384 x 16383 in about 2 MB
//   zeros.jpg          1 GiB of zero bytes (a sparse file)
// and the files whose cost must follow the picture, not the file, each beside the same picture alone:
//   tail1.jpg, tail2.jpg   a 1024 x 768 photo without its end marker, then 1.2 GB of zeros (sparse)
//   photo1.jpg, photo2.jpg the same photos whole, without the zeros
//   markers.jpg        131 MB of APP1 markers before a 320 x 240 photo (small.jpg alone)
//   sparse8g.jpg       8 GiB, sparse: a 24 KB photo without its end marker (sparse_alone.jpg alone)
// and HEIF grids an encoder would never write, around one 64 x 64 HEVC tile (heif-enc):
//   tiles1024.heic     4096 x 4096 in 1024 tiles of 128 x 128, each an item of its own
//                      (photo4096.heic: the same size coded whole, for comparison)
//   tiles4096.heic     4096 x 4096 in 4096 tiles of 64 x 64
//   tiles16384.heic    8192 x 8192 in 16384 tiles of 64 x 64
//   onetile4096.heic   the same 4096 cells all naming one tile item
//   beyondtiles.heic   2 x 2 tiles whose grid and declared size say 16000 x 16000
//   beyonddeclared.heic 4096 tiles whose grid says 4096 x 4096 and whose declared size is 64 x 64
// Usage: hostile_files FOLDER
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/heif_builder.h"
#include "tests/support/jpeg_writer.h"
#include "toolkit/jpeg_image.h"

namespace {

void Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  std::printf("%s: %zu bytes\n", name.c_str(), bytes.size());
}

int Scans(const std::vector<std::uint8_t>& bytes) {
  int scans = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) scans += bytes[i] == 0xFF && bytes[i + 1] == 0xDA;
  return scans;
}

// Rows of runs of 255 pixels through the palette's 256 colours, each row ended by a line end.
std::vector<std::uint8_t> RunLengthBmp(int width, int height) {
  std::vector<std::uint8_t> data;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; x += 255) {
      data.push_back(std::uint8_t(std::min(255, width - x)));
      data.push_back(std::uint8_t(x / 255 + y));
    }
    data.push_back(0);
    data.push_back(0);
  }
  data.push_back(0);
  data.push_back(1);
  std::vector<std::uint8_t> file(54 + 1024);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, std::uint32_t(file.size() + data.size()));
  put32(10, std::uint32_t(file.size()));
  put32(14, 40);
  put32(18, std::uint32_t(width));
  put32(22, std::uint32_t(height));
  file[26] = 1, file[28] = 8, file[30] = 1;  // one plane, 8 bits, run-length
  put32(34, std::uint32_t(data.size()));
  for (int i = 0; i < 256; ++i) file[54 + 4 * std::size_t(i)] = file[55 + 4 * std::size_t(i)] = std::uint8_t(i);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

// A photo-like picture: smooth colour ramps under seeded noise, so that it compresses as a photo does.
TJPEGSamples PhotoSamples(int width, int height, unsigned seed, int noise) {
  TJPEGSamples samples{width, height, 3, std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
  unsigned state = seed;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) {
        state = state * 1103515245u + 12345u;
        const int ramp = (x * (c + 1) * 255 / width + y * (3 - c) * 255 / height) / 2;
        const int v = ramp + int((state >> 16) % unsigned(2 * noise + 1)) - noise;
        samples.Samples[(std::size_t(y) * width + x) * 3 + c] = std::uint8_t(std::clamp(v, 0, 255));
      }
  return samples;
}

std::vector<std::uint8_t> WithoutEnd(std::vector<std::uint8_t> bytes) {
  bytes.resize(bytes.size() - 2);  // FF D9
  return bytes;
}

// The bytes, then zeros up to `size` that take no room on disk.
bool PutSparse(const std::string& name, const std::vector<std::uint8_t>& bytes, off_t size) {
  Put(name, bytes);
  const int fd = ::open(name.c_str(), O_WRONLY);
  if (fd < 0 || ::ftruncate(fd, size) != 0) return false;
  ::close(fd);
  std::printf("%s: %lld bytes\n", name.c_str(), static_cast<long long>(size));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hostile_files FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::vector<std::uint8_t> grey = EncodeJPEG({16, 16, 1, std::vector<std::uint8_t>(256, 90)}, 90, true);
  Put(folder + "/scans20000.jpg", WithEmptyScans(WithDeclaredSize(grey, 2048, 2048), 20000));
  Put(folder + "/scans1000.jpg", WithEmptyScans(WithDeclaredSize(grey, 16384, 16384), 1000));
  const std::vector<std::uint8_t> large = WithDeclaredSize(grey, 16384, 16384);
  for (int passes : {JPEGMostPasses, JPEGMostPasses + 1})
    Put(folder + "/passes" + std::to_string(passes) + ".jpg", WithEmptyScans(large, passes - Scans(large)));
  // Luma is two thirds of a 4:2:0 picture's blocks: 1.5 luma scans make one pass.
  const std::vector<std::uint8_t> colour =
      WithDeclaredSize(EncodeJPEG({16, 16, 3, std::vector<std::uint8_t>(768, 90)}, 90, true), 16384, 16384);
  const int colourScans = JPEGMostPasses * 3 / 2 - 2 * Scans(colour);
  Put(folder + "/colour" + std::to_string(colourScans) + ".jpg", WithEmptyScans(colour, colourScans));
  Put(folder + "/bomb.jpg", WithDeclaredSize(EncodeJPEG({16, 16, 3, std::vector<std::uint8_t>(768, 90)}, 90), 16384, 16383));
  Put(folder + "/rle8.bmp", RunLengthBmp(16384, 16383));
  const std::string zeros = folder + "/zeros.jpg";
  const int fd = ::open(zeros.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::ftruncate(fd, off_t(1) << 30) != 0) return 1;
  ::close(fd);
  std::printf("%s: 1073741824 bytes\n", zeros.c_str());

  for (int i = 1; i <= 2; ++i) {
    const std::vector<std::uint8_t> photo = EncodeJPEG(PhotoSamples(1024, 768, unsigned(i), 12), 90);
    Put(folder + "/photo" + std::to_string(i) + ".jpg", photo);
    if (!PutSparse(folder + "/tail" + std::to_string(i) + ".jpg", WithoutEnd(photo), off_t(1200) << 20)) return 1;
  }
  const std::vector<std::uint8_t> small = EncodeJPEG(PhotoSamples(320, 240, 3, 12), 90);
  Put(folder + "/small.jpg", small);
  std::vector<std::uint8_t> markers = small;
  std::vector<std::uint8_t> segment = {0xFF, 0xE1, 0xFF, 0xFF};
  segment.resize(4 + 65533, 0x58);
  std::vector<std::uint8_t> segments;
  for (int i = 0; i < 2000; ++i) segments.insert(segments.end(), segment.begin(), segment.end());
  markers.insert(markers.begin() + 2, segments.begin(), segments.end());
  Put(folder + "/markers.jpg", markers);
  const std::vector<std::uint8_t> sparse = EncodeJPEG(PhotoSamples(400, 300, 4, 14), 90);
  Put(folder + "/sparse_alone.jpg", sparse);
  if (!PutSparse(folder + "/sparse8g.jpg", WithoutEnd(sparse), off_t(8) << 30)) return 1;

  const auto encode = [&](int side, const std::string& name) {
    const std::string command = "/usr/bin/convert -size " + std::to_string(side) + "x" + std::to_string(side) +
                                " -seed 5 plasma:fractal -alpha off png24:" + folder + "/tile.png && heif-enc -q 60 " +
                                folder + "/tile.png -o " + folder + "/" + name + " >/dev/null";
    if (std::system(command.c_str()) != 0) return THeifCodedPicture{};
    std::ifstream in(folder + "/" + name, std::ios::binary);
    return PrimaryCodedPicture({std::istreambuf_iterator<char>(in), {}});
  };
  const THeifCodedPicture tile = encode(64, "tile.heic"), tile128 = encode(128, "tile128.heic");
  encode(4096, "photo4096.heic");
  Put(folder + "/tiles1024.heic", HeifGridFile(tile128, PlainGrid(tile128, 32, 32)));
  Put(folder + "/tiles4096.heic", HeifGridFile(tile, PlainGrid(tile, 64, 64)));
  Put(folder + "/tiles16384.heic", HeifGridFile(tile, PlainGrid(tile, 128, 128)));
  THeifGrid one = PlainGrid(tile, 64, 64);
  one.TileItems = 1;
  one.References.assign(4096, 0);
  Put(folder + "/onetile4096.heic", HeifGridFile(tile, one));
  THeifGrid beyond = PlainGrid(tile, 2, 2);
  beyond.OutputWidth = beyond.OutputHeight = beyond.DeclaredWidth = beyond.DeclaredHeight = 16000;
  Put(folder + "/beyondtiles.heic", HeifGridFile(tile, beyond));
  THeifGrid declared = PlainGrid(tile, 64, 64);
  declared.DeclaredWidth = declared.DeclaredHeight = 64;
  Put(folder + "/beyonddeclared.heic", HeifGridFile(tile, declared));
  return 0;
}
