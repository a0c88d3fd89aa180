#include <gtest/gtest.h>

#include <zlib.h>

#include <fstream>
#include <random>
#include <string>

#include "picture/loading.h"
#include "tests/support/reference_pictures.h"
#include "tests/support/temp_dir.h"
#include "toolkit/errors.h"

namespace {

TBitmap LoadPng(const std::vector<std::uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  return ReadSourcePicture(stream, TPictureKind::Png);
}

// The file as ImageMagick (libpng) decodes it, tRNS made alpha, scaled to 8 bits. (pngtopam
// -alphapam would do, but leaves the tRNS colour of RGB pictures opaque.)
TBitmap ThroughImageMagick(const TempDir& dir, const std::vector<std::uint8_t>& file) {
  const std::string png = dir / "in.png", pam = dir / "out.pam";
  std::ofstream(png, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  std::filesystem::remove(pam);
  EXPECT_TRUE(Shell("/usr/bin/convert png:" + png + " -depth 16 pam:" + pam));
  return PamToPicture(ReadPam(pam));
}

std::string Describe(const TTestPng& p) {
  return "colour type " + std::to_string(p.ColourType) + ", " + std::to_string(p.BitDepth) + " bits, " +
         std::to_string(p.Width) + " x " + std::to_string(p.Height) + (p.Interlaced ? ", Adam7" : "") +
         (p.Trns.empty() ? "" : ", tRNS");
}

// Samples at the file's depth; a quarter of the pixels take the tRNS colour where there is one.
TTestPng MakePng(int colourType, int depth, bool trns, int width, int height, bool interlaced, std::mt19937& random) {
  TTestPng p{width, height, colourType, depth, interlaced};
  p.FilterSeed = random();
  const int channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
  const int top = colourType == 3 ? (1 << depth) - 1 : (1 << depth) - 1;
  for (int i = 0; i < width * height * channels; ++i) p.Samples.push_back(std::uint16_t(random() % (top + 1)));
  if (colourType == 3) {
    for (int i = 0; i <= top; ++i)
      for (int c = 0; c < 3; ++c) p.Palette.push_back(std::uint8_t(random()));
    if (trns)
      for (int i = 0; i < (top + 1) / 2 + 1 && i <= top; ++i) p.Trns.push_back(std::uint8_t(i == 0 ? 0 : random()));
  } else if (trns) {
    const std::uint16_t* key = &p.Samples[0];
    for (int c = 0; c < channels; ++c) p.Trns.insert(p.Trns.end(), {std::uint8_t(key[c] >> 8), std::uint8_t(key[c])});
    for (int i = 0; i < width * height; i += 4)
      for (int c = 0; c < channels; ++c) p.Samples[std::size_t(i) * channels + c] = key[c];
  }
  return p;
}

}  // namespace

// Every colour type and depth, with and without tRNS, plain and Adam7, at odd sizes and 1 x 1, each
// row under a filter drawn from the seed, so the vector filters of libspng (3 and 4-byte pixels) meet
// all of their cases: the pixels must be libpng's (through ImageMagick), 16-bit samples at the
// nearest level.
TEST(PngReader, EveryColourTypeAndDepthGivesLibpngsPixels) {
  const TempDir dir;
  std::mt19937 random(20261208);
  const struct {
    int colourType, depth;
    bool trns;
  } kinds[] = {{0, 1, false}, {0, 2, true},  {0, 4, false}, {0, 8, true},  {0, 16, false}, {0, 16, true},
               {2, 8, false}, {2, 8, true},  {2, 16, true}, {2, 16, false}, {3, 1, true},   {3, 2, false},
               {3, 4, true},  {3, 8, true},  {3, 8, false}, {4, 8, false}, {4, 16, false}, {6, 8, false},
               {6, 16, false}};
  const int sizes[][2] = {{1, 1}, {13, 7}, {67, 35}};
  int pictures = 0;
  for (const auto& kind : kinds)
    for (const auto& size : sizes)
      for (bool interlaced : {false, true}) {
        const TTestPng png = MakePng(kind.colourType, kind.depth, kind.trns, size[0], size[1], interlaced, random);
        const std::vector<std::uint8_t> file = WriteTestPng(png);
        const TBitmap expected = ThroughImageMagick(dir, file);
        ASSERT_EQ(expected.Width(), size[0]) << Describe(png);
        const TBitmap loaded = LoadPng(file);
        const TPictureDistance d = Distance(loaded, expected);
        EXPECT_EQ(d.Differing, 0) << Describe(png) << ": largest difference " << d.Largest;
        ++pictures;
      }
  EXPECT_EQ(pictures, 114);
}

// Pictures as ImageMagick writes them (its own choice of filters, chunks and palettes): a cut-out,
// 16-bit, interlaced, palette with transparency, grey.
TEST(PngReader, ImageMagicksFilesGiveTheReferencePixels) {
  const TempDir dir;
  WritePam(dir / "cut.pam", 61, 45, TestSamples(61, 45, 7), true);
  const struct {
    const char* options;
    const char* target;
  } cases[] = {
      {"", "png32:"},
      {"-depth 16", "png64:"},
      {"-interlace PNG", "png32:"},
      {"-channel A -threshold 50% +channel -colors 60", "png8:"},
      {"-colorspace Gray -alpha off -depth 16", "png:"},
      {"-alpha off", "png24:"},
  };
  for (const auto& c : cases) {
    const std::string png = dir / "cut.png";
    ASSERT_TRUE(Shell(std::string("/usr/bin/convert ") + dir / "cut.pam " + c.options + " " + c.target + png)) << c.options;
    const std::vector<std::uint8_t> file = FileBytes(png);
    const TBitmap loaded = ReadSourcePicture(png, TPictureKind::Png);
    const TPictureDistance d = Distance(loaded, ThroughImageMagick(dir, file));
    EXPECT_EQ(d.Differing, 0) << c.options << " " << c.target;
  }
}

namespace {

// Rewrites the header's size and its checksum, leaving the image data as it was.
std::vector<std::uint8_t> DeclaringSize(std::vector<std::uint8_t> file, std::uint32_t width, std::uint32_t height) {
  for (int i = 0; i < 4; ++i) {
    file[16 + i] = std::uint8_t(width >> (24 - 8 * i));
    file[20 + i] = std::uint8_t(height >> (24 - 8 * i));
  }
  const std::uint32_t crc = std::uint32_t(crc32(0, &file[12], 17));
  for (int i = 0; i < 4; ++i) file[29 + i] = std::uint8_t(crc >> (24 - 8 * i));
  return file;
}

// A one-row picture whose image data goes on inflating to `extra` bytes past its last row.
std::vector<std::uint8_t> InflatingPast(std::size_t extra) {
  std::vector<std::uint8_t> raw(1 + 4 + extra, 0);
  raw[1] = 10, raw[2] = 20, raw[3] = 30, raw[4] = 255;
  uLongf size = compressBound(uLong(raw.size()));
  std::vector<std::uint8_t> compressed(size);
  compress2(compressed.data(), &size, raw.data(), uLong(raw.size()), 9);
  compressed.resize(size);
  std::vector<std::uint8_t> file = WriteTestPng({1, 1, 6, 8, false, {1, 2, 3, 4}});
  // Replace the image data chunk (after the 33 bytes of signature and header) by the long one.
  std::vector<std::uint8_t> out(file.begin(), file.begin() + 33);
  const std::uint32_t length = std::uint32_t(compressed.size());
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(length >> (24 - 8 * i)));
  const std::size_t start = out.size();
  out.insert(out.end(), {'I', 'D', 'A', 'T'});
  out.insert(out.end(), compressed.begin(), compressed.end());
  const std::uint32_t crc = std::uint32_t(crc32(0, &out[start], uInt(out.size() - start)));
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(crc >> (24 - 8 * i)));
  out.insert(out.end(), file.end() - 12, file.end());  // IEND
  return out;
}

}  // namespace

// Damaged and hostile files are refused with a sentence naming the format (never a bare number),
// or cost no more than the picture they declare; the header alone answers what a load costs.
TEST(PngReader, DamagedAndHostileFilesAreRefusedOrCostTheirDeclaredPicture) {
  std::mt19937 random(5);
  const std::vector<std::uint8_t> good = WriteTestPng(MakePng(6, 8, false, 9, 9, false, random));
  const auto flipped = [&](std::size_t at) {
    std::vector<std::uint8_t> f = good;
    f[at] ^= 0x40;
    return f;
  };
  const std::vector<std::uint8_t> truncated(good.begin(), good.end() - 30);
  const std::vector<std::uint8_t> bomb16k = DeclaringSize(good, 16384, 16384);
  const struct {
    const char* what;
    std::vector<std::uint8_t> file;
    bool tooLarge;  // refused as beyond the image limit, by the header alone
  } cases[] = {
      {"no signature", std::vector<std::uint8_t>(good.begin() + 8, good.end()), false},
      {"JPEG bytes", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0}, false},
      {"empty", {}, false},
      {"header checksum", flipped(30), false},
      {"image data checksum", flipped(good.size() - 14), false},
      {"image data damaged", flipped(45), false},
      {"cut inside the image data", truncated, false},
      {"16384 x 16384 in a few bytes", bomb16k, false},
      {"beyond the image limit", DeclaringSize(good, 16385, 16384), true},
      {"2^31 - 1 wide", DeclaringSize(good, 0x7FFFFFFF, 1), true},
      {"zero wide", DeclaringSize(good, 0, 9), false},
  };
  for (const auto& c : cases) {
    TMemoryStream stream(c.file);
    try {
      ReadSourcePicture(stream, TPictureKind::Png);
      ADD_FAILURE() << c.what << " loaded";
    } catch (const EOutOfResources& e) {
      EXPECT_TRUE(c.tooLarge) << c.what << ": " << e.what();
    } catch (const EInvalidGraphic& e) {
      EXPECT_FALSE(c.tooLarge) << c.what;
      EXPECT_EQ(std::string(e.what()).rfind("PNG ファイルが壊れています: ", 0), 0u) << c.what << ": " << e.what();
    }
  }
  TMemoryStream header(bomb16k);
  const TPictureCost cost = ReadPictureCost(header, TPictureKind::Png);
  EXPECT_EQ(cost.PixelBytes, std::uint64_t(1) << 30);
  EXPECT_LT(cost.DecoderBytes, std::uint64_t(64) << 20);

  // Image data that inflates to 200 MB past the picture's one row: only the row is inflated.
  TMemoryStream inflating(InflatingPast(std::size_t(200) << 20));
  try {
    const TBitmap picture = ReadSourcePicture(inflating, TPictureKind::Png);
    EXPECT_EQ(picture.ScanLine(0)[2], 10);
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(std::string(e.what()).rfind("PNG ファイルが壊れています", 0), 0u) << e.what();
  }
}

// Image data is never held whole, however large its one chunk; metadata is held, and a chunk of it
// beyond the limit makes a valid file the program does not show (and says so) rather than a
// damaged one.
TEST(PngReader, OneHugeImageDataChunkLoadsAndHugeMetadataIsRefused) {
  std::mt19937 random(9);
  TTestPng big = MakePng(6, 8, false, 1700, 1400, false, random);  // 9.5 MB of noise in one chunk
  const std::vector<std::uint8_t> file = WriteTestPng(big);
  ASSERT_GT(file.size(), std::size_t(9) << 20);
  const TBitmap picture = LoadPng(file);
  EXPECT_EQ(picture.ScanLine(1399)[4 * 1699 + 3], big.Samples.back());

  TTestPng small = MakePng(2, 8, false, 3, 3, false, random);
  std::vector<std::uint8_t> withText = WriteTestPng(small);
  std::vector<std::uint8_t> text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0};
  text.resize(std::size_t(9) << 20, 'x');
  std::vector<std::uint8_t> chunk;
  for (int i = 0; i < 4; ++i) chunk.push_back(std::uint8_t(text.size() >> (24 - 8 * i)));
  chunk.insert(chunk.end(), {'t', 'E', 'X', 't'});
  chunk.insert(chunk.end(), text.begin(), text.end());
  const std::uint32_t crc = std::uint32_t(crc32(0, &chunk[4], uInt(chunk.size() - 4)));
  for (int i = 0; i < 4; ++i) chunk.push_back(std::uint8_t(crc >> (24 - 8 * i)));
  withText.insert(withText.begin() + 33, chunk.begin(), chunk.end());
  try {
    LoadPng(withText);
    ADD_FAILURE() << "loaded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(std::string(e.what()).rfind("この画像には対応していません: ", 0), 0u) << e.what();
  }
}

namespace {

// The file's chunks as (type, data), without signature, lengths and checksums.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> Chunks(const std::vector<std::uint8_t>& file) {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> chunks;
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::size_t length = std::size_t(file[at]) << 24 | std::size_t(file[at + 1]) << 16 | std::size_t(file[at + 2]) << 8 | file[at + 3];
    chunks.emplace_back(std::string(file.begin() + std::ptrdiff_t(at) + 4, file.begin() + std::ptrdiff_t(at) + 8),
                        std::vector<std::uint8_t>(file.begin() + std::ptrdiff_t(at) + 8, file.begin() + std::ptrdiff_t(at + 8 + length)));
    at += 12 + length;
  }
  return chunks;
}

std::vector<std::uint8_t> Joined(const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& chunks) {
  std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const auto& [type, data] : chunks) {
    for (int i = 0; i < 4; ++i) file.push_back(std::uint8_t(data.size() >> (24 - 8 * i)));
    const std::size_t start = file.size();
    file.insert(file.end(), type.begin(), type.end());
    file.insert(file.end(), data.begin(), data.end());
    const std::uint32_t crc = std::uint32_t(crc32(0, &file[start], uInt(file.size() - start)));
    for (int i = 0; i < 4; ++i) file.push_back(std::uint8_t(crc >> (24 - 8 * i)));
  }
  return file;
}

}  // namespace

// 8-bit RGB and RGBA pictures without tRNS go through the program's own row inflater, the others
// through libspng: both answer alike what follows the image data (metadata, a second run of image
// data, critical chunks, a missing end, bytes after the end, checksums, image data in pieces).
TEST(PngReader, BothDecodersAnswerAlikeWhatFollowsTheImageData) {
  std::mt19937 random(17);
  const auto changed = [](std::vector<std::uint8_t> file, auto change) {
    auto chunks = Chunks(file);
    change(chunks);
    return Joined(chunks);
  };
  using TChunks = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;
  const auto beforeEnd = [](TChunks& c, const std::string& type, std::vector<std::uint8_t> data) {
    c.insert(c.end() - 1, {type, std::move(data)});
  };
  const std::vector<std::uint8_t> text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'};
  for (const int colourType : {6, 2, 4, 0}) {  // the first two are the program's own
    const TTestPng png = MakePng(colourType, 8, false, 23, 17, false, random);
    const std::vector<std::uint8_t> good = WriteTestPng(png);
    const TBitmap expected = LoadPng(good);
    const struct {
      const char* what;
      std::vector<std::uint8_t> file;
      bool loads;
    } cases[] = {
        {"text after the image data", changed(good, [&](TChunks& c) { beforeEnd(c, "tEXt", text); }), true},
        {"image data in single bytes", changed(good, [&](TChunks& c) {
           TChunks split;
           for (auto& chunk : c) {
             if (chunk.first != "IDAT") split.push_back(chunk);
             else for (std::uint8_t b : chunk.second) split.push_back({"IDAT", {b}});
           }
           c = split;
         }), true},
        {"bytes after the end", [&] { auto f = good; f.resize(f.size() + 100, 0x55); return f; }(), true},
        {"image data after text after the image data", changed(good, [&](TChunks& c) { beforeEnd(c, "tEXt", text); beforeEnd(c, "IDAT", {0}); }), false},
        {"an unknown critical chunk after the image data", changed(good, [&](TChunks& c) { beforeEnd(c, "ABCD", {1, 2}); }), false},
        {"a chunk type with a digit", changed(good, [&](TChunks& c) { beforeEnd(c, "t3Xt", text); }), true},
        {"no end chunk", changed(good, [](TChunks& c) { c.pop_back(); }), false},
        {"text with a wrong checksum", [&] {
           auto f = changed(good, [&](TChunks& c) { beforeEnd(c, "tEXt", text); });
           f[f.size() - 14] ^= 1;  // the text chunk's checksum, before the end chunk's 12 bytes
           return f;
         }(), false},
        {"image data ending a row early", changed(good, [&](TChunks& c) {
           for (auto& chunk : c)
             if (chunk.first == "IDAT") {
               uLongf size = compressBound(60);
               std::vector<std::uint8_t> z(size);
               const std::vector<std::uint8_t> raw(60, 0);
               compress2(z.data(), &size, raw.data(), 60, 9);
               z.resize(size);
               chunk.second = z;
             }
         }), false},
    };
    for (const auto& c : cases) {
      TMemoryStream stream(c.file);
      try {
        const TBitmap picture = ReadSourcePicture(stream, TPictureKind::Png);
        EXPECT_TRUE(c.loads) << "colour type " << colourType << ", " << c.what << ": loaded";
        const TPictureDistance d = Distance(picture, expected);
        EXPECT_EQ(d.Differing, 0) << "colour type " << colourType << ", " << c.what;
      } catch (const EInvalidGraphic& e) {
        EXPECT_FALSE(c.loads) << "colour type " << colourType << ", " << c.what << ": " << e.what();
      }
    }
  }
}
