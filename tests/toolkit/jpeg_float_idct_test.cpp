// The program's inverse DCTs (the scalar one, and the vector ones where the build has them) against
// libjpeg's own C transform, on blocks and multiplier tables drawn to reach its corners: sparse and
// dense blocks, columns with no AC terms, values whose sums land beside a half-way point, and
// coefficients so large that the conversion to int overflows. The reference is libjpeg's C code as
// this build compiled it from libjpeg-turbo's source (RFL_LIBJPEG_SOURCE_DIR), with the build's
// arithmetic; without that source, on x86-64 it is the system library's C transform (x86-64 has no
// fused multiply-add to contract into, and computes floats in SSE), and elsewhere the test skips.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <limits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

// clang-format off
#include <jpeglib.h>
#include <jpegint.h>
// clang-format on

#include "tests/support/jpeg_writer.h"
#include "toolkit/jpeg_float_idct.h"

#if defined(RFL_LIBJPEG_C_REFERENCE)
// libjpeg's jpeg_idct_float, compiled by this build under another name.
extern "C" void rfl_libjpeg_c_idct_float(j_decompress_ptr, jpeg_component_info*, JCOEFPTR, JSAMPARRAY, JDIMENSION);
#endif

namespace {

// A decompressor started on a small JPEG with the floating-point method, holding libjpeg's own
// transform for its first component.
struct TStartedDecoder {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  std::vector<std::uint8_t> bytes;
  inverse_DCT_method_ptr library = nullptr;

  TStartedDecoder() {
    TJPEGSamples samples{16, 16, 3, std::vector<std::uint8_t>(16 * 16 * 3, 90), 1, 1};
    bytes = EncodeJPEG(samples, 75, false);
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.dct_method = JDCT_FLOAT;
    jpeg_start_decompress(&info);
    library = info.idct->inverse_DCT[0];
  }
  ~TStartedDecoder() { jpeg_destroy_decompress(&info); }
};

// Output rows with room on both sides, so that a write outside the block's eight columns shows.
struct TOutput {
  static constexpr int Column = 5, Width = 24;
  std::array<std::array<JSAMPLE, Width>, DCTSIZE> rows{};
  std::array<JSAMPROW, DCTSIZE> pointers{};
  TOutput() {
    for (auto& row : rows) row.fill(0xA5);
    for (int r = 0; r < DCTSIZE; ++r) pointers[std::size_t(r)] = rows[std::size_t(r)].data();
  }
};

// A decoder set up in a new thread told to use libjpeg-turbo's C code: libjpeg-turbo chooses between
// its C and vector code once per thread, from the environment, so only a thread started with the
// switch set gets the C transform.
std::unique_ptr<TStartedDecoder> DecoderWithTheCTransform() {
  const char* had = std::getenv("JSIMD_FORCENONE");
  const std::string before = had ? had : "";
  ::setenv("JSIMD_FORCENONE", "1", 1);
  std::unique_ptr<TStartedDecoder> decoder;
  std::thread([&] { decoder = std::make_unique<TStartedDecoder>(); }).join();
  if (had) ::setenv("JSIMD_FORCENONE", before.c_str(), 1);
  else ::unsetenv("JSIMD_FORCENONE");
  return decoder;
}

}  // namespace

TEST(OwnFloatIDCT, GivesLibjpegsOwnSamplesForEveryBlock) {
  const std::unique_ptr<TStartedDecoder> cDecoder = DecoderWithTheCTransform();
  TStartedDecoder& decoder = *cDecoder;
#if defined(RFL_LIBJPEG_C_REFERENCE)
  decoder.library = rfl_libjpeg_c_idct_float;
#elif !defined(__x86_64__)
  GTEST_SKIP() << "no reference: configure with RFL_LIBJPEG_SOURCE_DIR (tools/libjpeg_source.sh)";
#endif
  ASSERT_NE(decoder.library, nullptr);
  jpeg_component_info component = decoder.info.comp_info[0];
  alignas(16) std::array<float, DCTSIZE2> multipliers{};
  component.dct_table = multipliers.data();

  std::vector<inverse_DCT_method_ptr> transforms = {jpeg_detail::ScalarFloatIDCT};
  if (jpeg_detail::VectorFloatIDCTAvailable()) {
    transforms.push_back(jpeg_detail::FourWideFloatIDCT);
    transforms.push_back(jpeg_detail::FourWideFloatIDCTThroughTable);
  }
  if (jpeg_detail::EightWideFloatIDCTAvailable()) transforms.push_back(jpeg_detail::EightWideFloatIDCT);

  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> small(-60, 60), any(-32768, 32767), which(0, 9);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  long blocks = 0, saturated = 0, zeroColumns = 0;
  for (int round = 0; round < 200000; ++round) {
    const int kind = which(random);
    // Multipliers as libjpeg makes them (quantiser steps times the scale factors near 1), or of any
    // size up to what 16-bit steps give.
    for (float& m : multipliers)
      m = kind < 7 ? float(1 + int(unit(random) * 100)) * (0.3f + unit(random)) : unit(random) * 90000.0f;
    std::array<JCOEF, DCTSIZE2> block{};
    for (int i = 0; i < DCTSIZE2; ++i) {
      if (kind <= 3 && i != 0 && unit(random) < 0.8f) continue;  // sparse, as real blocks are
      block[std::size_t(i)] = JCOEF(kind >= 8 ? any(random) : small(random) * (i == 0 ? 8 : 1));
    }
    if (kind == 4)  // whole columns with only the DC term, which libjpeg's C code passes straight through
      for (int c = 0; c < DCTSIZE; c += 2)
        for (int r = 1; r < DCTSIZE; ++r) block[std::size_t(r * DCTSIZE + c)] = 0;
    for (int c = 0; c < DCTSIZE; ++c) {
      bool acZero = true;
      for (int r = 1; r < DCTSIZE; ++r) acZero = acZero && block[std::size_t(r * DCTSIZE + c)] == 0;
      zeroColumns += acZero;
    }

    TOutput expected;
    std::array<JCOEF, DCTSIZE2> input = block;
    decoder.library(&decoder.info, &component, input.data(), expected.pointers.data(), TOutput::Column);
    for (const inverse_DCT_method_ptr transform : transforms) {
      TOutput actual;
      input = block;  // none may change its input: each gets the same
      transform(&decoder.info, &component, input.data(), actual.pointers.data(), TOutput::Column);
      ASSERT_EQ(std::memcmp(&expected.rows, &actual.rows, sizeof expected.rows), 0) << "round " << round;
    }
    for (const auto& row : expected.rows)
      for (int x = TOutput::Column; x < TOutput::Column + DCTSIZE; ++x) saturated += row[std::size_t(x)] == 0 || row[std::size_t(x)] == 255;
    ++blocks;
  }
  // The draw did reach the limits and the short cut it is meant to.
  EXPECT_GT(saturated, blocks);
  EXPECT_GT(zeroColumns, blocks);
}

TEST(OwnFloatIDCT, TakesOverOnlyADecoderSetUpForIt) {
  TStartedDecoder floating;
  EXPECT_TRUE(jpeg_detail::UseOwnFloatIDCT(floating.info));
  EXPECT_EQ(floating.info.idct->inverse_DCT[0], !jpeg_detail::VectorFloatIDCTAvailable() ? &jpeg_detail::ScalarFloatIDCT
                                                : jpeg_detail::EightWideFloatIDCTAvailable()
                                                    ? &jpeg_detail::EightWideFloatIDCT
                                                    : &jpeg_detail::FourWideFloatIDCT);

  // Another method, or a scaled output, keeps libjpeg's own transform.
  for (int variant = 0; variant < 2; ++variant) {
    TStartedDecoder other;
    jpeg_abort_decompress(&other.info);
    jpeg_mem_src(&other.info, other.bytes.data(), static_cast<unsigned long>(other.bytes.size()));
    jpeg_read_header(&other.info, TRUE);
    if (variant == 0) other.info.dct_method = JDCT_ISLOW;
    else other.info.dct_method = JDCT_FLOAT, other.info.scale_num = 1, other.info.scale_denom = 2;
    jpeg_start_decompress(&other.info);
    const inverse_DCT_method_ptr before = other.info.idct->inverse_DCT[0];
    EXPECT_FALSE(jpeg_detail::UseOwnFloatIDCT(other.info)) << "variant " << variant;
    EXPECT_EQ(other.info.idct->inverse_DCT[0], before);
  }
}

TEST(OwnFloatIDCT, TruncatesAsX86) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const struct {
    float value;
    int expected;
  } cases[] = {
      {0.0f, 0}, {-0.0f, 0}, {0.99f, 0}, {-0.99f, 0}, {255.5f, 255}, {-1.5f, -1},
      // The largest floats on either side of the int range, and the first ones beyond it.
      {2147483520.0f, 2147483520}, {-2147483648.0f, INT_MIN}, {2147483648.0f, INT_MIN},
      {-2147483904.0f, INT_MIN}, {1e30f, INT_MIN}, {-1e30f, INT_MIN}, {inf, INT_MIN}, {-inf, INT_MIN},
      {nan, INT_MIN}, {-nan, INT_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(jpeg_detail::TruncateAsX86(c.value), c.expected) << c.value;
}
