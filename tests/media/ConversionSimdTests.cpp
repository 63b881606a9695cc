// Vector rows against the scalar rows: every kernel of the table forced onto each vector level in
// turn, compared byte for byte with the scalar level on the same input (padding included), at
// every short width, unaligned, and ending at a page; and the arithmetic of the colour kernels
// over every input value.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ConversionReference.h"
#include "ConversionTestSupport.h"
#include "ConvertionCopyRGBYUVFrameCpu.h"
#include "ConvertionCopyRowsSimd.h"
#include "CpuFeatures.h"

using reference::TestFrame;

namespace {

constexpr uint8_t kSentinel = 0x5A;

struct Level {
  const char* name;
  uint32_t mask;
};
const Level kLevels[] = {
    {"SSE2", cpufeatures::kSSE2},
    {"SSSE3", cpufeatures::kSSE2 | cpufeatures::kSSSE3},
    {"AVX2", cpufeatures::kSSE2 | cpufeatures::kSSSE3 | cpufeatures::kSSE41 | cpufeatures::kAVX2},
};

// Forces the kernels onto one level for the scope.
class ForcedLevel {
 public:
  explicit ForcedLevel(uint32_t mask) { cpufeatures::SetMaskForTesting(mask); }
  ~ForcedLevel() { cpufeatures::SetMaskForTesting(~0u); }
};

bool Runs(const Level& level) { return (cpufeatures::Detected() & level.mask) == level.mask; }

HRESULT RunAt(uint32_t mask, ConvertionCopyKernel kernel, const CpuVidFrameMemory& s, const CpuVidFrameMemory& t) {
  const ForcedLevel forced(mask);
  return kernel(s, t);
}

// A frame whose rows start `offset` bytes into padded rows, so no pointer is aligned by chance.
struct ShiftedFrame {
  ShiftedFrame(const GUID& format, int32_t width, int32_t height, int32_t offset, uint8_t fill)
      : frame(format, width, height, offset + 5, fill) {
    for (auto& plane : frame.record.planes) {
      if (plane.data != nullptr) plane.data += offset;
    }
  }
  TestFrame frame;
};

int32_t RowA(const uint8_t* const*, uint8_t* const*, int32_t) { return 1; }
int32_t RowB(const uint8_t* const*, uint8_t* const*, int32_t) { return 2; }
int32_t RowC(const uint8_t* const*, uint8_t* const*, int32_t) { return 3; }

// The comparisons below mean something only if the mask really switches rows.
TEST(VectorDispatch, MaskChoosesTheLevel) {
  EXPECT_NE(cpufeatures::Detected() & cpufeatures::kSSE2, 0u);  // every x64 processor
  const convertion::VectorRows all{RowA, RowB, RowC}, noSsse3{RowA, nullptr, RowC};
  {
    const ForcedLevel forced(0);
    EXPECT_EQ(convertion::PickVectorRow(all), nullptr);
  }
  for (const Level& level : kLevels) {
    if (!Runs(level)) continue;
    const ForcedLevel forced(level.mask);
    const convertion::VectorRow expected =
        level.mask & cpufeatures::kAVX2 ? RowC : (level.mask & cpufeatures::kSSSE3 ? RowB : RowA);
    EXPECT_EQ(convertion::PickVectorRow(all), expected) << level.name;
    EXPECT_EQ(convertion::PickVectorRow(noSsse3), expected == RowB ? RowA : expected) << level.name;
  }
}

class VectorLevel : public testing::TestWithParam<std::tuple<int, int>> {
 protected:
  const ConvertionCopyEntry& Row() const { return ConvertionCopyTable[std::get<0>(GetParam())]; }
  const Level& Lvl() const { return kLevels[std::get<1>(GetParam())]; }
};

TEST_P(VectorLevel, MatchesScalarAtEveryWidthAndOffset) {
  if (!Runs(Lvl())) GTEST_SKIP() << Lvl().name << " not available";
  const ConvertionCopyEntry& row = Row();
  std::vector<int32_t> widths;
  for (int32_t w = 1; w <= 67; ++w) widths.push_back(w);
  for (int32_t w : {127, 128, 129, 255, 1919, 1920}) widths.push_back(w);
  for (int32_t width : widths) {
    const int32_t offset = 1 + width % 7;
    ShiftedFrame source(*row.source, width, 2, offset, 0);
    source.frame.FillRandom(static_cast<uint32_t>(width * 7 + 1));
    ShiftedFrame expected(*row.target, width, 2, offset, kSentinel), actual(*row.target, width, 2, offset, kSentinel);
    ASSERT_EQ(RunAt(0, row.kernel, source.frame.record, expected.frame.record), S_OK);
    ASSERT_EQ(RunAt(Lvl().mask, row.kernel, source.frame.record, actual.frame.record), S_OK);
    ASSERT_TRUE(actual.frame.SameBytes(expected.frame))
        << reference::NameOf(row.kernel) << " " << Lvl().name << " width " << width << ": "
        << reference::FirstDifference(actual.frame, expected.frame);
  }
}

// Tight rows whose last byte is the last of its page: a vector load or store past a row faults.
TEST_P(VectorLevel, StaysInsideRowsEndingAtAPage) {
  if (!Runs(Lvl())) GTEST_SKIP() << Lvl().name << " not available";
  const ConvertionCopyEntry& row = Row();
  for (int32_t width = 1; width <= 67; ++width) {
    TestFrame source(*row.source, width, 1, 0, 0);
    source.FillRandom(static_cast<uint32_t>(width));
    TestFrame expected(*row.target, width, 1, 0, kSentinel);
    ASSERT_EQ(RunAt(0, row.kernel, source.record, expected.record), S_OK);
    ASSERT_EQ(-1, RunOnGuardedPages(row.kernel, source.record, expected.record, Lvl().mask, kSentinel))
        << reference::NameOf(row.kernel) << " " << Lvl().name << " width " << width;
  }
}

INSTANTIATE_TEST_SUITE_P(Rows0To64, VectorLevel, testing::Combine(testing::Range(0, 65), testing::Range(0, 3)),
                         [](const testing::TestParamInfo<std::tuple<int, int>>& info) {
                           const int row = std::get<0>(info.param);
                           return "Row" + std::to_string(row) + "_" +
                                  reference::NameOf(ConvertionCopyTable[row].kernel) + "_" +
                                  kLevels[std::get<1>(info.param)].name;
                         });

// Every input value of a colour kernel, 4096 pixels a row: `fill` writes row y of the source.
void ExpectEveryValueMatches(ConvertionCopyKernel kernel, const GUID& from, const GUID& to, int32_t rows,
                             void (*fill)(uint8_t* row, int32_t y)) {
  constexpr int32_t kWidth = 4096, kRowsAtOnce = 256;
  for (const Level& level : kLevels) {
    if (!Runs(level)) continue;
    for (int32_t first = 0; first < rows; first += kRowsAtOnce) {
      TestFrame source(from, kWidth, kRowsAtOnce, 0, 0);
      for (int32_t y = 0; y < kRowsAtOnce; ++y)
        fill(source.planes[0].data() + y * source.record.planes[0].pitch, first + y);
      TestFrame expected(to, kWidth, kRowsAtOnce, 0, kSentinel), actual(to, kWidth, kRowsAtOnce, 0, kSentinel);
      ASSERT_EQ(RunAt(0, kernel, source.record, expected.record), S_OK);
      ASSERT_EQ(RunAt(level.mask, kernel, source.record, actual.record), S_OK);
      ASSERT_TRUE(actual.SameBytes(expected)) << reference::NameOf(kernel) << " " << level.name << " rows from "
                                              << first << ": " << reference::FirstDifference(actual, expected);
    }
  }
}

TEST(VectorArithmetic, YuvToRgbOverEveryTriple) {
  // Row y holds V = y / 16, U = (y % 16) * 16 + x / 256, Y = x % 256.
  ExpectEveryValueMatches(Yuv444ToRgb_8, MediaFormat_YUV444_8, MediaFormat_RGB8, 4096, [](uint8_t* row, int32_t y) {
    for (int32_t x = 0; x < 4096; ++x) {
      row[3 * x] = static_cast<uint8_t>(y / 16);
      row[3 * x + 1] = static_cast<uint8_t>((y % 16) * 16 + x / 256);
      row[3 * x + 2] = static_cast<uint8_t>(x);
    }
  });
  // Pairs Y0 U Y1 V: every (Y0, U, V), with Y1 = 255 - Y0.
  ExpectEveryValueMatches(Yuv422ToRgb_8, MediaFormat_YUV422Packed8, MediaFormat_RGB8, 8192,
                          [](uint8_t* row, int32_t y) {
                            for (int32_t i = 0; i < 2048; ++i) {
                              const int32_t index = y * 2048 + i;
                              row[4 * i] = static_cast<uint8_t>(index);
                              row[4 * i + 1] = static_cast<uint8_t>(index >> 8);
                              row[4 * i + 2] = static_cast<uint8_t>(255 - (index & 255));
                              row[4 * i + 3] = static_cast<uint8_t>(index >> 16);
                            }
                          });
  // 10-bit pairs: every (U, V) with varying luma, and bits above the 10 set in some words.
  ExpectEveryValueMatches(Yuv422ToRgb_10, MediaFormat_YUV422Packed10, MediaFormat_RGB8, 512,
                          [](uint8_t* row, int32_t y) {
                            for (int32_t i = 0; i < 2048; ++i) {
                              const int32_t index = y * 2048 + i, y0 = (index * 7) & 1023, high = (index & 0x3F) << 10;
                              const int32_t words[4] = {y0 | high, (index & 1023) | high, 1023 - y0, index >> 10};
                              for (int w = 0; w < 4; ++w) {
                                row[8 * i + 2 * w] = static_cast<uint8_t>(words[w]);
                                row[8 * i + 2 * w + 1] = static_cast<uint8_t>(words[w] >> 8);
                              }
                            }
                          });
  // 16-bit 4:4:4 taken to 10 bits: every (U, V), varying luma, low bits that must be dropped.
  ExpectEveryValueMatches(Yuva444ToRgb_16, MediaFormat_YUVA444_16, MediaFormat_RGB8, 256, [](uint8_t* row, int32_t y) {
    for (int32_t x = 0; x < 4096; ++x) {
      const int32_t index = y * 4096 + x, low = index & 0x3F;
      const int32_t words[4] = {((index >> 10) << 6) | low, ((index & 1023) << 6) | (63 - low),
                                ((index * 7) & 1023) << 6, index & 0xFFFF};
      for (int w = 0; w < 4; ++w) {
        row[8 * x + 2 * w] = static_cast<uint8_t>(words[w]);
        row[8 * x + 2 * w + 1] = static_cast<uint8_t>(words[w] >> 8);
      }
    }
  });
}

TEST(VectorArithmetic, RgbToYuvOverEveryTriple) {
  auto everyBgr = [](uint8_t* row, int32_t y) {
    for (int32_t x = 0; x < 4096; ++x) {
      row[3 * x] = static_cast<uint8_t>(x);
      row[3 * x + 1] = static_cast<uint8_t>((y % 16) * 16 + x / 256);
      row[3 * x + 2] = static_cast<uint8_t>(y / 16);
    }
  };
  ExpectEveryValueMatches(RgbToYuv444_8, MediaFormat_RGB8, MediaFormat_YUV444_8, 4096, everyBgr);
  ExpectEveryValueMatches(RgbToYuv422_8, MediaFormat_RGB8, MediaFormat_YUV422Packed8, 4096, everyBgr);
  ExpectEveryValueMatches(RgbToYuv422_10, MediaFormat_RGB8, MediaFormat_YUV422Packed10, 4096, everyBgr);
}

}  // namespace
