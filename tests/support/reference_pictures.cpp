#include "tests/support/reference_pictures.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

bool Shell(const std::string& command) { return std::system(("( " + command + " ) >/dev/null 2>&1").c_str()) == 0; }

TPam ReadPam(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::string magic;
  in >> magic;
  TPam pam;
  auto skipComments = [&] {
    in >> std::ws;
    while (in.peek() == '#') {
      std::string line;
      std::getline(in, line);
      in >> std::ws;
    }
  };
  if (magic == "P7") {
    std::string key;
    while (in >> key && key != "ENDHDR") {
      if (key == "WIDTH") in >> pam.Width;
      else if (key == "HEIGHT") in >> pam.Height;
      else if (key == "DEPTH") in >> pam.Depth;
      else if (key == "MAXVAL") in >> pam.MaxVal;
      else {
        std::string rest;
        std::getline(in, rest);
      }
    }
  } else if (magic == "P5" || magic == "P6") {
    pam.Depth = magic == "P5" ? 1 : 3;
    skipComments();
    in >> pam.Width;
    skipComments();
    in >> pam.Height;
    skipComments();
    in >> pam.MaxVal;
  } else {
    return {};
  }
  in.get();  // the one white-space byte before the samples
  if (!in || pam.Width <= 0 || pam.Height <= 0 || pam.Depth < 1 || pam.Depth > 4 || pam.MaxVal < 1) return {};
  const std::size_t count = std::size_t(pam.Width) * pam.Height * pam.Depth;
  const int bytes = pam.MaxVal > 255 ? 2 : 1;
  std::vector<std::uint8_t> raw(count * bytes);
  if (!in.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()))) return {};
  pam.Samples.resize(count);
  for (std::size_t i = 0; i < count; ++i) pam.Samples[i] = bytes == 2 ? std::uint16_t(raw[2 * i] << 8 | raw[2 * i + 1]) : raw[i];
  return pam;
}

void WritePam(const std::string& fileName, int width, int height, const std::vector<std::uint8_t>& rgba, bool alpha) {
  std::ofstream out(fileName, std::ios::binary);
  out << "P7\nWIDTH " << width << "\nHEIGHT " << height << "\nDEPTH " << (alpha ? 4 : 3) << "\nMAXVAL 255\nTUPLTYPE "
      << (alpha ? "RGB_ALPHA" : "RGB") << "\nENDHDR\n";
  for (std::size_t i = 0; i < rgba.size(); i += 4) out.write(reinterpret_cast<const char*>(&rgba[i]), alpha ? 4 : 3);
}

TBitmap PamToPicture(const TPam& pam) {
  TBitmap picture(pam.Width, pam.Height, pf32bit);
  const auto level = [&](std::uint16_t v) { return std::uint8_t((std::uint32_t(v) * 255 + pam.MaxVal / 2) / pam.MaxVal); };
  for (int y = 0; y < pam.Height; ++y) {
    std::uint8_t* row = picture.ScanLine(y);
    for (int x = 0; x < pam.Width; ++x) {
      const std::uint16_t* s = &pam.Samples[(std::size_t(y) * pam.Width + x) * pam.Depth];
      const bool colour = pam.Depth >= 3;
      const std::uint8_t r = level(s[0]), g = level(colour ? s[1] : s[0]), b = level(colour ? s[2] : s[0]);
      const bool hasAlpha = pam.Depth == 2 || pam.Depth == 4;
      row[4 * x] = b;
      row[4 * x + 1] = g;
      row[4 * x + 2] = r;
      row[4 * x + 3] = hasAlpha ? level(s[pam.Depth - 1]) : 255;
    }
  }
  return picture;
}

TPictureDistance Distance(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return {-1, 0};
  TPictureDistance d;
  for (int y = 0; y < a.Height(); ++y)
    for (int i = 0; i < 4 * a.Width(); ++i) {
      const int diff = std::abs(int(a.ScanLine(y)[i]) - int(b.ScanLine(y)[i]));
      if (diff != 0) ++d.Differing;
      d.Largest = std::max(d.Largest, diff);
    }
  return d;
}

std::vector<std::uint8_t> TestSamples(int width, int height, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> grain(-12, 12);
  std::vector<std::uint8_t> rgba(std::size_t(width) * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &rgba[(std::size_t(y) * width + x) * 4];
      const bool edge = x * 3 > width + y;
      const double u = double(x) / std::max(1, width - 1), v = double(y) / std::max(1, height - 1);
      p[0] = std::uint8_t(std::clamp(int(40 + 180 * u) + grain(random), 0, 255));
      p[1] = std::uint8_t(std::clamp(int(edge ? 220 - 150 * v : 30 + 100 * v) + grain(random), 0, 255));
      p[2] = std::uint8_t(std::clamp(int(128 + 100 * std::sin(7 * u + 3 * v)) + grain(random), 0, 255));
      p[3] = std::uint8_t(x == 0 && y == 0 ? 0 : std::clamp(int(255 * (u + v) / 1.5), 0, 255));
    }
  return rgba;
}

namespace {

void PutChunk(std::vector<std::uint8_t>& file, const char* type, const std::vector<std::uint8_t>& data) {
  const std::uint32_t length = std::uint32_t(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(std::uint8_t(length >> shift));
  const std::size_t start = file.size();
  file.insert(file.end(), type, type + 4);
  file.insert(file.end(), data.begin(), data.end());
  const std::uint32_t crc = std::uint32_t(crc32(0, file.data() + start, uInt(file.size() - start)));
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(std::uint8_t(crc >> shift));
}

int Channels(int colourType) {
  switch (colourType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

std::uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return std::uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// The filtered rows of one (sub-)image whose pixels are `at(x, y)`'s samples.
template <typename At>
void FilterImage(const TTestPng& png, int width, int height, At at, std::mt19937& random, std::vector<std::uint8_t>& out) {
  if (width == 0 || height == 0) return;
  const int channels = Channels(png.ColourType);
  const int bitsPerPixel = channels * png.BitDepth;
  const std::size_t rowBytes = (std::size_t(width) * bitsPerPixel + 7) / 8;
  const int bpp = std::max(1, bitsPerPixel / 8);
  std::vector<std::uint8_t> previous(rowBytes, 0), row(rowBytes);
  for (int y = 0; y < height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    std::size_t bit = 0;
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) {
        const std::uint16_t v = at(x, y)[c];
        if (png.BitDepth == 16) {
          row[bit / 8] = std::uint8_t(v >> 8);
          row[bit / 8 + 1] = std::uint8_t(v);
        } else {
          row[bit / 8] |= std::uint8_t(v << (8 - png.BitDepth - bit % 8));
        }
        bit += png.BitDepth;
      }
    const int filter = int(random() % 5);
    out.push_back(std::uint8_t(filter));
    for (std::size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= std::size_t(bpp) ? row[i - bpp] : 0, b = previous[i], c = i >= std::size_t(bpp) ? previous[i - bpp] : 0;
      const int predicted = filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : filter == 4 ? Paeth(a, b, c) : 0;
      out.push_back(std::uint8_t(row[i] - predicted));
    }
    previous = row;
  }
}

}  // namespace

std::vector<std::uint8_t> WriteTestPng(const TTestPng& png) {
  std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> ihdr;
  for (std::uint32_t v : {std::uint32_t(png.Width), std::uint32_t(png.Height)})
    for (int shift = 24; shift >= 0; shift -= 8) ihdr.push_back(std::uint8_t(v >> shift));
  ihdr.insert(ihdr.end(), {std::uint8_t(png.BitDepth), std::uint8_t(png.ColourType), 0, 0, std::uint8_t(png.Interlaced)});
  PutChunk(file, "IHDR", ihdr);
  if (!png.Palette.empty()) PutChunk(file, "PLTE", png.Palette);
  if (!png.Trns.empty()) PutChunk(file, "tRNS", png.Trns);

  const int channels = Channels(png.ColourType);
  std::vector<std::uint8_t> filtered;
  std::mt19937 random(png.FilterSeed);
  if (!png.Interlaced) {
    FilterImage(png, png.Width, png.Height,
                [&](int x, int y) { return &png.Samples[(std::size_t(y) * png.Width + x) * channels]; }, random, filtered);
  } else {
    static constexpr int x0[7] = {0, 4, 0, 2, 0, 1, 0}, dx[7] = {8, 8, 4, 4, 2, 2, 1};
    static constexpr int y0[7] = {0, 0, 4, 0, 2, 0, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
    for (int pass = 0; pass < 7; ++pass) {
      const int w = png.Width > x0[pass] ? (png.Width - x0[pass] + dx[pass] - 1) / dx[pass] : 0;
      const int h = png.Height > y0[pass] ? (png.Height - y0[pass] + dy[pass] - 1) / dy[pass] : 0;
      FilterImage(png, w, h, [&](int x, int y) {
        return &png.Samples[(std::size_t(y0[pass] + y * dy[pass]) * png.Width + x0[pass] + x * dx[pass]) * channels];
      }, random, filtered);
    }
  }
  uLongf size = compressBound(uLong(filtered.size()));
  std::vector<std::uint8_t> compressed(size);
  compress2(compressed.data(), &size, filtered.data(), uLong(filtered.size()), 6);
  compressed.resize(size);
  PutChunk(file, "IDAT", compressed);
  PutChunk(file, "IEND", {});
  return file;
}
