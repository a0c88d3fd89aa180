#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <fstream>
#include <string>

#include "picture/loading.h"
#include "picture/straight_alpha.h"
#include "picture/ycbcr.h"
#include "tests/support/heif_builder.h"
#include "tests/support/reference_pictures.h"
#include "tests/support/temp_dir.h"
#include "toolkit/errors.h"

namespace {

// The encoders' input: a PNG of the test's samples at 8 or 16 bits, with or without alpha.
std::string SamplePng(const TempDir& dir, int width, int height, std::uint32_t seed, bool alpha, bool sixteen) {
  const std::vector<std::uint8_t> rgba = TestSamples(width, height, seed);
  TTestPng png{width, height, alpha ? 6 : 2, sixteen ? 16 : 8};
  for (std::size_t i = 0; i < rgba.size(); ++i)
    if (alpha || i % 4 != 3) png.Samples.push_back(std::uint16_t(sixteen ? rgba[i] * 257 ^ (i * 37 & 0xFF) : rgba[i]));
  const std::vector<std::uint8_t> bytes = WriteTestPng(png);
  const std::string name = dir / "in.png";
  std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return name;
}

// The picture as heif-convert gives it (libheif's own conversion, in floating point). Deeper
// pictures come as 16-bit PNGs whose samples are the converted ones shifted up; they are taken back
// to their depth before the common scaling to 8 bits.
TBitmap ThroughHeifConvert(const TempDir& dir, const std::string& file, int bits) {
  const std::string png = dir / "ref.png", pam = dir / "ref.pam";
  std::filesystem::remove(pam);
  EXPECT_TRUE(Shell("heif-convert " + file + " " + png + " && pngtopam -alphapam " + png + " > " + pam));
  TPam reference = ReadPam(pam);
  if (reference.MaxVal == 65535 && bits < 16) {
    for (std::uint16_t& v : reference.Samples) v = std::uint16_t(v >> (16 - bits));
    reference.MaxVal = (1 << bits) - 1;
  }
  return PamToPicture(reference);
}

// The file with every picture's declared size (its ispe boxes) changed.
std::vector<std::uint8_t> Declaring(std::vector<std::uint8_t> file, std::uint32_t width, std::uint32_t height) {
  for (std::size_t at = 4; at + 16 <= file.size(); ++at) {
    if (std::memcmp(&file[at], "ispe", 4) != 0) continue;
    for (int i = 0; i < 4; ++i) {
      file[at + 8 + i] = std::uint8_t(width >> (24 - 8 * i));
      file[at + 12 + i] = std::uint8_t(height >> (24 - 8 * i));
    }
  }
  return file;
}


// The file with an irot box (a turn by `quarters` quarter turns anticlockwise) added to its
// properties and associated, as essential, with every item: heif-enc cannot write one. The box
// goes at the end of ipco; ipma gains one association an item; the boxes that hold them grow, and the
// item data behind them (iloc's file offsets) moves by as much.
std::vector<std::uint8_t> Turning(const std::vector<std::uint8_t>& file, int quarters) {
  const auto get = [&](std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | file[at + i];
    return v;
  };
  // The children of a box's content [begin, end): type to offset of the box.
  const auto children = [&](std::size_t begin, std::size_t end) {
    std::vector<std::pair<std::string, std::size_t>> boxes;
    for (std::size_t at = begin; at + 8 <= end; at += get(at, 4)) {
      boxes.emplace_back(std::string(reinterpret_cast<const char*>(&file[at + 4]), 4), at);
      if (get(at, 4) < 8) break;
    }
    return boxes;
  };
  const auto find = [](const auto& boxes, const std::string& type) {
    for (const auto& [t, at] : boxes)
      if (t == type) return at;
    throw std::runtime_error("no " + type + " box");
  };
  const auto top = children(0, file.size());
  const std::size_t meta = find(top, "meta");
  const auto inMeta = children(meta + 12, meta + get(meta, 4));
  const std::size_t iloc = find(inMeta, "iloc"), iprp = find(inMeta, "iprp");
  const auto inIprp = children(iprp + 8, iprp + get(iprp, 4));
  const std::size_t ipco = find(inIprp, "ipco"), ipma = find(inIprp, "ipma");
  const std::size_t properties = children(ipco + 8, ipco + get(ipco, 4)).size();
  const int version = file[ipma + 8], wide = file[ipma + 11] & 1;
  if (version != 0 || wide || properties + 1 > 127) throw std::runtime_error("unexpected ipma");
  const std::size_t entries = get(ipma + 12, 4);
  const std::size_t grow = 9 + entries;  // the irot box and one association per entry

  std::vector<std::uint8_t> out(file.begin(), file.begin() + std::ptrdiff_t(ipco + get(ipco, 4)));
  out.insert(out.end(), {0, 0, 0, 9, 'i', 'r', 'o', 't', std::uint8_t(quarters & 3)});
  std::size_t at = ipma;
  out.insert(out.end(), file.begin() + std::ptrdiff_t(at), file.begin() + std::ptrdiff_t(ipma + 16));
  at = ipma + 16;
  for (std::size_t e = 0; e < entries; ++e) {
    const int count = file[at + 2];
    out.insert(out.end(), {file[at], file[at + 1], std::uint8_t(count + 1)});
    out.insert(out.end(), file.begin() + std::ptrdiff_t(at + 3), file.begin() + std::ptrdiff_t(at + 3 + count));
    out.push_back(std::uint8_t(0x80 | (properties + 1)));
    at += 3 + count;
  }
  out.insert(out.end(), file.begin() + std::ptrdiff_t(at), file.end());
  const auto put = [&](std::size_t where, int bytes, std::uint64_t v) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) out[where + i] = std::uint8_t(v);
  };
  put(meta, 4, get(meta, 4) + grow);
  put(iprp, 4, get(iprp, 4) + grow);
  put(ipco, 4, get(ipco, 4) + 9);
  put(ipco + get(ipco, 4) + 9, 4, get(ipma, 4) + entries);
  // iloc (before iprp, so at its old place): every file offset of construction method 0 moves.
  const int ilocVersion = file[iloc + 8];
  const int offsetSize = file[iloc + 12] >> 4, lengthSize = file[iloc + 12] & 15, baseSize = file[iloc + 13] >> 4;
  const int indexSize = ilocVersion >= 1 ? file[iloc + 13] & 15 : 0;
  std::size_t p = iloc + 14;
  const std::size_t items = ilocVersion < 2 ? get(p, 2) : get(p, 4);
  p += ilocVersion < 2 ? 2 : 4;
  for (std::size_t i = 0; i < items; ++i) {
    p += ilocVersion < 2 ? 2 : 4;
    const int method = ilocVersion >= 1 ? int(get(p, 2) & 15) : 0;
    p += (ilocVersion >= 1 ? 2 : 0) + 2;
    const bool moves = method == 0;
    if (baseSize > 0 && moves) put(p, baseSize, get(p, baseSize) + grow);
    p += baseSize;
    const std::size_t extents = get(p, 2);
    p += 2;
    for (std::size_t e = 0; e < extents; ++e) {
      p += indexSize;
      if (baseSize == 0 && moves && offsetSize > 0) put(p, offsetSize, get(p, offsetSize) + grow);
      p += offsetSize + lengthSize;
    }
  }
  return out;
}

}  // namespace

// HEIC through x265 and AVIF through aom, 8 to 12 bits, every chroma layout, the matrices and
// ranges of the colour description, alpha, rotation and mirroring, odd sizes and 1 x 1: each is
// heif-convert's picture within one level. The loader converts in integers (rounding half up) and
// libheif in floating point, so a sample close to a half level may round the other way; the count
// of such samples stays small.
TEST(HeifReader, EncodedPicturesGiveLibheifsPictureWithinOneLevel) {
  const TempDir dir;
  const struct {
    const char* command;  // IN and OUT stand for the files
    int width, height, bits;
    bool alpha;
    bool turned;  // a quarter turn: width and height change places
  } cases[] = {
      {"heif-enc -q 85 IN -o OUT.heic", 37, 23, 8, true, false},
      {"heif-enc -q 85 IN -o OUT.heic", 64, 48, 8, false, false},
      {"heif-enc -q 85 -p chroma=444 IN -o OUT.heic", 33, 17, 8, true, false},
      {"heif-enc -q 85 -p chroma=422 IN -o OUT.heic", 40, 21, 8, false, false},
      {"heif-enc -q 85 -b 10 IN -o OUT.heic", 45, 30, 10, true, false},
      {"heif-enc -q 85 --full_range_flag 0 --matrix_coefficients 1 IN -o OUT.heic", 50, 26, 8, false, false},
      {"heif-enc -q 85 --matrix_coefficients 9 IN -o OUT.heic", 31, 31, 8, false, false},
      {"heif-enc -q 85 IN -o OUT.heic", 1, 1, 8, false, false},
      {"avifenc -s 8 -y 420 IN OUT.avif", 37, 23, 8, true, false},
      {"avifenc -s 8 -d 10 -y 420 IN OUT.avif", 45, 29, 10, true, false},
      {"avifenc -s 8 -d 12 -y 422 -r limited --cicp 1/13/9 IN OUT.avif", 30, 19, 12, false, false},
      {"avifenc -s 8 -y 444 --cicp 1/13/0 IN OUT.avif", 27, 13, 8, true, false},
      {"avifenc -s 8 -d 10 -y 400 IN OUT.avif", 26, 15, 10, false, false},
      {"avifenc -s 8 --irot 1 IN OUT.avif", 37, 23, 8, true, true},
      {"avifenc -s 8 --irot 2 --imir 1 IN OUT.avif", 37, 23, 8, false, false},
      {"avifenc -s 8 --irot 3 -d 10 IN OUT.avif", 20, 11, 10, true, true},
      {"avifenc -s 8 IN OUT.avif", 1, 1, 8, true, false},
  };
  std::uint32_t seed = 100;
  long samples = 0, differing = 0;
  for (const auto& c : cases) {
    std::string command = c.command;
    const std::string in = SamplePng(dir, c.width, c.height, seed++, c.alpha, c.bits > 8);
    command.replace(command.find("IN"), 2, in);
    const std::string out = dir / "out";
    command.replace(command.find("OUT"), 3, out);
    const std::string file = out + command.substr(command.rfind('.'));
    std::filesystem::remove(file);
    ASSERT_TRUE(Shell(command)) << command;
    const TBitmap loaded = ReadSourcePicture(file, TPictureKind::Heif);
    EXPECT_EQ(loaded.Width(), c.turned ? c.height : c.width) << command;
    EXPECT_EQ(loaded.Height(), c.turned ? c.width : c.height) << command;
    const TPictureDistance d = Distance(loaded, ThroughHeifConvert(dir, file, c.bits));
    EXPECT_LE(d.Largest, 1) << command;
    EXPECT_GE(d.Differing, 0) << command;
    samples += 4L * loaded.Width() * loaded.Height();
    differing += d.Differing;
    if (!c.alpha) {
      bool opaque = true;
      for (int y = 0; y < loaded.Height(); ++y)
        for (int x = 0; x < loaded.Width(); ++x) opaque &= loaded.ScanLine(y)[4 * x + 3] == 255;
      EXPECT_TRUE(opaque) << command;
    }
  }
  RecordProperty("samples", std::to_string(samples));
  RecordProperty("differing", std::to_string(differing));
  EXPECT_LT(differing * 50, samples) << differing << " of " << samples << " samples differ by one level";
}

// A lossless AVIF stores the samples as they are (identity matrix, 4:4:4): the loader must give the
// encoder's input back exactly, which no rounding rule can excuse.
TEST(HeifReader, LosslessPictureGivesItsSamplesBack) {
  const TempDir dir;
  for (bool alpha : {false, true}) {
    const std::string in = SamplePng(dir, 29, 18, alpha ? 7 : 8, alpha, false);
    ASSERT_TRUE(Shell("avifenc -s 8 --lossless " + in + " " + dir / "l.avif"));
    const TBitmap loaded = ReadSourcePicture(dir / "l.avif", TPictureKind::Heif);
    ASSERT_TRUE(Shell("pngtopam -alphapam " + in + " > " + dir / "in.pam"));
    const TPictureDistance d = Distance(loaded, PamToPicture(ReadPam(dir / "in.pam")));
    EXPECT_EQ(d.Differing, 0) << (alpha ? "with alpha" : "opaque") << ", largest " << d.Largest;
  }
}

// Damaged files and files of another kind are refused with a sentence, never a bare number; the
// boxes alone answer the cost.
TEST(HeifReader, DamagedFilesAreRefusedAndTheBoxesGiveTheCost) {
  const TempDir dir;
  const std::string in = SamplePng(dir, 48, 32, 9, true, false);
  ASSERT_TRUE(Shell("heif-enc -q 60 " + in + " -o " + dir / "a.heic"));
  const std::vector<std::uint8_t> heic = FileBytes(dir / "a.heic");
  TMemoryStream header(heic);
  const TPictureCost cost = ReadPictureCost(header, TPictureKind::Heif);
  EXPECT_EQ(cost.Width, 48);
  EXPECT_EQ(cost.Height, 32);
  EXPECT_GE(cost.DecoderBytes, heic.size() + 48u * 32 * 2);

  const auto cut = [](std::vector<std::uint8_t> f, std::size_t keep) {
    f.resize(keep);
    return f;
  };
  const struct {
    const char* what;
    std::vector<std::uint8_t> file;
  } cases[] = {
      {"empty", {}},
      {"PNG bytes", FileBytes(in)},
      {"cut in the boxes", cut(heic, 100)},
      {"cut in the coded data", cut(heic, heic.size() - 200)},
      {"declaring 16000 x 16000 over its 48 x 32", Declaring(heic, 16000, 16000)},
  };
  // Sizes beyond the image limit are refused from the boxes alone, before any decoding.
  for (std::uint32_t side : {30000u, 60000u, 0x7FFFFFFFu}) {
    TMemoryStream header(Declaring(heic, side, side)), stream(Declaring(heic, side, side));
    EXPECT_THROW(ReadPictureCost(header, TPictureKind::Heif), EOutOfResources) << side;
    EXPECT_THROW(ReadSourcePicture(stream, TPictureKind::Heif), EOutOfResources) << side;
  }
  for (const auto& c : cases) {
    TMemoryStream stream(c.file);
    try {
      ReadSourcePicture(stream, TPictureKind::Heif);
      ADD_FAILURE() << c.what << " loaded";
    } catch (const EInvalidGraphic& e) {
      const std::string text = e.what();
      EXPECT_TRUE(text.rfind("HEIF ファイルが壊れています", 0) == 0 || text.rfind("この画像には対応していません", 0) == 0)
          << c.what << ": " << text;
    }
  }
}

// libheif 1.15 mirrors only 8-bit pictures: a mirrored 10-bit picture is a valid file the program
// cannot show, and says so (heif-convert refuses it too).
TEST(HeifReader, MirroredDeepPictureIsNotSupported) {
  const TempDir dir;
  const std::string in = SamplePng(dir, 20, 12, 4, false, true);
  ASSERT_TRUE(Shell("avifenc -s 8 -d 10 --imir 1 " + in + " " + dir / "m.avif"));
  try {
    ReadSourcePicture(dir / "m.avif", TPictureKind::Heif);
    ADD_FAILURE() << "loaded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(std::string(e.what()).rfind("この画像には対応していません: ", 0), 0u) << e.what();
  }
}

// A HEIC photo turned by its irot box, with alpha: turned as libheif turns it, the alpha with it.
TEST(HeifReader, TurnedHeicStandsAsShown) {
  const TempDir dir;
  const std::string in = SamplePng(dir, 36, 20, 21, true, false);
  ASSERT_TRUE(Shell("heif-enc -q 85 " + in + " -o " + dir / "a.heic"));
  for (int quarters : {1, 2, 3}) {
    const std::string turned = dir / ("t" + std::to_string(quarters) + ".heic");
    const std::vector<std::uint8_t> bytes = Turning(FileBytes(dir / "a.heic"), quarters);
    std::ofstream(turned, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const TBitmap loaded = ReadSourcePicture(turned, TPictureKind::Heif);
    EXPECT_EQ(loaded.Width(), quarters == 2 ? 36 : 20) << quarters;
    const TPictureDistance d = Distance(loaded, ThroughHeifConvert(dir, turned, 8));
    EXPECT_GE(d.Differing, 0) << quarters << " quarter turns: another size than heif-convert's";
    EXPECT_LE(d.Largest, 1) << quarters << " quarter turns";
  }
}

// The colours are the program's own integer conversion of the coded samples, not libheif's (which
// scales video range by rounded factors in floating point and differs by levels): a lossless 4:2:0
// AVIF of known samples at video range gives exactly YCbCrToBGR of them, chroma repeated.
TEST(HeifReader, ColoursAreTheProgramsConversionOfTheCodedSamples) {
  const TempDir dir;
  const int width = 33, height = 18, cw = (width + 1) / 2, ch = (height + 1) / 2;
  std::vector<std::uint8_t> y(std::size_t(width) * height), cb(std::size_t(cw) * ch), cr(cb.size());
  for (std::size_t i = 0; i < y.size(); ++i) y[i] = std::uint8_t(16 + (i * 37) % 220);
  for (std::size_t i = 0; i < cb.size(); ++i) {
    cb[i] = std::uint8_t(16 + (i * 53) % 225);
    cr[i] = std::uint8_t(16 + (i * 29 + 7) % 225);
  }
  {
    std::ofstream out(dir / "in.y4m", std::ios::binary);
    out << "YUV4MPEG2 W" << width << " H" << height << " F25:1 Ip A1:1 C420jpeg XCOLORRANGE=LIMITED\nFRAME\n";
    for (const auto* plane : {&y, &cb, &cr}) out.write(reinterpret_cast<const char*>(plane->data()), std::streamsize(plane->size()));
  }
  ASSERT_TRUE(Shell("avifenc -s 8 --min 0 --max 0 --cicp 1/13/6 " + dir / "in.y4m" + " " + dir / "c.avif"));
  const TBitmap loaded = ReadSourcePicture(dir / "c.avif", TPictureKind::Heif);
  ASSERT_EQ(loaded.Width(), width);
  ASSERT_EQ(loaded.Height(), height);
  const TYCbCrConversion conversion = YCbCrConversion(TYCbCrMatrix::BT601, false, 8);
  int differing = 0;
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t want[3];
      const std::size_t c = std::size_t(row / 2) * cw + std::size_t(x / 2);
      YCbCrToBGR(conversion, y[std::size_t(row) * width + x], cb[c], cr[c], want);
      differing += std::memcmp(loaded.ScanLine(row) + 4 * x, want, 3) != 0;
    }
  }
  EXPECT_EQ(differing, 0) << "of " << width * height << " pixels";
}

// A file that says its colour is premultiplied by the alpha (heif-enc's and avifenc's `prem`
// reference) loads straight: every level c of alpha a as (c * 255 + a / 2) / a, alpha 0 black.
// heif-enc writes the same coded picture with and without the reference, so each pixel of the one
// is exactly that rule applied to the other's; avifenc premultiplies its straight input by its own
// rounding, so its pixels come back within the levels that rounding can lose.
TEST(HeifReader, PremultipliedColourLoadsStraight) {
  const TempDir dir;
  const int width = 16, height = 16;  // every alpha 0..255 once
  std::vector<std::uint8_t> straight = TestSamples(width, height, 77), premultiplied(straight.size());
  for (std::size_t i = 0; i < straight.size(); i += 4) {
    const std::uint32_t a = std::uint32_t(i / 4);
    straight[i + 3] = premultiplied[i + 3] = std::uint8_t(a);
    for (int c = 0; c < 3; ++c) premultiplied[i + c] = std::uint8_t((straight[i + c] * a + 127) / 255);
  }
  WritePam(dir / "p.pam", width, height, premultiplied, true);
  WritePam(dir / "s.pam", width, height, straight, true);
  ASSERT_TRUE(Shell("/usr/bin/convert " + dir / "p.pam png32:" + dir / "p.png"));
  ASSERT_TRUE(Shell("/usr/bin/convert " + dir / "s.pam png32:" + dir / "s.png"));
  const std::string heifEnc = "heif-enc -L -p chroma=444 ";
  ASSERT_TRUE(Shell(heifEnc + "--premultiplied-alpha " + dir / "p.png -o " + dir / "p.heic >/dev/null"));
  ASSERT_TRUE(Shell(heifEnc + dir / "p.png -o " + dir / "plain.heic >/dev/null"));
  ASSERT_TRUE(Shell("avifenc -s 8 --lossless --premultiply " + dir / "s.png " + dir / "p.avif >/dev/null"));
  const TBitmap plain = ReadSourcePicture(dir / "plain.heic", TPictureKind::Heif);
  const TBitmap heic = ReadSourcePicture(dir / "p.heic", TPictureKind::Heif);
  const TBitmap avif = ReadSourcePicture(dir / "p.avif", TPictureKind::Heif);
  ASSERT_EQ(heic.Width(), width);
  ASSERT_EQ(avif.Width(), width);
  int heicWrong = 0, avifWrong = 0;
  for (int i = 0; i < width * height; ++i) {
    const auto pixel = [&](const TBitmap& b) { return b.ScanLine(i / width) + 4 * (i % width); };
    const std::uint8_t a = std::uint8_t(i);
    heicWrong += pixel(heic)[3] != a;
    avifWrong += pixel(avif)[3] != a;
    for (int k = 0; k < 3; ++k) {
      heicWrong += pixel(heic)[k] != StraightLevel(pixel(plain)[k], a);
      const int want = a == 0 ? 0 : straight[4 * std::size_t(i) + 2 - std::size_t(k)];
      avifWrong += std::abs(int(pixel(avif)[k]) - want) > (a == 0 ? 0 : 1 + 255 / a);
    }
  }
  EXPECT_EQ(heicWrong, 0);
  EXPECT_EQ(avifWrong, 0);
  EXPECT_NE(std::memcmp(heic.Bits(), plain.Bits(), plain.BitsSize()), 0) << "the reference changes nothing";
}

// Grids an encoder would never write: thousands of tiles, thousands of references to one tile, an
// output beyond what the tiles cover or beyond the declared size, one tile far larger than the
// picture. Each is refused before its tiles are decoded, or loads as its declared size says; a
// plain grid gives its tiles' pixels in their places.
TEST(HeifReader, HostileGridsAreRefusedOrCostTheirDeclaredPicture) {
  const TempDir dir;
  ASSERT_TRUE(Shell("/usr/bin/convert -size 64x64 gradient:red-blue -alpha off png24:" + dir / "t.png"));
  ASSERT_TRUE(Shell("heif-enc -q 50 " + dir / "t.png -o " + dir / "t.heic >/dev/null"));
  const THeifCodedPicture tile = PrimaryCodedPicture(FileBytes(dir / "t.heic"));
  const TBitmap alone = ReadSourcePicture(dir / "t.heic", TPictureKind::Heif);
  const auto grid = [&](int rows, int columns, auto change) {
    THeifGrid g = PlainGrid(tile, rows, columns);
    change(g);
    return HeifGridFile(tile, g);
  };
  THeifCodedPicture empty = tile;
  empty.Data = {0, 0, 0, 2, 0x4E, 0x01};  // one SEI unit without a payload: no picture in it
  const auto same = [](THeifGrid&) {};
  const auto declaring = [](std::uint32_t side) {
    return [side](THeifGrid& g) { g.DeclaredWidth = g.DeclaredHeight = side; };
  };
  const auto output = [](std::uint32_t side) {
    return [side](THeifGrid& g) { g.OutputWidth = g.OutputHeight = g.DeclaredWidth = g.DeclaredHeight = side; };
  };
  enum TOutcome { Loads, Damaged, DamagedData, TooLarge };  // DamagedData: the boxes are right
  const struct {
    const char* what;
    std::vector<std::uint8_t> file;
    TOutcome outcome;
  } cases[] = {
      {"3 x 2 tiles", grid(2, 3, same), Loads},
      {"3 x 2 tiles trimmed to 150 x 100", grid(2, 3, [](THeifGrid& g) { g.OutputWidth = g.DeclaredWidth = 150; g.OutputHeight = g.DeclaredHeight = 100; }), Loads},
      {"64 tiles", grid(8, 8, same), Loads},
      {"4096 references to one tile", grid(64, 64, [](THeifGrid& g) { g.TileItems = 1; g.References.assign(4096, 0); }), TooLarge},
      {"4096 tiles of 64 x 64", grid(64, 64, same), Damaged},
      {"fewer references than cells", grid(4, 4, [](THeifGrid& g) { g.References.resize(15); }), Damaged},
      {"output and declared size beyond the tiles", grid(2, 2, output(16000)), Damaged},
      {"4096 tiles beyond the declared size", grid(64, 64, declaring(64)), Damaged},
      {"declared size beyond the output", grid(2, 2, declaring(16000)), Damaged},
      {"a whole column of tiles beyond the output", grid(1, 3, [](THeifGrid& g) { g.OutputWidth = g.DeclaredWidth = 128; }), Damaged},
      {"one tile for a far smaller picture", grid(1, 1, output(8)), Loads},
      {"tiles whose data hold no picture", HeifGridFile(empty, PlainGrid(empty, 2, 2)), DamagedData},
      {"4096 tiles for a picture declared 64 x 64", grid(64, 64, output(64)), Damaged},
      {"more items than twice its 128 x 128 blocks and 64", grid(4, 4, [](THeifGrid& g) { g.TileItems = 2 * 4 + 64; }), Damaged},
      {"as many items as twice its 128 x 128 blocks and 64", grid(4, 4, [](THeifGrid& g) { g.TileItems = 2 * 4 + 64 - 1; }), Loads},
  };
  for (const auto& c : cases) {
    TMemoryStream header(c.file), stream(c.file);
    try {
      const TBitmap picture = ReadSourcePicture(stream, TPictureKind::Heif);
      const TPictureCost cost = ReadPictureCost(header, TPictureKind::Heif);
      EXPECT_EQ(c.outcome, Loads) << c.what;
      EXPECT_EQ(picture.Width(), cost.Width) << c.what;
      EXPECT_EQ(picture.Height(), cost.Height) << c.what;
    } catch (const EOutOfResources& e) {
      EXPECT_EQ(c.outcome, TooLarge) << c.what << ": " << e.what();
    } catch (const EInvalidGraphic& e) {
      EXPECT_TRUE(c.outcome == Damaged || c.outcome == DamagedData) << c.what << ": " << e.what();
      if (c.outcome == Damaged) {
        TMemoryStream again(c.file);
        EXPECT_THROW(ReadPictureCost(again, TPictureKind::Heif), EInvalidGraphic) << c.what << ": refused from the boxes";
      }
    }
  }
  // Each tile in its place: the 3 x 2 grid's corners are the tile's.
  const TBitmap loaded = ReadSourcePicture(*std::make_unique<TMemoryStream>(grid(2, 3, same)), TPictureKind::Heif);
  for (const auto& [x, y] : {std::pair{0, 0}, {191, 0}, {0, 127}, {191, 127}, {100, 70}})
    EXPECT_EQ(std::memcmp(loaded.ScanLine(y) + 4 * x, alone.ScanLine(y % 64) + 4 * (x % 64), 4), 0) << x << ", " << y;
}
