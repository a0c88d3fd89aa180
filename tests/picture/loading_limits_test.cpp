// What a hostile or odd file can make the loaders do: scans that cost more than the picture, data
// read far beyond the picture, names that lead to pipes and devices; and the cost a file's header
// announces before anything is decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "picture/bmp_builder.h"
#include "picture/loading.h"
#include "tests/support/jpeg_writer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/waiting_pipe.h"
#include "toolkit/jpeg_image.h"

namespace {

// A memory stream that counts the bytes handed out, to see how far a reader reads.
class CountingStream final : public TStream {
 public:
  explicit CountingStream(std::vector<std::uint8_t> bytes) : inner_(std::move(bytes)) {}
  std::size_t Read(void* buffer, std::size_t count) override {
    const std::size_t got = inner_.Read(buffer, count);
    read_ += got;
    return got;
  }
  std::size_t Write(const void*, std::size_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return inner_.Seek(offset, origin); }
  std::size_t BytesRead() const { return read_; }

 private:
  TMemoryStream inner_;
  std::size_t read_ = 0;
};

// A file of `size` bytes that begins with `bytes` and holds zeros after them, as a sparse file does,
// without their memory; it counts the bytes handed out.
class ZeroTailStream final : public TStream {
 public:
  ZeroTailStream(std::vector<std::uint8_t> bytes, std::uint64_t size) : bytes_(std::move(bytes)), size_(size) {}
  std::size_t Read(void* buffer, std::size_t count) override {
    if (position_ >= size_) return 0;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(count, size_ - position_));
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::size_t i = 0; i < n; ++i)
      out[i] = position_ + i < bytes_.size() ? bytes_[std::size_t(position_ + i)] : 0;
    position_ += n;
    read_ += n;
    return n;
  }
  std::size_t Write(const void*, std::size_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                              : origin == TSeekOrigin::soCurrent ? std::int64_t(position_)
                                                                 : std::int64_t(size_);
    if (base + offset < 0) throw EReadError("seek before the start");
    position_ = std::uint64_t(base + offset);
    return std::int64_t(position_);
  }
  std::uint64_t BytesRead() const { return read_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::uint64_t read_ = 0;
};

// The file without its end-of-image marker.
std::vector<std::uint8_t> WithoutEnd(std::vector<std::uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[bytes.size() - 2] == 0xFF && bytes.back() == 0xD9) bytes.resize(bytes.size() - 2);
  return bytes;
}

TBitmap LoadJPEG(const std::vector<std::uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  return ReadSourcePicture(stream, TPictureKind::JPEG);
}

int CountScans(const std::vector<std::uint8_t>& bytes) {
  int scans = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) scans += bytes[i] == 0xFF && bytes[i + 1] == 0xDA;
  return scans;
}

std::vector<std::uint8_t> SmallProgressiveGrey() {
  TJPEGSamples grey{16, 16, 1, std::vector<std::uint8_t>(256, 90)};
  return EncodeJPEG(grey, 90, true);
}

void ExpectTooManyScans(const std::vector<std::uint8_t>& bytes, const std::string& what) {
  try {
    LoadJPEG(bytes);
    ADD_FAILURE() << what << ": loaded";
  } catch (const EJPEGTooManyScans& e) {
    EXPECT_EQ(e.Message(), "JPEG のスキャン数が多すぎます") << what;
  } catch (const Exception& e) {
    ADD_FAILURE() << what << ": " << e.Message();
  }
}

}  // namespace

// Every scan, even one without data, makes libjpeg go over all of its component's blocks: a few
// bytes a scan could keep a load busy for minutes. 500 scans load; one more is refused.
TEST(JPEGLimits, MoreThanFiveHundredScansAreRefused) {
  const std::vector<std::uint8_t> plain = SmallProgressiveGrey();
  const int own = CountScans(plain);
  ASSERT_GT(own, 1);
  const TBitmap loaded = LoadJPEG(WithEmptyScans(plain, JPEGMostScans - own));
  EXPECT_EQ(loaded.Width(), 16);
  ExpectTooManyScans(WithEmptyScans(plain, JPEGMostScans - own + 1), "501 scans");
  ExpectTooManyScans(WithEmptyScans(plain, 20000), "20000 scans");
}

// A large declared picture with fewer than 500 scans: refused once its scans go over the picture
// more often than any encoder's progression does, loaded below that.
TEST(JPEGLimits, ScansMayNotCoverALargePictureFarMoreOftenThanAnEncoderWould) {
  const std::vector<std::uint8_t> large = WithDeclaredSize(SmallProgressiveGrey(), 4096, 4096);
  const int own = CountScans(large);
  ExpectTooManyScans(WithEmptyScans(large, JPEGMostPasses - own + 1), "73 passes over 4096 x 4096");
  const TBitmap loaded = LoadJPEG(WithEmptyScans(large, 40));
  EXPECT_EQ(loaded.Width(), 4096);
}

// A JPEG is read up to its end of image, whatever follows it and however much metadata it
// carries; a file that is not a picture is refused after its first bytes, not read whole.
TEST(JPEGLimits, FilesAreReadOnlyAsFarAsThePictureGoes) {
  const std::vector<std::uint8_t> plain = EncodeJPEG(QuadrantSamples(40, 30, 16, 16), 90);
  {
    std::vector<std::uint8_t> appended = plain;
    appended.resize(plain.size() + (8 << 20), 0x5A);
    CountingStream stream(appended);
    const TBitmap picture = ReadSourcePicture(stream, TPictureKind::JPEG);
    EXPECT_EQ(picture.Width(), 40);
    EXPECT_LT(stream.BytesRead(), std::size_t(256 << 10)) << "read past the end of the image";
  }
  {
    // A photo large enough to be decoded in two parts, which are read from memory: taken up to its
    // end of image only, and the same pixels as without the appended data.
    const std::vector<std::uint8_t> photo = EncodeJPEG(QuadrantSamples(300, 200, 100, 80), 90);
    std::vector<std::uint8_t> appended = photo;
    appended.resize(photo.size() + (8 << 20), 0xD9);
    CountingStream stream(appended);
    const TBitmap picture = ReadSourcePicture(stream, TPictureKind::JPEG);
    EXPECT_LT(stream.BytesRead(), std::size_t(256 << 10)) << "read past the end of the image";
    const TBitmap alone = LoadJPEG(photo);
    ASSERT_EQ(picture.BitsSize(), alone.BitsSize());
    EXPECT_EQ(std::memcmp(picture.Bits(), alone.Bits(), alone.BitsSize()), 0);
  }
  {
    std::vector<std::uint8_t> metadata = plain;
    for (int i = 0; i < 40; ++i) metadata = WithMarker(metadata, 0xE2, std::vector<std::uint8_t>(60000, std::uint8_t(i)));
    for (int i = 0; i < 40; ++i) metadata = WithMarker(metadata, 0xE1, std::vector<std::uint8_t>(60000, std::uint8_t(i)));
    metadata = WithMarker(metadata, 0xE1, ExifBlock(6));
    const TBitmap picture = LoadJPEG(metadata);
    EXPECT_EQ(picture.Width(), 30) << "4.8 MB of markers load, and the EXIF block still counts";
  }
  {
    // Read in pieces, a cut-off file still decodes as far as its data goes.
    std::size_t scan = 0;  // the first scan's header; its data follows
    while (!(plain.at(scan) == 0xFF && plain.at(scan + 1) == 0xDA)) ++scan;
    const std::vector<std::uint8_t> cut(plain.begin(), plain.begin() + std::ptrdiff_t((scan + plain.size()) / 2));
    const TBitmap picture = LoadJPEG(cut);
    EXPECT_EQ(picture.Width(), 40);
    EXPECT_GT(picture.ScanLine(2)[2], 240) << "the red top-left quadrant decoded";
  }
  for (TPictureKind kind : {TPictureKind::JPEG, TPictureKind::Bitmap}) {
    CountingStream zeros(std::vector<std::uint8_t>(16 << 20, 0));
    EXPECT_THROW(ReadSourcePicture(zeros, kind), Exception);
    EXPECT_LE(zeros.BytesRead(), std::size_t(64 << 10));
  }
}

// Whatever follows a picture without its end marker (a damaged or hostile file: gigabytes of zeros),
// and however many megabytes of markers precede it, a load reads about what the picture needs, holds
// no more than its cost says, and gives the pixels of the same picture without them.
TEST(JPEGLimits, ReadsAreBoundedByThePictureNotTheFile) {
  const std::uint64_t GiB = std::uint64_t(1) << 30;
  const std::vector<std::uint8_t> photo = EncodeJPEG(QuadrantSamples(320, 240, 100, 80), 90);  // decoded in two parts
  const std::vector<std::uint8_t> small = EncodeJPEG(QuadrantSamples(40, 30, 16, 16), 90);
  const std::vector<std::uint8_t> progressive = EncodeJPEG(QuadrantSamples(320, 240, 100, 80), 90, true);
  std::vector<std::uint8_t> markers = photo;
  for (int i = 0; i < 40; ++i) markers = WithMarker(markers, 0xE1, std::vector<std::uint8_t>(65000, 0x45));
  const struct {
    const char* what;
    std::vector<std::uint8_t> file;
    std::uint64_t size;           // with the zeros after it
    std::vector<std::uint8_t> alone;  // the same picture, whole and without a tail
    std::uint64_t mostRead;
  } cases[] = {
      {"two-part photo, no end, 8 GiB of zeros", WithoutEnd(photo), 8 * GiB, photo, 1u << 20},
      {"two-part photo, 1.2 GB of zeros after its end", photo, 1200u << 20, photo, 256u << 10},
      {"small photo, no end, 8 GiB of zeros", WithoutEnd(small), 8 * GiB, small, 256u << 10},
      {"progressive photo, no end, 8 GiB of zeros", WithoutEnd(progressive), 8 * GiB, progressive, 64u << 20},
      {"2.6 MB of APP1 markers before a two-part photo", markers, markers.size(), photo, 512u << 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ZeroTailStream costStream(c.file, c.size);
    const TPictureCost cost = ReadPictureCost(costStream, TPictureKind::JPEG);
    ZeroTailStream stream(c.file, c.size);
    const TBitmap picture = ReadSourcePicture(stream, TPictureKind::JPEG);
    EXPECT_LE(stream.BytesRead(), c.mostRead) << c.what;
    // A photo decoded in two parts holds its file's bytes: the cost counts them.
    EXPECT_GE(cost.DecoderBytes, c.alone.size()) << c.what;
    const TBitmap alone = LoadJPEG(c.alone);
    ASSERT_EQ(picture.BitsSize(), alone.BitsSize()) << c.what;
    EXPECT_EQ(std::memcmp(picture.Bits(), alone.Bits(), alone.BitsSize()), 0) << c.what;
  }
}

// A pipe named like a picture waits for a writer that never comes, and a device may never end: the
// loader must refuse both at once.
TEST(PlainFilesOnly, PipesAndDevicesAreRefusedWithoutWaiting) {
  TempDir dir;
  const std::string fifo = dir / "photo.jpg";
  const TWaitingPipe pipe(fifo);
  std::string message;
  try {
    ReadSourcePicture(fifo, TPictureKind::JPEG);
  } catch (const ENotRegularFile& e) {
    message = e.Message();
  } catch (const Exception& e) {
    message = "other error: " + e.Message();
  }
  EXPECT_EQ(message, "ファイル " + fifo + " は通常のファイルではありません");

  for (const char* device : {"/dev/null", "/dev/zero"}) {
    EXPECT_THROW(ReadSourcePicture(device, TPictureKind::Bitmap), ENotRegularFile) << device;
    EXPECT_THROW(ReadPictureCost(device, TPictureKind::JPEG), ENotRegularFile) << device;
  }
  EXPECT_THROW(ReadPictureCost(fifo, TPictureKind::Bitmap), ENotRegularFile);
}

// The cost comes from the header alone: the picture at 32 bits, and beside it the decoder's own
// memory, which is large only for progressive JPEGs (their coefficients) and run-length BMPs
// (their data).
TEST(PictureCost, TheHeaderTellsWhatALoadWillTake) {
  TempDir dir;
  BmpBuilder bmp;
  bmp.width = 3;
  bmp.height = 2;
  bmp.pixels.assign(24, 7);
  PutFile(dir / "a.bmp", bmp.Bytes());
  TPictureCost cost = ReadPictureCost(dir / "a.bmp", TPictureKind::Bitmap);
  EXPECT_EQ(cost.Width, 3);
  EXPECT_EQ(cost.Height, 2);
  EXPECT_EQ(cost.PixelBytes, 24u);
  EXPECT_EQ(cost.DecoderBytes, 12u);

  BmpBuilder rle;
  rle.width = 16384;
  rle.height = 16383;
  rle.bitCount = 8;
  rle.compression = 1;
  rle.table.assign(1024, 0);
  rle.pixels.assign(5000, 0);  // the data a full load reads before decoding it
  CountingStream rleStream(rle.Bytes());
  cost = ReadPictureCost(rleStream, TPictureKind::Bitmap);
  EXPECT_EQ(cost.PixelBytes, 16384u * 16383u * 4u);
  EXPECT_EQ(cost.DecoderBytes, 5000u);
  EXPECT_LT(rleStream.BytesRead(), 2000u);

  std::uint64_t baselineDecoderBytes = 0;
  for (bool progressive : {false, true}) {
    std::vector<std::uint8_t> jpeg = EncodeJPEG(QuadrantSamples(40, 30, 16, 16), 90, progressive);
    jpeg = WithMarker(jpeg, 0xE1, ExifBlock(6));
    jpeg.resize(jpeg.size() + (4 << 20), 0);
    CountingStream stream(jpeg);
    cost = ReadPictureCost(stream, TPictureKind::JPEG);
    EXPECT_EQ(cost.Width, 40) << "as stored";
    EXPECT_EQ(cost.PixelBytes, 40u * 30u * 4u);
    // Three components of 4:2:0, in whole MCUs: 6 x 4 luma blocks and 3 x 2 of each chroma.
    const std::uint64_t coefficients = (24 + 6 + 6) * 128;
    if (progressive)
      EXPECT_EQ(cost.DecoderBytes - baselineDecoderBytes, coefficients);
    else
      baselineDecoderBytes = cost.DecoderBytes;
    EXPECT_LT(stream.BytesRead(), std::size_t(256 << 10));
  }
  const std::vector<std::uint8_t> huge = WithDeclaredSize(SmallProgressiveGrey(), 60000, 60000);
  TMemoryStream hugeStream(huge);
  EXPECT_THROW(ReadPictureCost(hugeStream, TPictureKind::JPEG), EOutOfResources);
  TMemoryStream nothing;
  EXPECT_THROW(ReadPictureCost(nothing, TPictureKind::Bitmap), EInvalidGraphic);
}
